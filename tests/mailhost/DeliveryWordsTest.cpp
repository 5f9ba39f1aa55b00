// The words each delivery state has on screen, in logs and on disk.
#include <gtest/gtest.h>

#include "CDeliveryLedger.h"
#include "CFileOps.h"
#include "CTempDir.h"

namespace {

// Every word as users, scripts and earlier builds' files have always seen it,
// written out here rather than read back from the table under test.
struct CWordsCase {
    EHostEvent kind;
    const char* pszLedger;  // nullptr: never recorded
    const char* pszLine;
    const char* pszJournal;
    const char* pszPriority;
    const char* pszListed;
    const char* pszRow;  // with the reason "R"
    const char* pszBar;  // with the text "t"
};
constexpr CWordsCase kCases[] = {
    {EHostEvent::Queued, "queued", "queued", "", "4", "waiting", "Queued", "t"},
    {EHostEvent::Handed, "handed", "sending", "", "4", "sending", "Sending", "t"},
    {EHostEvent::Sent, "sent", "sent", "sent", "6", "sent", "Sent", "Message sent."},
    {EHostEvent::SentWithRefusals, "refused", "sent, some recipients refused", "sent-with-refusals", "4", "failed",
     "Sent, some refused: R", "Message sent, but some recipients were refused: t"},
    {EHostEvent::RetryLater, "retrying", "will retry", "retry", "4", "retrying", "Will retry: R", "T"},
    {EHostEvent::Failed, "failed", "failed", "failed", "3", "failed", "Failed: R", "Sending failed: t"},
    {EHostEvent::InDoubt, "in-doubt", "in doubt", "in-doubt", "4", "in doubt", "In doubt (not resent): R",
     "A message may already have been delivered; it is kept, not resent: t"},
    {EHostEvent::Stuck, nullptr, "cannot send", "stuck", "3", "waiting", "Queued", "Cannot send: t"},
    {EHostEvent::Received, nullptr, "received", "", "4", "waiting", "Queued", "New mail received."},
    {EHostEvent::ReceiveFailed, nullptr, "receive failed", "", "4", "waiting", "Queued", "Receiving failed: t"},
    {EHostEvent::Warning, nullptr, "warning", "", "4", "waiting", "Queued", "t"},
};

TEST(DeliveryWordsTest, EveryPlaceKeepsItsWordsAndEveryRecordOnDiskLoads) {
    CTempDir dir;
    CDeliveryLedger ledger(dir / "ledger");
    ASSERT_TRUE(ledger.Open().Ok());
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszLine);
        const CDeliveryWords& words = CDeliveryWords::Of(c.kind);
        EXPECT_STREQ(words.pszLine, c.pszLine);
        EXPECT_STREQ(words.pszJournal, c.pszJournal);
        EXPECT_STREQ(words.pszPriority, c.pszPriority);
        EXPECT_STREQ(words.pszListed, c.pszListed);
        EXPECT_EQ(CDeliveryWords::Row(c.kind, "R"), c.pszRow);
        EXPECT_EQ(CDeliveryWords::Bar(c.kind, "t"), c.pszBar);
        if (!c.pszLedger || c.kind == EHostEvent::Queued) {
            // No record: nothing on disk, and Get says queued.
            ASSERT_TRUE(ledger.Put("m", {c.kind, "why", {}, 1}).Ok());
            EXPECT_FALSE(CFileOps::ReadFile(dir / "ledger/m", 4096).Ok());
            EXPECT_EQ(ledger.Get("m").state, EHostEvent::Queued);
            continue;
        }
        ASSERT_TRUE(ledger.Put("m", {c.kind, "why", {}, 1}).Ok());
        const auto rBytes = CFileOps::ReadFile(dir / "ledger/m", 4096);
        ASSERT_TRUE(rBytes.Ok());
        EXPECT_EQ(rBytes->substr(0, rBytes->find('\n')), std::string("state=") + c.pszLedger);
        // A record an earlier build wrote, by its word alone.
        CTempDir::WriteFile(dir / "ledger/old", std::string("state=") + c.pszLedger + "\n");
        EXPECT_EQ(ledger.Get("old").state, c.kind);
    }
    CTempDir::WriteFile(dir / "ledger/odd", "state=bogus\n");
    EXPECT_EQ(ledger.Get("odd").state, EHostEvent::Queued) << "a word no build wrote is no state";
}

}  // namespace
