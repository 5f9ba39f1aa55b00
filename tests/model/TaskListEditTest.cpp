// One change to one task of a list, as the add-in and the tool share it: template files touched
// only where they are the list's own, nothing changed when refused or not saved.
#include <filesystem>

#include <gtest/gtest.h>

#include "CTaskHistoryFile.h"
#include "CTaskListEdit.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "IClock.h"
#include "ResultValue.h"
#include "TaskNames.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

class TaskListEditTest : public ::testing::Test {
protected:
    TaskListEditTest() {
        for (const char* psz : {"a", "b", "c", "d"}) m_list.Add(Task(psz));
        m_ctx.strDataDir = m_dir.Path() + "/";
        m_ctx.strTaskFile = m_ctx.strDataDir + "emails.dat";
        m_ctx.tNow = ValueOf(TaskTime::ToAbsolute(2027, 1, 4, 10, 0, 30));  // a Monday
        m_ctx.pCodec = &m_codec;
    }

    // A weekly task on Monday 09:00, started 2027-01-04, with its template in the data folder.
    CTaskItem Task(const std::string& strName) {
        CTaskItem t;
        t.m_bActive = 1;
        t.m_strTaskName = strName;
        t.m_strTemplateFile = m_dir / (strName + ".oft");
        CTempDir::WriteFile(t.m_strTemplateFile, "Subject: " + strName + "\n\nbody\n");
        t.m_nRecurrence = 3;
        t.m_nWeeklyInterval = 1;
        t.m_nEndKind = 0;
        t.m_dtStart = {2027, 1, 4, 2, 9, 0, 0};
        t.m_dtNextSending = {2027, 1, 11, 2, 9, 0, 1};
        return t;
    }
    CResult<CTaskListEdit::COutcome> Apply(const json& j) { return CTaskListEdit::Apply(m_list, j, m_ctx); }
    // The outcome of a change that must be taken.
    CTaskListEdit::COutcome Done(const json& j) {
        auto r = Apply(j);
        EXPECT_TRUE(r) << r.Problem();
        return r ? *r : CTaskListEdit::COutcome{};
    }
    std::string Pending(const std::string& strName = ".quillory-new-4711.oft") {
        const std::string strPath = m_dir / strName;
        CTempDir::WriteFile(strPath, "Subject: new\n\nbody\n");
        return strPath;
    }

    CZoneGuard m_zone{"America/New_York"};
    CTempDir m_dir;
    CTextCodec m_codec = CTextCodec::Open("UTF-8").Value();
    CTaskList m_list;
    CTaskListEdit::CContext m_ctx;
};

}  // namespace

TEST_F(TaskListEditTest, MoveKeepsEachTaskWithItsIdentity) {
    const CTaskList::Id nIdOfD = m_list.IdAt(3);
    const struct {
        const char *pszTask, *pszTo;
        std::vector<std::string> vecAfter;
        int nIndex;
    } arrSteps[] = {
        {"d", "first", {"d", "a", "b", "c"}, 0}, {"d", "up", {"d", "a", "b", "c"}, 0},
        {"1", "3", {"a", "b", "d", "c"}, 2},     {"a", "last", {"b", "d", "c", "a"}, 3},
        {"a", "down", {"b", "d", "c", "a"}, 3},  {"c", "up", {"b", "c", "d", "a"}, 1},
    };
    for (const auto& step : arrSteps) {
        EXPECT_EQ(Done({{"command", "move"}, {"task", step.pszTask}, {"to", step.pszTo}}).nIndex, step.nIndex);
        EXPECT_EQ(TaskNames(m_list), step.vecAfter) << step.pszTask << " " << step.pszTo;
    }
    EXPECT_EQ(m_list[m_list.IndexOf(nIdOfD)].m_strTaskName, "d");
    for (const char* pszTo : {"5", "0", "sideways", ""})
        EXPECT_FALSE(Apply({{"command", "move"}, {"task", "a"}, {"to", pszTo}})) << pszTo;
    EXPECT_EQ(TaskNames(m_list), (std::vector<std::string>{"b", "c", "d", "a"}));
}

// Enable and disable change the flag alone; a change that names only a
// form the task never had starts that form's interval at the panel's 1.
TEST_F(TaskListEditTest, EnableDisableTouchOnlyTheFlagAndANewFormStartsItsIntervalAtOne) {
    CTaskItem expected = m_list[1];
    for (const auto& [pszCommand, bActive] : {std::pair{"disable", 0}, std::pair{"enable", 1}}) {
        Done({{"command", pszCommand}, {"task", "b"}});
        expected.m_bActive = bActive;
        EXPECT_EQ(m_list[1], expected) << pszCommand;
    }
    Done({{"command", "set"}, {"task", "c"}, {"changes", {{"recurrence", 2}}}});
    EXPECT_EQ(m_list[2].m_nDailyInterval, 1);
    EXPECT_EQ(m_list[2].m_nWeeklyInterval, 1) << "the weekly form's value stays in store";
}

TEST_F(TaskListEditTest, RemoveKeepsTheTemplateFileAsTheManagerDoes) {
    const std::string strTemplate = m_list[0].m_strTemplateFile;
    const auto fnSave = [] { return CResult<>(); };
    auto r = CTaskListEdit::ApplyAndSave(m_list, {{"command", "remove"}, {"task", "a"}}, m_ctx, fnSave);
    ASSERT_TRUE(r) << r.Problem();
    EXPECT_TRUE(fs::exists(strTemplate));
    EXPECT_EQ(TaskNames(m_list), (std::vector<std::string>{"b", "c", "d"}));
    // A record that names the store beside the list as its template (an
    // import can): a new message never goes into it, nor is it removed.
    const std::string strStore = m_dir / "tasks.json";
    CTempDir::WriteFile(strStore, "{\"version\": 2, \"tasks\": {}}\n");
    CTaskItem odd = m_list[0];
    odd.m_strTemplateFile = strStore;
    m_list.SetAt(0, odd);
    r = CTaskListEdit::ApplyAndSave(m_list, {{"command", "set"}, {"task", "b"}, {"template", Pending()}}, m_ctx,
                                    fnSave);
    ASSERT_TRUE(r) << r.Problem();
    EXPECT_NE(r->task.m_strTemplateFile, strStore);
    EXPECT_EQ(CTempDir::ReadFile(strStore), "{\"version\": 2, \"tasks\": {}}\n");
}

TEST_F(TaskListEditTest, CopyNeverWritesOverAFile) {
    CTempDir::WriteFile(m_dir / "b.oft.oft", "someone else's");
    auto r = Done({{"command", "copy"}, {"task", "a"}});
    EXPECT_EQ(r.nIndex, 4);
    EXPECT_EQ(r.task.m_strTaskName, "Copy of a");
    EXPECT_EQ(r.task.m_strTemplateFile, m_dir / "a.oft.oft");
    EXPECT_EQ(CTempDir::ReadFile(m_dir / "a.oft.oft"), CTempDir::ReadFile(m_dir / "a.oft"));

    r = Done({{"command", "copy"}, {"task", "b"}});
    EXPECT_EQ(r.task.m_strTemplateFile, m_dir / "b.oft (2).oft");
    EXPECT_EQ(CTempDir::ReadFile(m_dir / "b.oft.oft"), "someone else's");
    EXPECT_EQ(r.task.m_dtNextSending, m_list[1].m_dtNextSending) << "the copy keeps the schedule";

    // Names stay unique, so that each task can still be named.
    r = Done({{"command", "copy"}, {"task", "a"}});
    EXPECT_EQ(r.task.m_strTaskName, "Copy of a (2)");
    EXPECT_EQ(r.task.m_strTemplateFile, m_dir / "a.oft (2).oft");

    // A template outside the data folder is copied into it, never beside
    // itself into a folder the tool does not own.
    CTempDir outside;
    const std::string strOutside = outside / "shared.oft";
    CTempDir::WriteFile(strOutside, "Subject: shared\n\nbody\n");
    CTaskItem t = m_list[0];
    t.m_strTaskName = "shared";
    t.m_strTemplateFile = strOutside;
    m_list.Add(t);
    r = Done({{"command", "copy"}, {"task", "shared"}});
    EXPECT_EQ(r.task.m_strTemplateFile, m_dir / "shared.oft.oft");
    EXPECT_EQ(CTempDir::ReadFile(m_dir / "shared.oft.oft"), "Subject: shared\n\nbody\n");
    EXPECT_FALSE(fs::exists(outside / "shared.oft.oft"));
}

TEST_F(TaskListEditTest, AddMovesItsTemplateIntoPlaceAndSchedulesAsTheSheet) {
    const json jChanges = {{"taskName", "  Report: weekly  "},
                           {"recurrence", 3},
                           {"weeklyMode", 0},
                           {"weeklyInterval", 2},
                           {"weekDays", {false, false, false, true, false, false, false}},
                           {"start", {{"year", 2027}, {"month", 1}, {"day", 5}, {"hour", 8}, {"minute", 0}}}};
    const std::string strPending = Pending();
    EXPECT_EQ(Done({{"command", "add"}, {"changes", jChanges}, {"template", strPending}}).nIndex, 4);
    const CTaskItem& t = m_list[4];
    EXPECT_EQ(t.m_strTaskName, "Report: weekly");
    EXPECT_EQ(t.m_strTemplateFile, m_dir / "Report weekly 20270104100030.oft");
    EXPECT_TRUE(fs::exists(t.m_strTemplateFile));
    EXPECT_FALSE(fs::exists(strPending));
    // The first Wednesday from the start on.
    EXPECT_EQ(TaskTime::Format(t.m_dtNextSending), "2027-01-06 08:00");
    EXPECT_EQ(t.m_bActive, 1);
    EXPECT_EQ(t.m_bSendOverdue, 1);
    EXPECT_EQ(t.m_nEndKind, 0);
}

// What the tool's commands refuse through a host and without one, each
// leaving every file as it was: EditCommandsTest.AMistakeHasTheSameStatusWithAndWithoutAHost.
TEST_F(TaskListEditTest, ARefusedChangeLeavesListAndFilesAlone) {
    const CTaskList before = m_list;
    const json jStart = {{"year", 2027}, {"month", 1}, {"day", 5}, {"hour", 8}, {"minute", 0}};
    const std::string strPending = Pending();
    const struct {
        json jRequest;
        std::string strProblem;
    } arrCases[] = {
        {{{"command", "add"}, {"changes", {{"taskName", " "}, {"start", jStart}}}, {"template", strPending}},
         "taskName: Please enter the task name."},
        {{{"command", "add"}, {"changes", {{"taskName", "new"}, {"start", jStart}}}, {"template", "/etc/passwd"}},
         "template: /etc/passwd is not a new message"},
        // Only the tool's own new file moves: not another task's template, not the lock.
        {{{"command", "set"}, {"task", "a"}, {"template", m_list[1].m_strTemplateFile}},
         "template: " + m_list[1].m_strTemplateFile + " is not a new message"},
        {{{"command", "set"}, {"task", "a"}, {"template", Pending("emails.dat.lock")}},
         "template: " + (m_dir / "emails.dat.lock") + " is not a new message"},
        {{{"command", "set"}, {"task", "a"}, {"template", Pending(".quillory-new-12x.oft")}}, "template: "},
        {{{"command", "set"}, {"task", "a"}, {"template", m_dir / "gone/.quillory-new-1.oft"}}, "template: "},
        {{{"command", "add"}, {"changes", {{"taskName", "new"}, {"start", jStart}}}}, "template: a new task needs"},
        {{{"command", "set"}, {"task", "a"}, {"changes", {{"minuteInterval", 0}, {"recurrence", 1}}}},
         "minuteInterval: must be at least 1, not 0"},
        {{{"command", "set"}, {"task", "a"}, {"changes", {{"taskName", "c"}}}},
         "taskName: The task name already exists"},
        {{{"command", "set"}, {"task", "a"}, {"changes", {{"bogus", 1}}}}, "set: bogus: unknown key"},
        {{{"command", "send-now"}, {"task", "a"}}, "a running host is needed to send"},
        {{{"command", "remove"}, {"task", "Gone"}}, "there is no task named \"Gone\""},
        {{{"command", "disable"}, {"task", "7"}}, "there is no task 7 (the list has 4)"},
        {{{"command", "frobnicate"}, {"task", "a"}}, "command: unknown"},
        // The present is the applier's own: a request naming another cannot start a task in the past.
        // clang-format off
        {{{"command", "add"}, {"now", ValueOf(TaskTime::ToAbsolute(2020, 1, 1, 9, 0, 0))}, {"template", strPending},
          {"changes", {{"taskName", "flood"}, {"recurrence", 1}, {"minuteInterval", 1},
                       {"start", {{"year", 2021}, {"month", 1}, {"day", 1}, {"hour", 9}, {"minute", 0}}}}}},
         "start: Please change the starting date and time later than the current time."},
        // clang-format on
    };
    for (const auto& c : arrCases) {
        const auto r = Apply(c.jRequest);
        ASSERT_FALSE(r) << c.jRequest.dump();
        EXPECT_EQ(r.Problem().substr(0, c.strProblem.size()), c.strProblem) << r.Problem();
        EXPECT_EQ(m_list, before);
        EXPECT_TRUE(fs::exists(strPending));
    }
}

TEST_F(TaskListEditTest, SetWorksOnTheTaskAsTheSenderLeftIt) {
    // The sender has moved task a on since the tool read the list.
    CTaskItem a = m_list[0];
    a.m_nOccurrenceCount = 4;
    a.m_dtLastSent = {2027, 1, 11, 2, 9, 0, 1};
    a.m_dtNextSending = {2027, 1, 18, 2, 9, 0, 1};
    m_list.SetAt(0, a);
    m_ctx.tNow = ValueOf(TaskTime::ToAbsolute(2027, 1, 12, 12, 0, 0));
    Done({{"command", "set"}, {"task", "a"}, {"changes", {{"endKind", 1}, {"endAfterCount", 6}}}});
    const CTaskItem& t = m_list[0];
    EXPECT_EQ(t.m_nOccurrenceCount, 4);
    EXPECT_EQ(t.m_nEndKind, 1);
    EXPECT_EQ(t.m_nEndAfterCount, 6);
    // Worked out again from the start, past the present, as the sheet does for an edit.
    EXPECT_EQ(TaskTime::Format(t.m_dtNextSending), "2027-01-18 09:00");

    // Monday's occurrence was missed (no host ran) and waits to go out late:
    // a set naming nothing of when the task is sent keeps it waiting, for
    // rules that judge it when due as well; one that changes the schedule,
    // or rules that place its times (a zone), works the times out anew.
    const struct {
        const char* pszName;
        json jRequest;
        const char* pszNext;
    } rows[] = {
        {"name", {{"changes", {{"taskName", "a2"}, {"sendOverdue", true}}}}, "2027-01-18 09:00"},
        {"message", {{"template", Pending()}}, "2027-01-18 09:00"},
        {"schedule", {{"changes", {{"weeklyInterval", 1}}}}, "2027-01-25 09:00"},
        {"rules judging it",
         {{"rules", {{"missed", "none"}, {"pauseUntil", "2027-02-01"}, {"skipNext", true}}}},
         "2027-01-18 09:00"},
        {"rules placing it", {{"rules", {{"zone", "Europe/Berlin"}}}}, "2027-01-25 03:00"},
    };
    m_ctx.tNow = ValueOf(TaskTime::ToAbsolute(2027, 1, 19, 12, 0, 0));
    const CFixedClock clock(m_ctx.tNow);
    CTaskHistoryFile store(m_dir / CTaskHistoryFile::kFileName, clock);
    m_ctx.pStore = &store;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszName);
        json jRequest = row.jRequest;
        jRequest["command"] = "set";
        jRequest["task"] = "1";
        const auto rSet = Apply(jRequest);
        ASSERT_TRUE(rSet) << rSet.Problem();
        EXPECT_EQ(TaskTime::Format(m_list[0].m_dtNextSending), row.pszNext);
        EXPECT_EQ(m_list[0].m_nOccurrenceCount, 4);
        m_list.SetAt(0, a);
    }
}

// An extra message uses up no occurrence: whenever it is sent (before a
// regular sending that day, in its very minute, late in the evening, on the
// last count), the task's count, last sending and next sending stay.
TEST_F(TaskListEditTest, SendNowLeavesTheScheduleAsItWas) {
    std::vector<std::string> vecSent;
    m_ctx.fnSend = [&](const CTaskItem& t) { vecSent.push_back(t.m_strTaskName); };
    CTaskItem b = m_list[1];
    b.m_nEndKind = 1;
    b.m_nEndAfterCount = 2;
    b.m_nOccurrenceCount = 1;
    m_list.SetAt(1, b);
    const struct {
        const char* pszTask;
        int nDay, nHour, nMinute;
    } arrSends[] = {{"a", 4, 10, 0}, {"b", 4, 10, 0}, {"c", 11, 8, 0}, {"c", 11, 9, 0}, {"d", 10, 21, 30}};
    for (const auto& send : arrSends) {
        SCOPED_TRACE(std::string(send.pszTask) + " on day " + std::to_string(send.nDay));
        m_ctx.tNow = ValueOf(TaskTime::ToAbsolute(2027, 1, send.nDay, send.nHour, send.nMinute, 20));
        const CTaskList before = m_list;
        Done({{"command", "send-now"}, {"task", send.pszTask}});
        EXPECT_EQ(m_list, before);
    }
    EXPECT_EQ(vecSent, (std::vector<std::string>{"a", "b", "c", "c", "d"}));
}

// The send runs the event loop, in which another change may move or remove
// the task: the answer finds it where the send left it, and once the
// message is handed over it is never a refusal, which would have the user
// send it a second time (not when the task went, nor when the list cannot
// be saved).
TEST_F(TaskListEditTest, SendNowFindsTheTaskWhereTheSendLeftItAndIsNeverARefusalOnceSent) {
    int nSent = 0;
    m_ctx.fnSend = [&](const CTaskItem&) { ++nSent, m_list.MoveDown(0); };
    const auto r = Done({{"command", "send-now"}, {"task", "a"}});
    EXPECT_EQ(r.nIndex, 1);
    EXPECT_EQ(r.task.m_strTaskName, "a");
    EXPECT_EQ(m_list[1].m_strTaskName, "a");
    m_ctx.fnSend = [&](const CTaskItem&) { ++nSent, m_list.RemoveAt(1); };
    EXPECT_EQ(Done({{"command", "send-now"}, {"task", "a"}}).task.m_strTaskName, "a");
    m_ctx.fnSend = [&](const CTaskItem&) { ++nSent; };
    const auto rSaved = CTaskListEdit::ApplyAndSave(m_list, json{{"command", "send-now"}, {"task", "b"}}, m_ctx,
                                                    [] { return CResult<>(CProblem("disk full")); });
    ASSERT_TRUE(rSaved) << rSaved.Problem();
    EXPECT_EQ(nSent, 3);
}

TEST_F(TaskListEditTest, AFailedSaveUndoesListAndFiles) {
    const CTaskList before = m_list;
    const auto fnFail = [] { return CResult<>(CProblem("emails.dat: disk full")); };
    const std::string strPending = Pending();
    const json jAdd = {{"command", "add"},
                       {"changes", {{"taskName", "new"}, {"start", {{"year", 2027}, {"month", 2}, {"day", 1}}}}},
                       {"template", strPending}};
    auto r = CTaskListEdit::ApplyAndSave(m_list, jAdd, m_ctx, fnFail);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.Problem(), "emails.dat: disk full; the task list is left as it was");
    EXPECT_EQ(m_list, before);
    EXPECT_TRUE(fs::exists(strPending)) << "the new template is back where the tool can clear it";

    r = CTaskListEdit::ApplyAndSave(m_list, {{"command", "copy"}, {"task", "a"}}, m_ctx, fnFail);
    ASSERT_FALSE(r);
    EXPECT_FALSE(fs::exists(m_dir / "a.oft.oft"));
    r = CTaskListEdit::ApplyAndSave(m_list, {{"command", "remove"}, {"task", "a"}}, m_ctx, fnFail);
    ASSERT_FALSE(r);
    EXPECT_TRUE(fs::exists(m_dir / "a.oft"));
    EXPECT_EQ(m_list, before);
}
