// The profile's mail folders on disk, alone and under a host that restarts.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "CMailHost.h"
#include "CMailStore.h"
#include "CTempDir.h"
#include "Contains.h"

namespace {

namespace fs = std::filesystem;

CMailMessage Msg(const std::string& strSubject) {
    CMailMessage msg;
    msg.vecTo = {"to@example.com"};
    msg.strSubject = strSubject;
    msg.strBody = "body\n";
    return msg;
}

class MailStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(m_store.Open().Problem(), ""); }
    // A new message's id in folder.
    std::string Save(EMailFolder folder, const std::string& strSubject) {
        std::string strId;
        EXPECT_EQ(m_store.Save(folder, Msg(strSubject), strId).Problem(), "");
        return strId;
    }
    // The subject of a message, or what stopped it loading.
    std::string SubjectOf(EMailFolder folder, const std::string& strId, bool* pbSent = nullptr) {
        CMailMessage msg;
        const std::string strProblem = m_store.Load(folder, strId, msg).Problem();
        if (pbSent) *pbSent = msg.bSent;
        return strProblem.empty() ? msg.strSubject : "problem: " + strProblem;
    }

    CTempDir m_dir;
    CMailStore m_store{m_dir / "p"};
};

}  // namespace

TEST_F(MailStoreTest, FoldersAreMaildirsAndListingIsOldestFirstAndStable) {
    for (const char* psz : {"Inbox", "Drafts", "Outbox", "Sent Items", "Deleted Items"}) {
        for (const char* pszSub : {"tmp", "new", "cur"})
            EXPECT_TRUE(fs::is_directory(m_dir / "p/" + psz + "/" + pszSub)) << psz << pszSub;
    }
    std::vector<std::string> vecIds;
    for (int i = 0; i < 5; ++i) vecIds.push_back(Save(EMailFolder::Drafts, "m" + std::to_string(i)));
    EXPECT_EQ(m_store.List(EMailFolder::Drafts), vecIds);
    std::string strId = vecIds[1];
    ASSERT_EQ(m_store.Save(EMailFolder::Drafts, Msg("replaced"), strId).Problem(), "");
    EXPECT_EQ(strId, vecIds[1]);
    EXPECT_EQ(m_store.List(EMailFolder::Drafts), vecIds);
    bool bSent = true;
    EXPECT_EQ(SubjectOf(EMailFolder::Drafts, vecIds[1], &bSent), "replaced");
    EXPECT_FALSE(bSent);
    EXPECT_TRUE(fs::is_empty(m_dir / "p/Drafts/tmp"));
}

TEST_F(MailStoreTest, MoveKeepsIdAndSentStateDeleteRemoves) {
    const std::string strDraft = Save(EMailFolder::Drafts, "draft");
    CResult<std::string> rReceived = m_store.AddRaw(EMailFolder::Inbox, "To: me@example.com\nSubject: hi\n\nx\n", true);
    ASSERT_EQ(rReceived.Problem(), "");
    const std::string strReceived = *rReceived;

    std::string strNew;
    ASSERT_EQ(m_store.Move(EMailFolder::Drafts, strDraft, EMailFolder::DeletedItems, strNew).Problem(), "");
    EXPECT_EQ(strNew, strDraft);
    ASSERT_EQ(m_store.Move(EMailFolder::Inbox, strReceived, EMailFolder::DeletedItems, strNew).Problem(), "");
    bool bSent = true;
    EXPECT_EQ(SubjectOf(EMailFolder::DeletedItems, strDraft, &bSent), "draft");
    EXPECT_FALSE(bSent);
    EXPECT_EQ(SubjectOf(EMailFolder::DeletedItems, strReceived, &bSent), "hi");
    EXPECT_TRUE(bSent);
    EXPECT_TRUE(m_store.List(EMailFolder::Drafts).empty());
    EXPECT_TRUE(m_store.List(EMailFolder::Inbox).empty());

    ASSERT_EQ(m_store.Delete(EMailFolder::DeletedItems, strDraft).Problem(), "");
    EXPECT_EQ(m_store.List(EMailFolder::DeletedItems), std::vector<std::string>{strReceived});
    EXPECT_NE(m_store.Delete(EMailFolder::DeletedItems, strDraft).Problem(), "");
    EXPECT_EQ(SubjectOf(EMailFolder::Drafts, strDraft).rfind("problem: ", 0), 0u);
}

TEST_F(MailStoreTest, IdsCannotReachOutsideTheFolder) {
    CTempDir::WriteFile(m_dir / "secret", "To: a@b.c\n\nsecret\n");
    std::string strNew;
    for (std::string strId : {"../../secret", "", ".hidden", "a/b", "x:2,S"}) {
        EXPECT_EQ(SubjectOf(EMailFolder::Inbox, strId).rfind("problem: ", 0), 0u) << strId;
        EXPECT_NE(m_store.Delete(EMailFolder::Inbox, strId).Problem(), "") << strId;
        EXPECT_NE(m_store.Move(EMailFolder::Inbox, strId, EMailFolder::Drafts, strNew).Problem(), "") << strId;
    }
    std::string strId = "../../../secret";
    EXPECT_NE(m_store.Save(EMailFolder::Inbox, Msg("x"), strId).Problem(), "");
    EXPECT_EQ(CTempDir::ReadFile(m_dir / "secret"), "To: a@b.c\n\nsecret\n");
}

TEST_F(MailStoreTest, ForeignFilesAreListedAndAClaimedMessageCannotBeTouched) {
    const std::string strOne = "1700000000.abc.host";
    CTempDir::WriteFile(m_dir / "p/Outbox/new/" + strOne, "To: a@b.c\nSubject: one\n\nx\n");
    CTempDir::WriteFile(m_dir / "p/Outbox/cur/1600000000.def.host:2,S", "To: a@b.c\nSubject: two\n\nx\n");
    CTempDir::WriteFile(m_dir / "p/Outbox/new/.half-written", "To:");
    EXPECT_EQ(m_store.List(EMailFolder::Outbox), (std::vector<std::string>{"1600000000.def.host", strOne}));
    std::string strNew;
    ASSERT_TRUE(m_store.BeginSending(strOne).Ok());
    EXPECT_TRUE(Contains(m_store.Delete(EMailFolder::Outbox, strOne).Problem(), "being sent"));
    EXPECT_NE(m_store.Move(EMailFolder::Outbox, strOne, EMailFolder::Drafts, strNew).Problem(), "");
    m_store.EndSending(strOne);
    EXPECT_EQ(m_store.Move(EMailFolder::Outbox, strOne, EMailFolder::Drafts, strNew).Problem(), "");
    EXPECT_FALSE(m_store.BeginSending(strOne).Ok());
}

// The store remembers where each message's file is; what another program
// does to the folders meanwhile must still be seen.
TEST_F(MailStoreTest, WhatAnotherProgramMovesFlagsDropsOrDeletesIsSeen) {
    const std::string strFlagged = Save(EMailFolder::Inbox, "flagged elsewhere");
    const std::string strGone = Save(EMailFolder::Inbox, "deleted elsewhere");
    EXPECT_EQ(SubjectOf(EMailFolder::Inbox, strFlagged), "flagged elsewhere");  // remembered now

    const std::string strCur = m_dir / "p/Inbox/cur";
    for (const auto& e : fs::directory_iterator(strCur)) {
        const std::string strName = e.path().filename().string();
        if (strName.rfind(strFlagged, 0) == 0) fs::rename(e.path(), strCur + "/" + strFlagged + ":2,FS");
        if (strName.rfind(strGone, 0) == 0) fs::remove(e.path());
    }
    const std::string strDropped = "1700000000.M1P1Q1.elsewhere";
    CTempDir::WriteFile(m_dir / "p/Inbox/new/" + strDropped, "To: to@example.com\nSubject: dropped\n\nbody\n");

    EXPECT_EQ(SubjectOf(EMailFolder::Inbox, strFlagged), "flagged elsewhere");
    EXPECT_EQ(SubjectOf(EMailFolder::Inbox, strDropped), "dropped");
    EXPECT_EQ(SubjectOf(EMailFolder::Inbox, strGone).rfind("problem: ", 0), 0u);
    EXPECT_NE(m_store.Delete(EMailFolder::Inbox, strGone).Problem(), "");

    // The flagged one moves from where it is now, and is found where it went.
    std::string strMoved;
    ASSERT_EQ(m_store.Move(EMailFolder::Inbox, strFlagged, EMailFolder::DeletedItems, strMoved).Problem(), "");
    EXPECT_EQ(strMoved, strFlagged);
    EXPECT_FALSE(fs::exists(strCur + "/" + strFlagged + ":2,FS"));
    EXPECT_EQ(SubjectOf(EMailFolder::DeletedItems, strMoved), "flagged elsewhere");
    EXPECT_EQ(m_store.List(EMailFolder::Inbox), std::vector<std::string>{strDropped});
}

// A message moved back out of Sent Items and sent again goes there under a
// new id when a copy with its id is still there (a move a crash cut short).
TEST_F(MailStoreTest, AMoveNeverReplacesAMessageWithTheSameId) {
    const std::string strId = Save(EMailFolder::Outbox, "twice");
    fs::copy_file(m_dir / "p/Outbox/cur/" + strId + ":2,", m_dir / "p/Sent Items/cur/" + strId + ":2,S");
    EXPECT_TRUE(m_store.IsIn(EMailFolder::SentItems, strId));
    CResult<std::string> rNewId = m_store.MoveToSent(strId);
    ASSERT_TRUE(rNewId) << rNewId.Problem();
    EXPECT_NE(*rNewId, strId);
    EXPECT_EQ(m_store.List(EMailFolder::SentItems).size(), 2u);
    EXPECT_TRUE(m_store.List(EMailFolder::Outbox).empty());
}

// A new draft does not wait for the disk, but it is in the file system at
// once: a process killed right after the save loses nothing.
TEST(MailStore, ADraftSavedWithoutWaitingSurvivesAKilledProcess) {
    CTempDir dir;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CMailStore store(dir / "p");
        std::string strId;
        if (store.Open().Ok() && store.Save(EMailFolder::Drafts, Msg("kept through a kill"), strId).Ok())
            (void)!::write(fds[1], strId.data(), strId.size());
        ::kill(::getpid(), SIGKILL);  // with the draft still waiting for the disk
    }
    ::close(fds[1]);
    ::waitpid(pid, nullptr, 0);
    char sz[256] = {};
    ASSERT_GT(::read(fds[0], sz, sizeof sz - 1), 0) << "the child could not save";
    ::close(fds[0]);
    CMailStore store(dir / "p");
    ASSERT_EQ(store.Open().Problem(), "");
    CMailMessage msg;
    ASSERT_EQ(store.Load(EMailFolder::Drafts, sz, msg).Problem(), "");
    EXPECT_EQ(msg.strSubject, "kept through a kill");
}

// The draft that waits for the disk may be deleted or moved, by the store
// or by another program; the next save and move still work.
TEST_F(MailStoreTest, ADraftWaitingForTheDiskCanGoAnyWay) {
    ASSERT_EQ(m_store.Delete(EMailFolder::Drafts, Save(EMailFolder::Drafts, "sent at once")).Problem(), "");
    Save(EMailFolder::Drafts, "deleted elsewhere");
    for (const auto& e : fs::directory_iterator(m_dir / "p/Drafts/cur")) fs::remove(e.path());
    std::string strNewId;
    ASSERT_EQ(
        m_store.Move(EMailFolder::Drafts, Save(EMailFolder::Drafts, "moved"), EMailFolder::Outbox, strNewId).Problem(),
        "");
    const std::string strLast = Save(EMailFolder::Drafts, "last");
    EXPECT_EQ(m_store.List(EMailFolder::Drafts), std::vector<std::string>{strLast});
    EXPECT_EQ(m_store.List(EMailFolder::Outbox), std::vector<std::string>{strNewId});
}

namespace {

CMailMessage Scheduled(const std::string& strTask, const std::string& strOccurrence) {
    CMailMessage msg = Msg(strTask + " " + strOccurrence);
    msg.strFrom = "sender@example.org";
    msg.vecHeaders = {{kTaskHeader, strTask}};
    if (!strOccurrence.empty()) msg.vecHeaders.emplace_back(kOccurrenceHeader, strOccurrence);
    return msg;
}

CHostOptions NoTransport(const std::string& strProfile) {
    CHostOptions opts;
    opts.strProfileDir = strProfile;
    opts.strAccountsPath = strProfile + "/no-accounts.ini";
    opts.strSendmail = "none";  // messages stay in the Outbox
    return opts;
}

}  // namespace

// A scheduled occurrence handed over before a stop is known to the next
// host by its task and occurrence wherever the message went, and is not
// queued again; any other message is queued as usual.
TEST(MailStore, AnOccurrenceHeldAlreadyIsNotQueuedAgainAfterARestart) {
    using EKind = CSubmission::EKind;
    const CMailMessage weekly = Scheduled("Weekly", "2026-12-14 09:00");
    const CMailMessage maerz = Scheduled("Bericht für März", "2026-12-14 09:00");
    const struct {
        const char* pszName;
        CMailMessage first;
        EMailFolder whereFirst;  // where the first message is when the host starts again
        CMailMessage second;
        EKind expected;
    } cases[] = {
        {"the same occurrence, still in the Outbox", weekly, EMailFolder::Outbox, weekly, EKind::AlreadyQueued},
        {"the same occurrence, delivered", weekly, EMailFolder::SentItems, weekly, EKind::AlreadyQueued},
        {"the same occurrence, deleted after delivery", weekly, EMailFolder::DeletedItems, weekly,
         EKind::AlreadyQueued},
        {"a name beyond ASCII", maerz, EMailFolder::SentItems, maerz, EKind::AlreadyQueued},
        {"the next occurrence", weekly, EMailFolder::Outbox, Scheduled("Weekly", "2026-12-17 09:00"), EKind::Queued},
        {"another task at the same minute", weekly, EMailFolder::Outbox, Scheduled("Monthly", "2026-12-14 09:00"),
         EKind::Queued},
        {"sent outside the schedule", Scheduled("Weekly", ""), EMailFolder::Outbox, Scheduled("Weekly", ""),
         EKind::Queued},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CTempDir dir;
        std::string strFirstId;
        {
            CMailHost host(NoTransport(dir / "p"));
            ASSERT_EQ(host.Start().Problem(), "");
            const CSubmission queued = host.Submit(c.first);
            ASSERT_EQ(queued.kind, EKind::Queued) << queued.Problem();
            strFirstId = queued.strMessageId;
            // In the same run it is known at once.
            EXPECT_EQ(host.Submit(c.first).kind,
                      CQueuedOccurrences::KeyOf(c.first) ? EKind::AlreadyQueued : EKind::Queued);
            if (c.whereFirst != EMailFolder::Outbox) {
                host.Stop();
                std::string strMoved;
                ASSERT_EQ(host.MoveMessage(EMailFolder::Outbox, host.ListFolder(EMailFolder::Outbox).front(),
                                           c.whereFirst, strMoved)
                              .Problem(),
                          "");
            }
        }
        CMailHost restarted(NoTransport(dir / "p"));
        ASSERT_EQ(restarted.Start().Problem(), "");
        const CSubmission second = restarted.Submit(c.second);
        EXPECT_EQ(second.kind, c.expected) << second.Problem();
        if (c.expected == EKind::AlreadyQueued) EXPECT_EQ(second.strMessageId, strFirstId);
        else EXPECT_NE(second.strMessageId, strFirstId);
    }
}

// What the store cannot take now passes (the message may be handed over
// again); what is wrong with the message itself does not.
TEST(MailStore, AStoreThatCannotWriteIsToldApartFromAMessageThatCannotGo) {
    CTempDir dir;
    CMailHost host(NoTransport(dir / "p"));
    ASSERT_EQ(host.Start().Problem(), "");
    const CMailMessage weekly = Scheduled("Weekly", "2026-12-14 09:00");
    CMailMessage noRecipients = weekly;
    noRecipients.vecTo.clear();
    EXPECT_EQ(host.Submit(noRecipients).kind, CSubmission::EKind::Refused);

    // A folder in its place that cannot hold files: root is not stopped by modes.
    fs::rename(dir / "p/Outbox/tmp", dir / "p/Outbox/tmp.away");
    CTempDir::WriteFile(dir / "p/Outbox/tmp", "");
    const CSubmission refused = host.Submit(weekly);
    EXPECT_EQ(refused.kind, CSubmission::EKind::NotStored);
    EXPECT_TRUE(Contains(refused.Problem(), "Not a directory"));
    EXPECT_TRUE(host.ListFolder(EMailFolder::Outbox).empty());

    fs::remove(dir / "p/Outbox/tmp");
    fs::rename(dir / "p/Outbox/tmp.away", dir / "p/Outbox/tmp");
    EXPECT_EQ(host.Submit(weekly).kind, CSubmission::EKind::Queued) << "the occurrence was not held: it goes now";
    EXPECT_EQ(host.ListFolder(EMailFolder::Outbox).size(), 1u);
    ASSERT_EQ(host.Submit(weekly).kind, CSubmission::EKind::AlreadyQueued);

    // Taken back to Drafts to correct, it is no longer held for its
    // occurrence: sent again, it is queued, not dropped as a repeat.
    std::string strDraft;
    ASSERT_EQ(host.MoveMessage(EMailFolder::Outbox, host.ListFolder(EMailFolder::Outbox).front(), EMailFolder::Drafts,
                               strDraft)
                  .Problem(),
              "");
    const CSubmission corrected = host.Submit(weekly);
    EXPECT_EQ(corrected.kind, CSubmission::EKind::Queued) << corrected.Problem();
    EXPECT_EQ(host.ListFolder(EMailFolder::Outbox).size(), 1u);
}
