// What the scheduler's outcomes become: the history file written once a
// tick or burst, journal lines, notifications told once, a skip used once.
#include <QCoreApplication>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>

#include <gtest/gtest.h>

#include "CNotifyRecorder.h"
#include "COutcomeRecorder.h"
#include "CSendEmailDlg.h"
#include "CTaskHistoryFile.h"
#include "CTempDir.h"
#include "Contains.h"
#include "IClock.h"
#include "TaskTime.h"

namespace {

time_t ValueOfTime(int y, int mo, int d, int h, int mi) { return TaskTime::ToAbsolute(y, mo, d, h, mi).Value(); }

CTaskItem Task(const std::string& strName) {
    CTaskItem task;
    task.m_strTaskName = strName;
    task.m_strTemplateFile = "/data/" + strName + ".oft";
    task.m_dtNextSending = TaskTime::FromAbsolute(1796634000);
    return task;
}

class OutcomeRecorderTest : public ::testing::Test {
protected:
    OutcomeRecorderTest() : m_app(m_argc, m_argv), m_history(m_dir / "history.json", m_clock) {
        for (const char* psz : {"a", "b", "c"}) m_list.Add(Task(psz));
    }

    std::unique_ptr<COutcomeRecorder> MakeRecorder() {
        return std::make_unique<COutcomeRecorder>(
            COutcomeRecorder::CParts{&m_history, nullptr, &m_clock, [this] { return &m_list; }, "Mail Host"});
    }
    // What a later start would read.
    CTaskHistory OnDisk() const {
        CTaskHistoryFile file(m_dir / "history.json", m_clock);
        EXPECT_EQ(file.Load().Problem(), "");
        return file.History();
    }

    int m_argc = 1;
    char m_szName[32] = "scheduler_tests";
    char* m_argv[2] = {m_szName, nullptr};
    QCoreApplication m_app;
    CTempDir m_dir;
    CFixedClock m_clock{1796634000};
    CTaskHistoryFile m_history;
    CTaskList m_list;
};

}  // namespace

// A tick's outcomes go to the file together when the tick ends; nothing is
// written in between, so a hundred messages in one minute cost one write.
// Outside a tick the write waits for the event loop, so a burst of results
// is one write; a recorder that goes first still writes what it holds, and
// a restart reads back that an occurrence waits for the host only while
// the last thing recorded for it is "not queued yet".
TEST_F(OutcomeRecorderTest, OutcomesAreWrittenOnceATickOrABurstAndReadBackAfterARestart) {
    auto pRecorder = MakeRecorder();
    pRecorder->OnTickStart();
    for (int i = 0; i < 3; ++i)
        pRecorder->OnSendStart(m_list[i], {CSendStart::EKind::HandedOver, "<m" + std::to_string(i) + "@x>", ""});
    EXPECT_FALSE(std::filesystem::exists(m_dir / "history.json")) << "not written inside the tick";
    pRecorder->OnTickEnd();
    EXPECT_EQ(OnDisk(), m_history.History());
    for (const char* psz : {"a.oft", "b.oft", "c.oft"}) EXPECT_EQ(OnDisk().Of(psz).size(), 1u) << psz;

    std::filesystem::remove(m_dir / "history.json");
    pRecorder->OnSkipped(m_list[0]);
    pRecorder->OnSkipped(m_list[1]);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "history.json"));
    QCoreApplication::processEvents();
    EXPECT_EQ(OnDisk().Of("b.oft").size(), 2u);
    pRecorder->OnSkipped(m_list[2]);
    pRecorder->OnSendStart(m_list[1], {CSendStart::EKind::NotStored, "", "No space left on device", "S", ""});
    pRecorder.reset();  // the add-in disconnects before the event loop runs again
    ASSERT_EQ(OnDisk().Of("c.oft").size(), 2u) << "not lost";
    EXPECT_EQ(OnDisk().Of("c.oft").back().kind, CTaskOutcome::EKind::SkippedOverdue);

    ASSERT_EQ(m_history.Load().Problem(), "");
    auto pRestarted = MakeRecorder();
    EXPECT_TRUE(pRestarted->WaitsForHost(m_list[1]));
    EXPECT_FALSE(pRestarted->WaitsForHost(m_list[0])) << "skipped last";
    CTaskItem later = m_list[1];
    later.m_dtNextSending = TaskTime::FromAbsolute(1796634000 + 86400);
    EXPECT_FALSE(pRestarted->WaitsForHost(later)) << "another occurrence";
    pRestarted->OnSendStart(m_list[1], {CSendStart::EKind::HandedOver, "<m@x>", ""});
    EXPECT_FALSE(pRestarted->WaitsForHost(m_list[1])) << "taken at last";
}

// Every outcome the scheduler learns of is one journal line naming the task,
// the occurrence, the subject where there is one, and the result; a message
// handed over is told with the host's result later, not here.
TEST_F(OutcomeRecorderTest, EveryOutcomeIsOneJournalLine) {
    using EKind = CSendStart::EKind;
    const std::string strAt = "task \"a\", occurrence " + TaskTime::Format(m_list[0].m_dtNextSending);
    const CSendStart notStored{EKind::NotStored, "", "No space left on device", "S", ""};
    const CSendStart waiting{EKind::WaitingForAttachments, "", "nothing matched /r/*.csv; until 10:00", "S", ""};
    CSendStart unfilled{EKind::HandedOver, "<2@x>", "", "{dat}", ""};
    unfilled.strUnfilled = "subject: unknown placeholder {dat} at 1";
    struct CRow {
        const char* pszName;
        std::vector<CSendStart> vecStarts;  // the sends' results, in turn
        std::string strLines;               // what stderr holds after them, "" for nothing
        std::function<void(COutcomeRecorder&)> fnDo = {};
    };
    const CRow rows[] = {
        // clang-format off
        {"handed over", {{EKind::HandedOver, "<1@x>", "", "Figures", ""}}, ""},
        {"template missing", {{EKind::TemplateMissing, "", "/d/a.oft", "", ""}},
         "Quillory: " + strAt + ": template missing: /d/a.oft\n"},
        {"not stored, told once per occurrence", {notStored, notStored},
         "Quillory: " + strAt + ", subject \"S\": not queued yet, the host cannot store the message now; tried again "
         "each minute: No space left on device\n"},
        {"skipped", {}, "Quillory: " + strAt + ": skipped (overdue)\n", [&](auto& r) { r.OnSkipped(m_list[0]); }},
        {"nothing to attach: waits, told once per occurrence and kept due, then skipped", {waiting, waiting},
         "Quillory: " + strAt + ", subject \"S\": waiting for its attachments: nothing matched /r/*.csv; until 10:00\n"
         "Quillory: " + strAt + ", subject \"S\": skipped: nothing matched /r/*.csv by 10:00\n",
         [&](auto& r) {
             EXPECT_TRUE(r.WaitsForHost(m_list[0])) << "the occurrence stays due, also after a restart";
             r.OnSendStart(m_list[0], {EKind::SkippedByRule, "", "nothing matched /r/*.csv by 10:00", "S", ""});
             EXPECT_FALSE(r.WaitsForHost(m_list[0]));
             EXPECT_EQ(m_history.History().Of("a.oft").size(), 1u) << "the tries leave one line";
         }},
        {"placeholders that could not be filled", {unfilled},
         "Quillory: " + strAt + ", subject \"{dat}\": placeholders not filled, the text goes as written: subject: "
         "unknown placeholder {dat} at 1\n"},
        {"caught up", {},
         "Quillory: task \"a\": caught up 3 missed occurrences (2 sent late, 1 skipped)\n"
         "Quillory: task \"b\\x1b\": caught up 1 missed occurrence (0 sent late, 1 skipped)\n",
         [](auto& r) { r.OnCaughtUp({{"a", 2, 1}, {"b\x1b", 0, 1}}); }},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszName);
        m_history.History() = {};
        auto pRecorder = MakeRecorder();
        std::ostringstream err;
        std::streambuf* pOld = std::cerr.rdbuf(err.rdbuf());
        for (const CSendStart& start : row.vecStarts) pRecorder->OnSendStart(m_list[0], start);
        if (row.fnDo) row.fnDo(*pRecorder);
        std::cerr.rdbuf(pOld);
        EXPECT_EQ(err.str(), row.strLines);
    }
}

// A task list that cannot be saved is told once per new reason, not at every
// tick, and once more when saving works again.
TEST_F(OutcomeRecorderTest, AnUnsavedTaskListIsToldOncePerReasonAndWhenItClears) {
    CNotifyRecorder notes;
    std::string strUnsaved;
    COutcomeRecorder recorder(COutcomeRecorder::CParts{&m_history, &notes, &m_clock, [this] { return &m_list; },
                                                       "Mail Host", [&] { return strUnsaved; }});
    const char* const kTicks[] = {"",
                                  "emails.dat: No space left on device",
                                  "emails.dat: No space left on device",
                                  "emails.dat: Read-only file system",
                                  "",
                                  ""};
    for (const char* pszUnsaved : kTicks) {
        strUnsaved = pszUnsaved;
        recorder.OnTickStart();
        recorder.OnTickEnd();
    }
    std::vector<std::string> vecSummaries;
    for (const auto& [strSummary, strBody] : notes.m_vecShown)
        vecSummaries.push_back(strSummary + ": " + strBody.substr(0, strBody.find('\n')));
    EXPECT_EQ(vecSummaries, (std::vector<std::string>{
                                "The task list cannot be saved: emails.dat: No space left on device",
                                "The task list cannot be saved: emails.dat: Read-only file system",
                                "The task list is saved again: What was sent meanwhile is recorded.",
                            }));
}

// Mail that cannot go out is told once, whatever the number of tries: at
// once when the server refuses the login, after kStuckSeconds otherwise,
// and again when a message goes out.
TEST_F(OutcomeRecorderTest, StuckMessagesAreToldOnceAndWhenTheyGoAgain) {
    using EKind = CTaskOutcome::EKind;
    CNotifyRecorder notes;
    COutcomeRecorder recorder(
        COutcomeRecorder::CParts{&m_history, &notes, &m_clock, [this] { return &m_list; }, "Mail Host", {}});
    const int64_t t0 = 1796634000;
    struct CStep {
        int64_t nAfter;  // seconds after t0
        const char* pszId;
        EKind kind;
        const char* pszText;
        const char* pszTold;  // the notification's summary, "" for none
    };
    const CStep steps[] = {
        {0, "<1@x>", EKind::Retrying, "cannot reach smtp.example.org; trying again at 09:01", ""},
        {60, "<1@x>", EKind::Retrying, "cannot reach smtp.example.org; trying again at 09:03", ""},
        {COutcomeRecorder::kStuckSeconds, "<1@x>", EKind::Retrying,
         "cannot reach smtp.example.org; trying again at 09:10", "Scheduled messages wait to be sent"},
        {COutcomeRecorder::kStuckSeconds + 600, "<1@x>", EKind::Retrying,
         "cannot reach smtp.example.org; trying again at 09:30", ""},
        {COutcomeRecorder::kStuckSeconds + 900, "<1@x>", EKind::Sent, "", "Scheduled messages go out again"},
        {COutcomeRecorder::kStuckSeconds + 960, "<2@x>", EKind::Retrying,
         "the server refused the login: 535 5.7.8 no; trying again at 09:20",
         "Scheduled messages cannot go out: the server refused the login"},
        {COutcomeRecorder::kStuckSeconds + 1020, "<2@x>", EKind::Retrying,
         "the server refused the login: 535 5.7.8 no; trying again at 09:22", ""},
    };
    size_t nTold = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.pszText);
        m_clock.Set(t0 + step.nAfter);
        recorder.NoteStuck(step.pszId, step.kind, "a (2026-12-07 09:00)", step.pszText);
        if (*step.pszTold) {
            ASSERT_EQ(notes.m_vecShown.size(), ++nTold);
            EXPECT_EQ(notes.m_vecShown.back().first, step.pszTold);
        }
        EXPECT_EQ(notes.m_vecShown.size(), nTold);
    }
    EXPECT_TRUE(Contains(notes.m_vecShown[0].second, "a (2026-12-07 09:00): cannot reach smtp.example.org"));
}

// "Skip the next occurrence" is used up once: the record and the cleared
// flag reach the store together, before the list is saved past the
// occurrence. A stop right between (the list on disk still holds the
// occurrence) passes it over again after the restart, without a second
// record and without sending it late; the occurrence after it goes out.
// A day off the rule skips is recorded with its reason as well.
TEST_F(OutcomeRecorderTest, ASkipNextIsUsedOnceAcrossAStopBeforeTheListIsSaved) {
    const time_t tMonday = ValueOfTime(2027, 12, 13, 9, 0);
    CTaskList list;
    CTaskItem weekly = Task("weekly");
    weekly.m_bActive = 1;
    weekly.m_bSendOverdue = 1;
    weekly.m_nRecurrence = 3;
    weekly.m_nWeeklyInterval = 1;
    weekly.m_nEndKind = 0;
    weekly.m_bWeekDays[1] = 1;  // Monday
    weekly.m_dtStart = TaskTime::FromAbsolute(ValueOfTime(2027, 12, 6, 9, 0));
    weekly.m_dtLastSent = weekly.m_dtStart;
    weekly.m_dtNextSending = TaskTime::FromAbsolute(tMonday);
    list.Add(weekly);
    CTaskItem daily = weekly;  // every day; Sunday is no working day
    daily.m_strTaskName = "daily";
    daily.m_strTemplateFile = "/data/daily.oft";
    daily.m_nRecurrence = 2;
    daily.m_nDailyInterval = 1;
    daily.m_bSendOverdue = 0;
    daily.m_dtLastSent = TaskTime::FromAbsolute(ValueOfTime(2027, 12, 11, 9, 0));
    daily.m_dtNextSending = TaskTime::FromAbsolute(ValueOfTime(2027, 12, 12, 9, 0));
    list.Add(daily);
    m_history.SetSettings("weekly.oft", {{"rules", {{"skipNext", true}}}});
    m_history.SetSettings("daily.oft", {{"rules", {{"onHoliday", "skip"}}}});
    ASSERT_EQ(m_history.Save(list).Problem(), "");

    std::vector<std::string> vecSent;
    bool bSaveList = false;  // off: the host stops before the list is saved
    CTaskList saved = list;
    auto run = [&](CTaskHistoryFile& store, time_t tAt) {
        m_clock.Set(tAt);
        COutcomeRecorder recorder(COutcomeRecorder::CParts{&store, nullptr, &m_clock, [&] { return &list; }, "Host"});
        CSendContext ctx;
        ctx.fnTaskList = [&] { return &list; };
        ctx.fnSend = [&](const CTaskItem& t) {
            vecSent.push_back(t.m_strTaskName + " " + TaskTime::Format(t.m_dtNextSending));
            return true;
        };
        ctx.fnSave = [&](const CTaskList& l) {
            if (bSaveList) saved = l;
        };
        ctx.pClock = &m_clock;
        ctx.fnTickStart = [&] { recorder.OnTickStart(); };
        ctx.fnTickEnd = [&] { recorder.OnTickEnd(); };
        ctx.fnRulesOf = [&](const CTaskItem& t) { return recorder.RulesOf(t); };
        ctx.fnSkippedByRule = [&](const CTaskItem& t, const std::string& strReason, bool bUsed) {
            recorder.OnSkippedByRule(t, strReason, bUsed);
        };
        ctx.fnSkippedByRuleBefore = [&](const CTaskItem& t) { return recorder.SkippedByRuleBefore(t); };
        CSendEmailDlg(std::move(ctx)).OnTimer();
    };

    run(m_history, ValueOfTime(2027, 12, 12, 9, 0));  // Sunday: the daily task's day off
    run(m_history, tMonday);
    CTaskHistoryFile afterStop(m_dir / "history.json", m_clock);
    ASSERT_EQ(afterStop.Load().Problem(), "");
    EXPECT_EQ(afterStop.SettingsOf("weekly.oft"), nlohmann::json({{"rules", nlohmann::json::object()}}));
    ASSERT_EQ(afterStop.History().Of("weekly.oft").size(), 1u);
    EXPECT_EQ(afterStop.History().Last("weekly.oft")->ShortText(), "Skipped: the next occurrence was to be skipped");
    EXPECT_EQ(afterStop.History().Last("daily.oft")->ShortText(), "Skipped: not a working day");
    EXPECT_EQ(afterStop.History().Last("daily.oft")->strOccurrence, "2027-12-12 09:00");

    // Restarted from the files on disk, a few minutes late.
    list = saved;
    bSaveList = true;
    run(afterStop, tMonday + 300);
    EXPECT_EQ(vecSent, std::vector<std::string>{"daily 2027-12-13 09:00"}) << "sent before the stop";
    EXPECT_EQ(afterStop.History().Of("weekly.oft").size(), 1u) << "no second record";
    EXPECT_EQ(TaskTime::Format(list[0].m_dtNextSending), "2027-12-20 09:00");
    EXPECT_EQ(list[0].m_nOccurrenceCount, 0) << "a skip does not use up the count";
    run(afterStop, ValueOfTime(2027, 12, 20, 9, 0));
    EXPECT_EQ(vecSent.back(), "weekly 2027-12-20 09:00");
    EXPECT_EQ(list[0].m_nOccurrenceCount, 1);
}
