// A host that vanished before it answered leaves the tool only the file to
// go by: the list a host's edit makes holds the change, with the answer
// that host would have given, even after the sender moved its tasks on;
// the list as it was does not; and a file showing something else says so.
#include <gtest/gtest.h>

#include "CChangeFinder.h"
#include "CSettingsAhead.h"
#include "CTaskListEdit.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

using json = CChangeFinder::json;
using EFound = CChangeRoute::EFound;

class ChangeFinderTest : public ::testing::Test {
protected:
    ChangeFinderTest() {
        for (const char* psz : {"a", "b", "c", "d"}) {
            CTaskItem t;
            t.m_bActive = 1;
            t.m_strTaskName = psz;
            // d's message lives outside the data folder: a new one gets a file there.
            t.m_strTemplateFile = (std::string(psz) == "d" ? m_other : m_dir) / (std::string(psz) + ".oft");
            CTempDir::WriteFile(t.m_strTemplateFile, std::string("Subject: ") + psz + "\n\nbody\n");
            t.m_nRecurrence = 2;  // daily at 09:00
            t.m_nDailyInterval = 1;
            t.m_nEndKind = 0;  // no end
            t.m_dtStart = {2027, 1, 4, 2, 9, 0, 0};
            t.m_dtNextSending = {2027, 1, 5, 3, 9, 0, 0};
            m_before.Add(t);
        }
        m_ctx.strDataDir = m_dir.Path() + "/";
        m_ctx.strTaskFile = m_ctx.strDataDir + "emails.dat";
        m_ctx.tNow = ValueOf(TaskTime::ToAbsolute(2027, 1, 4, 10, 0, 30));
        m_ctx.pCodec = &m_codec;
    }
    // A new message, as the tool leaves it in the data folder for the host.
    std::string Pending() {
        const std::string strPath = m_dir / ".quillory-new-4711.oft";
        m_strNewMessage = "Subject: new " + std::to_string(++m_nMessages) + "\n\nbody\n";
        CTempDir::WriteFile(strPath, m_strNewMessage);
        return strPath;
    }
    EFound Find(const json& jRequest, const CTaskList& after, json& jAnswer) const {
        return CChangeFinder::Find(jRequest, m_before, after, m_codec, &m_strNewMessage, jAnswer);
    }

    CZoneGuard m_zone{"Europe/Berlin"};
    CTempDir m_dir, m_other;
    CTextCodec m_codec = CTextCodec::Open("UTF-8").Value();
    CTaskList m_before;
    CTaskListEdit::CContext m_ctx;
    std::string m_strNewMessage;  // the bytes of the last new message
    int m_nMessages = 0;
};

}  // namespace

TEST_F(ChangeFinderTest, TheFileHoldsWhatTheHostsEditMadeAndNotWhatItWas) {
    struct CRow {
        const char* pszName;
        json jRequest;
        int nIndex;             // the answer's place, from 1 (0: removed)
        const char* pszTask;    // the answer's task
        bool bPending = false;  // the request carries a new message
    };
    const json jStart = {{"year", 2027}, {"month", 1}, {"day", 6}, {"hour", 8}, {"minute", 0}};
    const CRow rows[] = {
        // clang-format off
        {"add", {{"command", "add"}, {"changes", {{"taskName", " New "}, {"start", jStart}}}}, 5, "New", true},
        {"set, renamed", {{"command", "set"}, {"task", "b"},
                          {"changes", {{"taskName", "b2"}, {"endKind", 1}, {"endAfterCount", 3}}}}, 2, "b2"},
        {"set, a new message kept in its file", {{"command", "set"}, {"task", "c"}}, 3, "c", true},
        {"set, a new message for a template outside", {{"command", "set"}, {"task", "d"}, {"changes", {{"endKind", 1}}}},
         4, "d", true},
        {"copy", {{"command", "copy"}, {"task", "a"}}, 5, "Copy of a"},
        {"remove", {{"command", "remove"}, {"task", "c"}}, 0, "c"},
        {"move", {{"command", "move"}, {"task", "d"}, {"to", "first"}}, 1, "d"},
        {"disable", {{"command", "disable"}, {"task", "2"}}, 2, "b"},
        // clang-format on
    };
    for (const CRow& row : rows) {
        SCOPED_TRACE(row.pszName);
        json jRequest = row.jRequest;
        if (row.bPending) jRequest["template"] = Pending();
        json jAnswer;
        EXPECT_EQ(Find(jRequest, m_before, jAnswer), EFound::kNotApplied) << "the files as they were";
        CTaskList after = m_before;
        const auto rEdit = CTaskListEdit::Apply(after, jRequest, m_ctx);
        ASSERT_TRUE(rEdit) << rEdit.Problem();
        // Meanwhile the sender moved every task on: that hides nothing.
        for (int i = 0; i < after.GetSize(); ++i) after[i].m_dtNextSending = {2027, 1, 6, 4, 9, 0, 0};

        ASSERT_EQ(Find(jRequest, after, jAnswer), EFound::kApplied);
        EXPECT_EQ(jAnswer["ok"], true);
        EXPECT_EQ(jAnswer["index"], row.nIndex);
        EXPECT_EQ(jAnswer["task"]["taskName"], row.pszTask);
    }
}

TEST_F(ChangeFinderTest, AFileShowingAnotherChangeOrNoneThatCanShowIsNotTakenForIt) {
    json jAnswer;
    // Two copies where one was asked: someone else changed the list too.
    CTaskList twoMore = m_before;
    twoMore.Add(m_before[0]);
    twoMore.Add(m_before[1]);
    EXPECT_EQ(Find({{"command", "copy"}, {"task", "a"}}, twoMore, jAnswer), EFound::kUnknown);
    // The order another move made, not this one's.
    CTaskList moved = m_before;
    ASSERT_TRUE(CTaskListEdit::Apply(moved, json{{"command", "move"}, {"task", "b"}, {"to", "last"}}, m_ctx));
    EXPECT_EQ(Find({{"command", "move"}, {"task", "d"}, {"to", "first"}}, moved, jAnswer), EFound::kUnknown);
    // A set whose values the file does not hold, and one naming no task.
    CTaskList renamed = m_before;
    renamed[1].m_strTaskName = "b2";
    EXPECT_EQ(Find({{"command", "set"}, {"task", "b"}, {"changes", {{"taskName", "b2"}, {"endAfterCount", 3}}}},
                   renamed, jAnswer),
              EFound::kNotApplied);
    EXPECT_EQ(Find({{"command", "remove"}, {"task", "Gone"}}, m_before, jAnswer), EFound::kNotApplied);
    // A rename to another task's name, which the host refuses: that task is not taken for it.
    EXPECT_EQ(Find({{"command", "set"}, {"task", "a"}, {"changes", {{"taskName", "b"}}}}, m_before, jAnswer),
              EFound::kNotApplied);
    // A host stopped between putting a message in place and saving the
    // list: the message without the other values, or unreadable bytes.
    const json jSet = {{"command", "set"}, {"task", "c"}, {"changes", {{"endKind", 1}}}, {"template", Pending()}};
    CTaskList placed = m_before;
    ASSERT_TRUE(CTaskListEdit::Apply(placed, jSet, m_ctx));
    EXPECT_EQ(Find(jSet, m_before, jAnswer), EFound::kUnknown);
    EXPECT_EQ(CChangeFinder::Find(jSet, m_before, placed, m_codec, nullptr, jAnswer), EFound::kUnknown);
    // A set with rules is there only where the task's entry beside the list
    // holds them, as they stand or ahead for the record the file holds.
    const json jRules = {{"command", "set"}, {"task", "a"}, {"rules", {{"missed", "none"}}}};
    const nlohmann::json jNone = {{"rules", {{"missed", "none"}}}};
    auto After = [&](const nlohmann::json& jSettings, const nlohmann::json& jAhead) {
        CTaskHistoryFile::CContent content;
        content.mapEntries["a.oft"].jSettings = jSettings;
        content.mapEntries["a.oft"].jAhead = jAhead;
        return CChangeFinder::CStores{CTaskHistoryFile::CContent{}, content, m_ctx.strTaskFile};
    };
    CTaskItem other = m_before[0];
    other.m_nDailyInterval = 2;
    const struct {
        const char* pszName;
        CChangeFinder::CStores stores;
        EFound eFound;
    } rulesRows[] = {
        {"none kept", After(nlohmann::json::object(), nullptr), EFound::kNotApplied},
        {"kept", After(jNone, nullptr), EFound::kApplied},
        {"ahead for the record the file holds",
         After(nlohmann::json::object(),
               {{"settings", jNone}, {"record", CSettingsAhead::RecordOf(m_before[0], m_codec)}}),
         EFound::kApplied},
        {"ahead for another record",
         After(nlohmann::json::object(), {{"settings", jNone}, {"record", CSettingsAhead::RecordOf(other, m_codec)}}),
         EFound::kNotApplied},
        {"a store that cannot be read",
         {CTaskHistoryFile::CContent{}, CProblem("not JSON"), m_ctx.strTaskFile},
         EFound::kUnknown},
    };
    CTempDir::WriteFile(m_dir / "tasks.json", "{");  // the damaged store the last row read
    for (const auto& row : rulesRows) {
        EXPECT_EQ(CChangeFinder::Find(jRules, m_before, m_before, m_codec, nullptr, jAnswer, &row.stores), row.eFound)
            << row.pszName;
    }
    EXPECT_EQ(Find(jRules, m_before, jAnswer), EFound::kUnknown) << "no stores";
    // An extra message keeps nothing in the file.
    EXPECT_EQ(Find({{"command", "send-now"}, {"task", "a"}}, m_before, jAnswer), EFound::kUnknown);
}
