// The send scheduler's tick on an injected clock: which tasks it sends and
// skips, how it advances and saves, and that its cache never makes it
// differ from the plain tick, across edits, zone changes and clock jumps.
#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CSendEmailDlg.h"
#include "CTaskRulesBeside.h"
#include "CTaskRulesJson.h"
#include "CTaskZone.h"
#include "CTempDir.h"
#include "RandomEdit.h"
#include "ReferenceTick.h"
#include "ResultValue.h"
#include "TaskAt.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

// Times of the day all these tests run on go without their date.
std::string OnDay(const TaskDateTime& dt) {
    if (!dt.IsSet()) return "-";
    const std::string str = TaskTime::Format(dt);
    return str.rfind("2026-03-02 ", 0) == 0 ? str.substr(11) : str;
}

CTaskItem Minutely(const std::string& strName, TaskDateTime dtStart, int nEvery, bool bOverdue = true) {
    CTaskItem t;
    t.m_bActive = 1;
    t.m_strTaskName = strName;
    t.m_nRecurrence = 1;
    t.m_nMinuteInterval = nEvery;
    t.m_dtStart = dtStart;
    t.m_nEndKind = 0;
    t.m_bSendOverdue = bOverdue;
    t.m_dtNextSending = dtStart;
    return t;
}

CTaskItem Once(const std::string& strName, TaskDateTime dtStart, bool bOverdue = true) {
    CTaskItem t = Minutely(strName, dtStart, 1, bOverdue);
    t.m_nRecurrence = 0;
    return t;
}

// A scheduler over one list with its sends logged tick by tick ("a@10:00,
// b@10:00 | a@10:05", ticks that send nothing left out) and its saves counted.
class SchedulerTest : public ::testing::Test {
protected:
    SchedulerTest() : m_zone("UTC"), m_clock(0) { Restart(); }
    void Restart() {
        CSendContext ctx;
        ctx.fnTaskList = [this] { return m_bHaveList ? &m_list : nullptr; };
        ctx.fnSend = [this](const CTaskItem& t) {
            m_strTick += (m_strTick.empty() ? "" : ", ") + t.m_strTaskName + "@" + OnDay(t.m_dtNextSending);
            if (m_fnDuringSend) m_fnDuringSend(t);
            return m_fnCounts ? m_fnCounts(t) : true;
        };
        ctx.fnSave = [this](const CTaskList&) { ++m_nSaves; };
        ctx.fnWaitsForHost = [this](const CTaskItem& t) { return m_setWaitsForHost.count(t.m_strTaskName) != 0; };
        ctx.fnRulesOf = m_fnRulesOf;
        ctx.pClock = &m_clock;
        m_pDlg = std::make_unique<CSendEmailDlg>(ctx);
    }
    void SetNow(int h, int mi, int s = 0) { m_clock.Set(ValueOf(TaskTime::ToAbsolute(2026, 3, 2, h, mi, s))); }
    // n ticks, the clock moved on by nApart seconds after each.
    void Ticks(int n, int nApart = 0) {
        for (int i = 0; i < n; ++i) {
            m_strTick.clear();
            m_pDlg->OnTimer();
            if (!m_strTick.empty()) m_strLog += (m_strLog.empty() ? "" : " | ") + m_strTick;
            m_clock.Set(m_clock.Now() + nApart);
        }
    }
    // Each task's count, last and next time.
    std::vector<std::string> States() const {
        std::vector<std::string> vec;
        for (const CTaskItem& t : m_list)
            vec.push_back(std::to_string(t.m_nOccurrenceCount) + " " + OnDay(t.m_dtLastSent) + " " +
                          OnDay(t.m_dtNextSending));
        return vec;
    }

    CZoneGuard m_zone;
    CFixedClock m_clock;
    CTaskList m_list;
    bool m_bHaveList = true;
    std::string m_strLog, m_strTick;
    std::function<void(const CTaskItem&)> m_fnDuringSend;
    std::function<CSendVerdict(const CTaskItem&)> m_fnCounts;          // null: every send counts
    std::set<std::string> m_setWaitsForHost;                           // recorded as "not queued yet" before a restart
    std::function<CResult<CTaskRules>(const CTaskItem&)> m_fnRulesOf;  // null: no rules are kept
    int m_nSaves = 0;
    std::unique_ptr<CSendEmailDlg> m_pDlg;
};

TEST_F(SchedulerTest, SendsSkipsAndAdvancesEachOccurrenceOnceHoweverTheClockRuns) {
    CTaskItem bad = Once("bad", At(2026, 3, 2, 10, 0));
    bad.m_dtNextSending.nMonth = 13;
    CTaskItem badStart = Minutely("badstart", At(2026, 3, 2, 10, 0), 5);
    badStart.m_dtStart.nHour = 25;
    const TaskDateTime dt10 = At(2026, 3, 2, 10, 0);
    const time_t tTen = ValueOf(TaskTime::ToAbsolute(2026, 3, 2, 10, 0, 0));
    struct CStep {
        int h, mi, s, nTicks, nApart;
    };
    const struct {
        const char* pszName;
        std::vector<CTaskItem> vecTasks;
        std::vector<CStep> vecSteps;
        std::string strLog;
        int nSaves;
        std::vector<std::string> vecStates;  // "*": not looked at
        bool bNoList = false;
        std::set<std::string> setWaitsForHost = {};
        std::function<CSendVerdict(const CTaskItem&)> fnCounts = {};
        std::function<void(const CTaskItem&)> fnDuringSend = {};
    } cases[] = {
        // clang-format off
        {"sixty ticks in its minute", {Minutely("m", dt10, 5)}, {{10, 0, 0, 60, 1}}, "m@10:00", 1, {"1 10:00 10:05"}},
        {"an empty list", {}, {{9, 0, 0, 3, 0}}, "", 0, {}},
        {"the add-in has disconnected", {Once("o", dt10)}, {{10, 0, 0, 3, 0}}, "", 0, {"0 - 10:00"}, true},
        {"a broken task neither blocks others nor repeats; one that cannot advance completes",
         {bad, badStart, Once("good", dt10)}, {{10, 0, 0, 5, 0}}, "badstart@10:00, good@10:00", 1,
         {"*", "1 10:00 -", "1 10:00 -"}},
        {"one that waited for the host before a restart goes late; one that did not is skipped",
         {Once("waited", dt10, false), Once("overdue", dt10, false)}, {{10, 30, 0, 2, 0}}, "waited@10:00", 1,
         {"1 10:00 -", "1 10:00 -"}, false, {"waited"}},
        // Its attachments awaited, its send asks to be tried again later: at 10:04 and 10:08, sent at 10:12.
        {"tried again when its send says", {Once("waits", dt10, false)}, {{10, 0, 0, 900, 1}},
         "waits@10:00 | waits@10:00 | waits@10:00 | waits@10:00", 1, {"1 10:00 -"}, false, {},
         [&](const CTaskItem&) { return m_clock.Now() < tTen + 600 ? CSendVerdict(false, 240) : CSendVerdict(true); }},
        {"a list shortened during a send is not read past its end", {Once("a", dt10), Once("b", dt10), Once("c", dt10)},
         {{10, 0, 0, 2, 0}}, "a@10:00", 1, {"1 10:00 -"}, false, {}, nullptr, [&](const CTaskItem& t) {
             if (t.m_strTaskName == "a") m_list.RemoveAt(2), m_list.RemoveAt(1);
         }},
        // A nested event loop delivers another tick, which does nothing; a failed send is advanced all the same.
        {"a tick inside a tick, a send that throws", {Once("a", dt10), Once("b", dt10)}, {{10, 0, 0, 1, 0}},
         "a@10:00, b@10:00", 1, {"1 10:00 -", "1 10:00 -"}, false, {}, nullptr, [&](const CTaskItem& t) {
             EXPECT_TRUE(m_pDlg->IsBusy());
             m_pDlg->OnTimer();
             if (t.m_strTaskName == "a") throw std::runtime_error("host failed");
         }},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_list.RemoveAll();
        for (const CTaskItem& t : c.vecTasks) m_list.Add(t);
        m_bHaveList = !c.bNoList;
        m_setWaitsForHost = c.setWaitsForHost;
        m_fnCounts = c.fnCounts;
        m_fnDuringSend = c.fnDuringSend;
        m_strLog.clear();
        m_nSaves = 0;
        Restart();
        for (const CStep& step : c.vecSteps) {
            SetNow(step.h, step.mi, step.s);
            Ticks(step.nTicks, step.nApart);
        }
        EXPECT_EQ(m_strLog, c.strLog);
        EXPECT_EQ(m_nSaves, c.nSaves);
        EXPECT_FALSE(m_pDlg->IsBusy());
        std::vector<std::string> vecStates = States();
        for (size_t i = 0; i < vecStates.size() && i < c.vecStates.size(); ++i)
            if (c.vecStates[i] == "*") vecStates[i] = "*";
        EXPECT_EQ(vecStates, c.vecStates);
    }
}

// A message the host cannot store now (a full disk) does not count: its
// occurrence stays due, even for a task that does not send late, is tried
// again at each minute rather than each second, and goes out once, late,
// when the host takes it. One that can never be built moves on as before.
TEST_F(SchedulerTest, AnOccurrenceTheHostCannotStoreStaysDueAndIsTriedEachMinute) {
    m_list.Add(Minutely("every5", At(2026, 3, 2, 10, 0), 5, false));
    m_list.Add(Once("once", At(2026, 3, 2, 10, 0), false));
    m_list.Add(Once("broken", At(2026, 3, 2, 10, 0), false));
    bool bDiskFull = true;
    m_fnCounts = [&](const CTaskItem& t) { return t.m_strTaskName == "broken" || !bDiskFull; };
    SetNow(10, 0);
    Ticks(180, 1);
    EXPECT_EQ(m_strLog, "every5@10:00, once@10:00, broken@10:00 | every5@10:00, once@10:00 | every5@10:00, once@10:00");
    EXPECT_EQ(States(), (std::vector<std::string>{"0 - 10:00", "0 - 10:00", "1 10:00 -"}))
        << "still due; a message that cannot be built is not retried";

    bDiskFull = false;
    m_strLog.clear();
    Ticks(120, 1);
    EXPECT_EQ(m_strLog, "every5@10:00, once@10:00") << "late, once each; the next occurrence 10:05 is still ahead";
    EXPECT_EQ(States(), (std::vector<std::string>{"1 10:00 10:05", "1 10:00 -", "1 10:00 -"}));

    // Rescheduled while it waits: the new schedule decides.
    m_list.Add(Once("moved", At(2026, 3, 2, 10, 5), true));
    bDiskFull = true;
    Ticks(1);
    m_list.GetAt(3).m_dtNextSending = At(2026, 3, 2, 11, 0);
    bDiskFull = false;
    m_strLog.clear();
    SetNow(10, 6);
    Ticks(1);
    EXPECT_EQ(m_strLog, "every5@10:05") << "moved waits for 11:00";
}

// Rules that cannot be read leave the task on its plain schedule; the user
// is told when the reason is new, not at every tick.
TEST_F(SchedulerTest, ATaskWhoseRulesCannotBeReadIsSentAsWithoutThemAndToldOnceAReason) {
    std::string strWhy = "tasks.json: damaged";
    m_fnRulesOf = [&](const CTaskItem&) -> CResult<CTaskRules> { return CProblem(strWhy); };
    Restart();
    m_list.Add(Minutely("a", At(2026, 3, 2, 10, 0), 5));
    SetNow(10, 0);
    testing::internal::CaptureStderr();
    Ticks(6, 60);
    strWhy = "tasks.json: gone";
    Ticks(6, 60);
    const std::string strErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m_strLog, "a@10:00 | a@10:05 | a@10:10");
    const std::string strTold = "Quillory: task \"a\" is sent as if it had no rules, as its rules cannot be read: ";
    EXPECT_EQ(strErr, strTold + "tasks.json: damaged\n" + strTold + "tasks.json: gone\n");
}

// What the random edits of SchedulerDifferentialTest never do: another
// list's contents assigned at the same generation, and a change of zone;
// the cached times follow both to the next tick.
TEST_F(SchedulerTest, AnAssignedListAndAChangedZoneReachTheNextTick) {
    for (int i = 0; i < 6; ++i) m_list.Add(Once("t" + std::to_string(i), At(2026, 3, 2, 23, i)));
    SetNow(12, 5);
    Ticks(1);  // the cache is warm; nothing due
    CTaskList other;
    while (other.Generation() + 2 < m_list.Generation()) other.Add(Once("spare", At(2026, 3, 2, 23, 0)));
    other.RemoveAll();
    other.Add(Once("assigned", At(2026, 3, 2, 12, 5)));
    ASSERT_EQ(other.Generation(), m_list.Generation());
    m_list = other;
    Ticks(1);
    EXPECT_EQ(m_strLog, "assigned@12:05");

    m_strLog.clear();
    m_list.Add(Once("z", At(2026, 3, 2, 14, 0)));
    SetNow(13, 0);  // 13:00 UTC
    Ticks(1);
    EXPECT_EQ(m_strLog, "");
    CZoneGuard berlin("Europe/Berlin");  // 14:00 there is 13:00 UTC
    Ticks(1);
    EXPECT_EQ(m_strLog, "z@14:00");
}

// A holiday calendar saved anew while the host runs: the stored next time
// of a task whose rule moves days off to the working day before follows it
// at the next tick, there and back, is saved, goes out late when it moved
// to a time already passed, and no occurrence goes out twice. `quillory
// next` shows the same times from the list as stored before the host saved,
// and a restart places a time stored before a change again.
// Times are the task's own (its zone, or the machine's), on several machines.
TEST(SchedulerHolidayTest, AChangedCalendarPlacesTheStoredNextTimeAgain) {
    for (const char* pszMachine : {"UTC", "Europe/Berlin", "Australia/Lord_Howe"}) {
        for (const std::string strZone : {"", "America/New_York"}) {
            SCOPED_TRACE(std::string(pszMachine) + " / " + (strZone.empty() ? "machine" : strZone));
            const CZoneGuard zone(pszMachine);
            const CTempDir dir;
            const std::string strIcs = dir / "holidays.ics";
            // Each text another size, so that a change within the file system's tick still shows.
            auto calendar = [&](const char* pszDay, const char* pszUid) {
                CTempDir::WriteFile(strIcs, std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:") +
                                                pszUid + "\r\nDTSTART;VALUE=DATE:" + pszDay +
                                                "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
            };
            // The task's wall time "YYYY-MM-DD HH:MM" and the instant it is.
            auto instant = [&](const char* psz) {
                const TaskDateTime dt = ValueOf(TaskTime::ParseDateTime(psz));
                return strZone.empty() ? ValueOf(TaskTime::ToAbsolute(dt)) : ValueOf(CTaskZone::Absolute(strZone, dt));
            };
            auto wall = [&](const TaskDateTime& dtStored) {
                if (!dtStored.IsSet()) return std::string("none");
                const time_t t = ValueOf(TaskTime::ToAbsolute(dtStored));
                return TaskTime::Format(strZone.empty() ? TaskTime::FromAbsolute(t)
                                                        : ValueOf(CTaskZone::WallTime(strZone, t)));
            };
            CTaskRules rules;
            rules.eOnDayOff = CTaskRules::EOnDayOff::Before;
            rules.vecHolidayFiles = {strIcs};
            rules.strZone = strZone;
            // Fridays at 09:00 (the task's time), last sent on 10 December, next on the 17th.
            CTaskItem task = Minutely("t", ValueOf(TaskTime::ParseDateTime("2027-12-03 09:00")), 1);
            task.m_nRecurrence = static_cast<int32_t>(ERecurrence::Weekly);
            task.m_nWeeklyInterval = 1;
            std::fill(std::begin(task.m_bWeekDays), std::end(task.m_bWeekDays), 0);
            task.m_bWeekDays[5] = 1;  // Sunday first
            task.m_strTemplateFile = "/d/t.oft";
            task.m_nOccurrenceCount = 2;
            task.m_dtLastSent = TaskTime::FromAbsolute(instant("2027-12-10 09:00"));
            task.m_dtNextSending = TaskTime::FromAbsolute(instant("2027-12-17 09:00"));
            CTaskList list;
            list.Add(task);
            std::vector<std::string> vecSent;
            int nSaves = 0;
            CFixedClock clock(0);
            CSendContext ctx;
            ctx.fnTaskList = [&] { return &list; };
            ctx.fnSend = [&](const CTaskItem& t) {
                vecSent.push_back(wall(t.m_dtNextSending));
                return CSendVerdict(true);
            };
            ctx.fnSave = [&](const CTaskList&) { ++nSaves; };
            ctx.fnRulesOf = [&](const CTaskItem&) { return CResult<CTaskRules>(rules); };
            ctx.pClock = &clock;
            CSendEmailDlg dlg(ctx);
            // `quillory next` reads the rules from the store beside the list.
            CTempDir::WriteFile(
                dir / "tasks.json",
                R"({"version":2,"tasks":{"t.oft":{"id":"0123456789abcdef","history":[],"settings":{"rules":)" +
                    CTaskRulesJson::ToJson(rules).dump() + "}}}}");
            auto next = [&](const CTaskItem& t) {
                CTaskRulesBeside beside(dir / "emails.dat", nullptr);
                std::string str;
                for (const time_t tNext : ValueOf(beside.Next(t, 2)))
                    str += (str.empty() ? "" : ", ") + wall(TaskTime::FromAbsolute(tNext));
                return str;
            };

            const struct {
                const char* pszName;
                const char* pszHoliday;  // nullptr: the calendar is left as it is
                const char* pszUid;
                const char* pszNow;
                const char* pszNext;  // stored after the tick, in the task's time
                int nSaves;
                size_t nSent;
            } steps[] = {
                {"no holiday near", "20271229", "a", "2027-12-13 12:00", "2027-12-17 09:00", 0, 0},
                {"the 17th becomes a holiday", "20271217", "bb", "2027-12-13 12:01", "2027-12-16 09:00", 1, 0},
                {"and is one no more", "20271229", "ccc", "2027-12-14 08:00", "2027-12-17 09:00", 2, 0},
                {"again, when the 16th's 09:00 has passed: sent late", "20271217", "dddd", "2027-12-16 10:00",
                 "2027-12-24 09:00", 3, 1},
                {"no more on the 17th itself: not sent again", "20271229", "eeeee", "2027-12-17 09:00",
                 "2027-12-24 09:00", 3, 1},
                {"the next Friday as ever", nullptr, "", "2027-12-24 09:00", "2027-12-31 09:00", 4, 2},
            };
            for (const auto& step : steps) {
                SCOPED_TRACE(step.pszName);
                const CTaskItem stored = list[0];
                if (step.pszHoliday) calendar(step.pszHoliday, step.pszUid);
                clock.Set(instant(step.pszNow));
                // Before the host has placed it again, `next` already shows where it will go.
                const std::string strNextBefore = next(stored);
                const size_t nSentBefore = vecSent.size();
                for (int nTick = 0; nTick < 3; ++nTick) dlg.OnTimer();
                EXPECT_EQ(wall(list[0].m_dtNextSending), step.pszNext);
                EXPECT_EQ(nSaves, step.nSaves);
                EXPECT_EQ(vecSent.size(), step.nSent);
                EXPECT_EQ(next(list[0]).substr(0, 16), step.pszNext);
                if (vecSent.size() == nSentBefore) {
                    EXPECT_EQ(strNextBefore, next(list[0]));
                }
            }
            // A restart after the save failed: the file still holds the time
            // placed before the calendar changed, and the first tick places it again.
            calendar("20271231", "ffffff");
            clock.Set(instant("2027-12-27 12:00"));
            CSendEmailDlg restarted(ctx);
            restarted.OnTimer();
            EXPECT_EQ(wall(list[0].m_dtNextSending), "2027-12-30 09:00");
            EXPECT_EQ(vecSent, (std::vector<std::string>{"2027-12-16 09:00", "2027-12-24 09:00"}));
            EXPECT_EQ(wall(list[0].m_dtLastSent), "2027-12-24 09:00");
            EXPECT_EQ(list[0].m_nOccurrenceCount, 4);
        }
    }
}

// The timer starts at one second and stops; the ticks it delivers fall
// just after whole seconds, so the first tick of a minute is not up to a
// second late.
TEST(CSendEmailDlgTimer, RunsOnceASecondJustPastEachWholeSecond) {
    int argc = 1;
    char szName[] = "scheduler_tests";
    char* argv[] = {szName, nullptr};
    QCoreApplication app(argc, argv);
    std::vector<int64_t> vecTicks;
    CSendContext ctx;
    ctx.fnTaskList = [&]() -> CTaskList* {
        vecTicks.push_back(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());
        if (vecTicks.size() == 2) QCoreApplication::quit();
        return nullptr;
    };
    CSendEmailDlg dlg(ctx);
    EXPECT_FALSE(dlg.IsTimerRunning());
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_TRUE(dlg.IsTimerRunning());
    EXPECT_EQ(dlg.TimerInterval(), 1000);
    QTimer::singleShot(5000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    ASSERT_EQ(vecTicks.size(), 2u);
    for (const int64_t nTick : vecTicks) {
        // A loaded machine may run the event loop late, never early.
        EXPECT_GE(nTick % 1000, CSendEmailDlg::kTickLateMs);
        EXPECT_LT(nTick % 1000, 250) << "ms into the second";
    }
    EXPECT_NEAR(static_cast<double>(vecTicks[1] - vecTicks[0]), 1000.0, 250.0);
    dlg.OnDestroy();
    EXPECT_FALSE(dlg.IsTimerRunning());
}

// Aimed 15 ms past each whole second of the wall clock, whenever asked.
TEST(CSendEmailDlgTimer, TheNextTickIsJustPastTheNextWholeSecond) {
    constexpr int64_t kSecond = 1796634000000;  // a whole second, in ms
    const struct {
        int64_t nNowMs;
        int nExpected;
    } rows[] = {
        {kSecond, 15},        {kSecond + 14, 1},   {kSecond + 15, 1000},  {kSecond + 16, 999},
        {kSecond + 500, 515}, {kSecond + 999, 16}, {kSecond - 60000, 15},  // a whole minute
    };
    for (const auto& row : rows)
        EXPECT_EQ(CSendEmailDlg::DelayToNextTick(row.nNowMs), row.nExpected) << row.nNowMs - kSecond;
}

// Random lists, random edits and a clock that walks, jumps back and leaps
// forward: the cached scheduler and the plain tick must agree on every
// send, every save and every field of every task.
class SchedulerDifferentialTest : public ::testing::TestWithParam<const char*> {};

CTaskItem RandomTask(std::mt19937& rng, time_t tBase, int n) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const TaskDateTime dtStart = TaskTime::FromAbsolute(tBase + pick(-3000, 3000) * 60);
    CTaskItem t = Minutely("t" + std::to_string(n), dtStart, pick(1, 90), pick(0, 1) == 1);
    t.m_nRecurrence = pick(0, 3);
    t.m_nDailyMode = pick(0, 1);
    t.m_nDailyInterval = pick(1, 3);
    t.m_nDailyDayKind = pick(0, 4);
    t.m_nWeeklyInterval = pick(1, 2);
    for (int& b : t.m_bWeekDays) b = pick(0, 1);
    t.m_bWeekDays[pick(0, 6)] = 1;
    t.m_nEndKind = pick(0, 1);
    t.m_nEndAfterCount = pick(1, 6);
    t.m_bActive = pick(0, 5) != 0;
    return t;
}

TEST_P(SchedulerDifferentialTest, CachedTickEqualsThePlainTick) {
    CZoneGuard zone(GetParam());
    std::mt19937 rng(20260302);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const time_t tBase = ValueOf(TaskTime::ToAbsolute(2026, 3, 29, 1, 30));  // near a spring change in Europe
    CFixedClock clock(tBase);
    CSchedule schedule(clock);

    CTaskList cached, plain;
    for (int i = 0; i < 200; ++i) {
        CTaskItem t = RandomTask(rng, tBase, i);
        EXPECT_EQ(schedule.CalcNextSending(t).Problem(), "");
        cached.Add(t);
        plain.Add(t);
    }
    std::vector<std::string> vecCached, vecPlain;
    int nSavesCached = 0, nSavesPlain = 0;
    CSendContext ctx;
    ctx.fnTaskList = [&] { return &cached; };
    ctx.fnSend = [&](const CTaskItem& t) {
        vecCached.push_back(t.m_strTaskName + TaskTime::Format(t.m_dtNextSending));
        return true;
    };
    ctx.fnSave = [&](const CTaskList&) { ++nSavesCached; };
    ctx.pClock = &clock;
    CSendEmailDlg dlg(ctx);
    auto fnSendPlain = [&](const CTaskItem& t) {
        vecPlain.push_back(t.m_strTaskName + TaskTime::Format(t.m_dtNextSending));
    };
    auto fnSavePlain = [&](const CTaskList&) { ++nSavesPlain; };

    time_t tNow = tBase;
    for (int nStep = 0; nStep < 3000; ++nStep) {
        const int r = pick(0, 99);
        if (r < 70) tNow += pick(1, 40);            // time runs
        else if (r < 80) tNow += pick(60, 7200);    // sleep, wake
        else if (r < 85) tNow -= pick(60, 3600);    // clock set back
        else if (r < 95 && cached.GetSize() > 0) {  // the user edits, sometimes several times
            for (int nEdits = pick(0, 3) == 0 ? pick(2, 6) : 1; nEdits > 0 && cached.GetSize() > 0; --nEdits)
                RandomEdit(
                    cached, pick, 8,
                    [&](int i) {
                        CTaskItem t = RandomTask(rng, tNow, (i < 0 ? 2000 : 1000) + nStep);
                        EXPECT_EQ(schedule.CalcNextSending(t).Problem(), "");
                        return t;
                    },
                    [&](int i, int nKind) {
                        if (nKind == 5) {
                            cached.GetAt(i).m_bActive ^= 1;
                        } else if (nKind == 6) {  // rescheduled by hand to a minute around now
                            cached.GetAt(i).m_dtNextSending = TaskTime::FromAbsolute(tNow + pick(-120, 120) * 60);
                        } else if (pick(0, 9) == 0) {  // more changes than the journal keeps
                            for (size_t k = 0; k < 2 * CTaskList::kJournalKept + 1; ++k) cached.GetAt(i);
                            cached.GetAt(i).m_bActive ^= 1;
                        }
                    });
            plain = cached;  // the same edits: the plain tick keeps nothing of its own
        }
        clock.Set(tNow);
        dlg.OnTimer();
        ReferenceTick(plain, schedule, fnSendPlain, fnSavePlain);
        ASSERT_EQ(vecCached, vecPlain) << "step " << nStep;
        ASSERT_EQ(nSavesCached, nSavesPlain) << "step " << nStep;
        ASSERT_TRUE(cached == plain) << "step " << nStep;
    }
    EXPECT_GT(vecPlain.size(), 200u) << "the walk must actually send";
}

INSTANTIATE_TEST_SUITE_P(Zones, SchedulerDifferentialTest,
                         ::testing::Values("UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe"),
                         [](const auto& info) { return ZoneTestName(info.param); });

}  // namespace
