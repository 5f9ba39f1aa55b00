// A task whose rule is read in a zone of its own, on a machine in another, against the C library with TZ set to each
// zone in turn.
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "CSchedule.h"
#include "CTaskZone.h"
#include "CZoneHold.h"
#include "CZoneRules.h"
#include "Contains.h"
#include "LibcTime.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

using namespace LibcTime;

// The C library's breakdown of t in a zone, TZ put back afterwards.
std::tm LocalIn(const char* pszZone, time_t t) {
    const CZoneGuard tz(pszZone);
    return Local(t);
}

// The instant the schedule sees for the kept next sending time.
time_t NextInstant(const std::string& strZone, CTaskItem& task) {
    time_t t = 0;
    const auto r = CTaskZone::Run(strZone, task, [&](CTaskItem& dt) -> CResult<> {
        QUILLORY_TRY_VALUE(t, TaskTime::ToAbsolute(dt.m_dtNextSending));
        return {};
    });
    EXPECT_TRUE(r) << r.Problem();
    return t;
}

// Daily at a time of day in the task's zone, stepped for nDays from the start; the days on which the machine's time of
// day differs from the usual one are counted, where the two places' changes are not in step.
TEST(TaskZoneTest, DailyTaskKeepsItsZonesTimeAcrossBothPlacesChanges) {
    const struct {
        const char *pszMachine, *pszZone;
        int nHour, nMinute;
        int y, mo, d, nDays;
        int nUsualHour, nUsualMinute, nOtherDays;  // the machine's usual time, and on how many days it is another
    } cases[] = {
        // New York changes on 14 March and 7 November, Berlin on 28 March and 31 October.
        {"Europe/Berlin", "America/New_York", 9, 0, 2027, 3, 1, 280, 15, 0, 14 + 7},
        // 21:30 and 20:30 New York on 30 October are 02:30 Berlin, the second and the first of its two.
        {"Europe/Berlin", "America/New_York", 21, 30, 2027, 10, 20, 20, 3, 30, 8},
        {"Europe/Berlin", "America/New_York", 20, 30, 2027, 10, 20, 20, 2, 30, 7},
        // The other way round, a half-hour change against a zone without any, and changes at midnight against a zone
        // thirteen hours east of UTC.
        {"America/New_York", "Europe/Berlin", 3, 30, 2027, 3, 1, 280, 21, 30, 14 + 7},
        {"Australia/Lord_Howe", "Asia/Kolkata", 9, 0, 2027, 3, 20, 220, 14, 0, 15 + 23},
        {"America/Santiago", "Pacific/Apia", 8, 15, 2027, 1, 1, 400, 16, 15, 154},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszZone) + " on a machine in " + c.pszMachine + " at " + std::to_string(c.nHour) +
                     ":" + std::to_string(c.nMinute));
        const CZoneGuard machine(c.pszMachine);
        CFixedClock clock(0);
        const CSchedule schedule(clock);
        CTaskItem task;
        task.m_bActive = 1;
        task.m_nRecurrence = CodeOf(ERecurrence::Daily);
        task.m_nDailyInterval = 1;
        task.m_nEndKind = CodeOf(EEndKind::NoEnd);
        task.m_dtStart = {c.y, c.mo, c.d, 0, c.nHour, c.nMinute, 0};  // the zone's wall time
        const auto calc = [&](CTaskItem& t) { return schedule.CalcNextSending(t); };
        ASSERT_EQ(CTaskZone::Run(c.pszZone, task, calc).Problem(), "");
        int64_t nDay = TaskTime::DayNumber(c.y, c.mo, c.d);
        int nOtherDays = 0;
        for (int i = 0; i < c.nDays; ++i, ++nDay) {
            const time_t t = NextInstant(c.pszZone, task);
            const std::tm inZone = LocalIn(c.pszZone, t), here = Local(t);
            const TaskDateTime want = TaskTime::DateOfDay(nDay);
            ASSERT_EQ(std::vector<int>(
                          {inZone.tm_year + 1900, inZone.tm_mon + 1, inZone.tm_mday, inZone.tm_hour, inZone.tm_min}),
                      std::vector<int>({want.nYear, want.nMonth, want.nDay, c.nHour, c.nMinute}))
                << "day " << i << ", kept " << TaskTime::Format(task.m_dtNextSending);
            ExpectSameBreakdown(task.m_dtNextSending, here, t);
            nOtherDays += here.tm_hour != c.nUsualHour || here.tm_min != c.nUsualMinute;
            clock.Set(t);
            ASSERT_EQ(ValueOf(CTaskZone::Run(c.pszZone, task, [&](CTaskItem& dt) { return schedule.Advance(dt); })),
                      CSchedule::EAdvance::kMoved);
            ExpectSameBreakdown(task.m_dtLastSent, here, t);
        }
        EXPECT_EQ(nOtherDays, c.nOtherDays);
    }
}

// A computation that leaves the kept times alone gets them back exactly, also a time the machine's clocks skip (never
// written by the machine, but a list may hold one) or repeat; the zone's wall time is what it sees.
TEST(TaskZoneTest, KeptTimesComeBackExactlyAndTheComputationSeesTheZone) {
    const CZoneGuard machine("Europe/Berlin");
    const struct {
        const char* pszName;
        TaskDateTime dtNext, dtLast;
        TaskDateTime dtSeen;  // the next sending time as the computation sees it, in New York
    } cases[] = {
        {"skipped here", {2027, 3, 28, 1, 2, 30, 0}, {}, {2027, 3, 27, 7, 21, 30, 1}},
        {"repeated here", {2027, 10, 31, 1, 2, 30, 0}, {2027, 10, 30, 7, 2, 30, 1}, {2027, 10, 30, 7, 20, 30, 1}},
        {"plain", {2027, 6, 1, 3, 15, 0, 1}, {2027, 5, 31, 2, 15, 0, 1}, {2027, 6, 1, 3, 9, 0, 1}},
        {"nothing kept", {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CTaskItem task;
        task.m_nRecurrence = CodeOf(ERecurrence::Daily);
        task.m_dtNextSending = c.dtNext;
        task.m_dtLastSent = c.dtLast;
        const CTaskItem before = task;
        TaskDateTime dtSeen;
        ASSERT_TRUE(CTaskZone::Run("America/New_York", task, [&](CTaskItem& t) -> CResult<> {
            dtSeen = t.m_dtNextSending;
            return {};
        }));
        EXPECT_EQ(dtSeen, c.dtSeen) << TaskTime::Format(dtSeen);
        EXPECT_EQ(task, before);
        // A problem of the computation still brings the times back.
        const auto broken = [](CTaskItem&) -> CResult<> { return CProblem("broken"); };
        EXPECT_EQ(CTaskZone::Run("America/New_York", task, broken).Problem(), "broken");
        EXPECT_EQ(task, before);
    }
    // A zone that cannot be read is the problem, and the task stays as it was.
    CTaskItem task;
    task.m_dtNextSending = {2027, 6, 1, 3, 15, 0, 1};
    const CTaskItem before = task;
    bool bRan = false;
    const auto r = CTaskZone::Run("Mars/Olympus_Mons", task, [&](CTaskItem&) -> CResult<> {
        bRan = true;
        return {};
    });
    EXPECT_TRUE(Contains(r.Problem(), "Mars/Olympus_Mons"));
    EXPECT_FALSE(bRan);
    EXPECT_EQ(task, before);
}

// "09:00 New York = 14:00 here", both ways; holds of two zones nested and alternating never give back what was
// remembered under the other; past the years a named zone is kept for, a problem rather than the machine's answer.
TEST(TaskZoneTest, ZonesNestAndRefuseWhatTheyDoNotCover) {
    const CZoneGuard machine("Europe/Berlin");
    const time_t tNineNewYork = ValueOf(CTaskZone::Absolute("America/New_York", {2027, 3, 15, 2, 9, 0, 0}));
    EXPECT_EQ(tNineNewYork, 1805115601);  // 2027-03-15 13:00:01 UTC
    EXPECT_EQ(TaskTime::Format(ValueOf(CTaskZone::WallTime("", tNineNewYork))), "2027-03-15 14:00");
    CZoneRules& newYork = *ValueOf(CZoneRules::Named("America/New_York"));
    CZoneRules& kolkata = *ValueOf(CZoneRules::Named("Asia/Kolkata"));
    EXPECT_EQ(ValueOf(CZoneRules::Named("America/New_York")), &newYork);  // read once
    for (int i = 0; i < 2; ++i) {
        const CZoneHold outer(newYork);
        EXPECT_EQ(ValueOf(TaskTime::ToAbsolute(2027, 3, 15, 9, 0)), tNineNewYork);
        {
            const CZoneHold inner(kolkata);
            EXPECT_EQ(ValueOf(TaskTime::ToAbsolute(2027, 3, 15, 9, 0)), tNineNewYork - 9 * 3600 - 1800);
            const CZoneHold keeps;  // a hold of the current zone keeps the named one
            EXPECT_EQ(TaskTime::FromAbsolute(tNineNewYork).nMinute, 30);
            const CZoneHold here(CZoneRules::Machine());
            EXPECT_EQ(TaskTime::FromAbsolute(tNineNewYork).nHour, 14);
        }
        EXPECT_EQ(TaskTime::FromAbsolute(tNineNewYork).nHour, 9);
        EXPECT_TRUE(Contains(TaskTime::ToAbsolute(2600, 1, 1, 9, 0).Problem(), "America/New_York"));
        EXPECT_EQ(TaskTime::FromAbsolute(20000000000).nHour, -1);  // year 2603
    }
    EXPECT_TRUE(TaskTime::ToAbsolute(2600, 1, 1, 9, 0));  // the machine's zone: the C library decides
}

}  // namespace
