// The shipped catch-up jumps over whole turns of a schedule (calendar days, or minutes); it must land on exactly what
// the one-occurrence-at-a-time loop gives, for every type, at changes of offset and at the end conditions.
#include <random>
#include <tuple>

#include <gtest/gtest.h>

#include "CSchedule.h"
#include "CSeededRandom.h"
#include "OffsetChanges.h"
#include "RandomCases.h"
#include "ReferenceCatchUp.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

class CRandomTask : public CSeededRandom {
public:
    using CSeededRandom::CSeededRandom;

    // Each field drawn from its range, in order.
    void Draw(std::initializer_list<std::tuple<int32_t*, int, int>> fields) {
        for (const auto& [p, lo, hi] : fields) *p = Int(lo, hi);
    }

    // A task whose catch-up from its start to tPresent takes a bounded number of turns for the reference loop.
    CTaskItem Make(time_t tPresent) {
        CTaskItem t;
        t.m_bActive = 1;
        t.m_nRecurrence = Int(0, 5);
        time_t nTurn = 0;  // rough length of one occurrence, to bound the span
        switch (t.m_nRecurrence) {
            case 1:
                t.m_nMinuteInterval = Chance(50) ? Int(1, 30) : Int(31, 5000);
                nTurn = t.m_nMinuteInterval * 60;
                break;
            case 2:
                Draw({{&t.m_nDailyMode, 0, 1}});
                t.m_nDailyInterval = Chance(60) ? Int(1, 3) : Int(4, 60);
                Draw({{&t.m_nDailyDayKind, 0, 4}});
                nTurn = (t.m_nDailyMode == 0 ? t.m_nDailyInterval : 1) * 86400;
                break;
            case 3:
                Draw({{&t.m_nWeeklyMode, 0, 1}, {&t.m_nWeeklyInterval, 1, 5}, {&t.m_nWeeklyWeekOfMonth, 0, 2}});
                for (auto& b : t.m_bWeekDays) b = Chance(40) ? 1 : 0;
                nTurn = 86400;
                break;
            case 4:
                Draw({{&t.m_nMonthlyMode, 0, 1},
                      {&t.m_nMonthlyDay, 1, 31},
                      {&t.m_nMonthlyInterval, 1, 12},
                      {&t.m_nMonthlyOrdinal, 0, 4},
                      {&t.m_nMonthlyDayKind, 0, 11},
                      {&t.m_nMonthlyInterval2, 1, 12}});
                nTurn = 28 * 86400;
                break;
            case 5:
                Draw({{&t.m_nYearlyMode, 0, 1},
                      {&t.m_nYearlyMonth, 0, 11},
                      {&t.m_nYearlyDay, 1, 31},
                      {&t.m_nYearlyOrdinal, 0, 4},
                      {&t.m_nYearlyDayKind, 0, 11},
                      {&t.m_nYearlyMonth2, 0, 11}});
                nTurn = 365 * 86400;
                break;
            default: nTurn = 86400;
        }
        const time_t nSpan = std::min<time_t>(nTurn * Int(1, 4000), 40LL * 365 * 86400);
        const time_t tStart = tPresent - std::uniform_int_distribution<time_t>(-nSpan / 20, nSpan)(m_rng);
        t.m_dtStart = TaskTime::FromAbsolute(tStart);
        if (Chance(30)) t.m_dtStart.nMinute = Int(0, 1) * 30;  // the half hours that changes favour
        if (Chance(20)) t.m_dtStart.nHour = Int(0, 3);
        t.m_nEndKind = Int(0, 2);
        t.m_nEndAfterCount = Int(1, 20);
        t.m_nOccurrenceCount = Int(0, 25);
        const TaskDateTime dtEnd =
            TaskTime::FromAbsolute(tStart + std::uniform_int_distribution<time_t>(-86400, nSpan + nSpan / 5)(m_rng));
        t.m_dtEnd = TaskDate{dtEnd.nYear, dtEnd.nMonth, dtEnd.nDay, dtEnd.nDayOfWeek};
        return t;
    }
};

// Whether the shipped jump lands where the loop lands for the task at the present; a failure that describes both when
// it does not.
bool JumpEqualsLoop(const CTaskItem& task, time_t tPresent) {
    CFixedClock clock(tPresent);
    CSchedule s(clock);
    CTaskItem expected = task, again = task, actual = task;
    EXPECT_EQ(ReferenceAdvance(s, clock, expected).Problem(), "");
    EXPECT_EQ(ReferenceAdvance(s, clock, again).Problem(), "");
    EXPECT_TRUE(again.m_dtLastSent == expected.m_dtLastSent) << "reference not repeatable";
    EXPECT_EQ(s.AdvancePastNow(actual).Problem(), "");
    if (expected.m_dtLastSent == actual.m_dtLastSent && expected.m_dtNextSending == actual.m_dtNextSending) return true;
    ADD_FAILURE() << "type " << task.m_nRecurrence << " start " << TaskTime::Format(task.m_dtStart) << " minutes "
                  << task.m_nMinuteInterval << " end kind " << task.m_nEndKind << " end " << task.m_dtEnd.nYear << "-"
                  << task.m_dtEnd.nMonth << "-" << task.m_dtEnd.nDay << " present "
                  << TaskTime::Format(TaskTime::FromAbsolute(tPresent)) << ": loop last "
                  << TaskTime::Format(expected.m_dtLastSent) << " next " << TaskTime::Format(expected.m_dtNextSending)
                  << ", jump last " << TaskTime::Format(actual.m_dtLastSent) << " next "
                  << TaskTime::Format(actual.m_dtNextSending);
    return false;
}

class CatchUpDifferentialTest : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(CatchUpDifferentialTest, JumpsLandWhereTheLoopLands) {
    CZoneGuard zone(GetParam());
    // Instants at which the zone's offset changes, 1975..2040, to put tasks near.
    const std::vector<time_t> vecChanges = OffsetChanges(ValueOf(TaskTime::ToAbsolute(1975, 1, 1, 0, 0)),
                                                         ValueOf(TaskTime::ToAbsolute(2040, 1, 1, 0, 0)), 3600);
    CRandomTask gen(std::hash<std::string>{}(GetParam()));
    const auto anyChange = [&] {
        return vecChanges[static_cast<size_t>(gen.Int(0, static_cast<int>(vecChanges.size()) - 1))];
    };
    int nDiffs = 0;
    for (int i = 0; i < RandomCases(4000) && nDiffs < 5; ++i) {
        // The present: anywhere in 1980..2035, or just around a change.
        time_t tPresent = std::uniform_int_distribution<time_t>(315532800, 2051222400)(gen.m_rng);
        if (!vecChanges.empty() && gen.Chance(50)) tPresent = anyChange() + gen.Int(-3 * 86400, 3 * 86400);
        nDiffs += !JumpEqualsLoop(gen.Make(tPresent), tPresent);
    }
    // Intervals just over an hour step through a repeated hour one by one; the jump must stop before such an hour and
    // land where the loop lands.
    for (int i = 0; i < RandomCases(1500) && nDiffs < 5 && !vecChanges.empty(); ++i) {
        const time_t tChange = anyChange(), tPresent = tChange + gen.Int(-2 * 86400, 3 * 86400);
        CTaskItem task;
        task.m_bActive = 1;
        task.m_nRecurrence = 1;
        task.m_nMinuteInterval = gen.Int(61, 119);
        task.m_nEndKind = gen.Int(0, 2);
        task.m_nEndAfterCount = gen.Int(1, 200);
        task.m_dtStart = TaskTime::FromAbsolute(tChange - gen.Int(0, 4 * 86400));
        const TaskDateTime dtEnd = TaskTime::FromAbsolute(tChange + gen.Int(-86400, 4 * 86400));
        task.m_dtEnd = TaskDate{dtEnd.nYear, dtEnd.nMonth, dtEnd.nDay, dtEnd.nDayOfWeek};
        nDiffs += !JumpEqualsLoop(task, tPresent);
    }
    EXPECT_EQ(nDiffs, 0);
}

INSTANTIATE_TEST_SUITE_P(Zones, CatchUpDifferentialTest,
                         ::testing::Values("UTC", "America/New_York", "Europe/Berlin", "Australia/Lord_Howe",
                                           "Australia/Sydney", "America/Santiago", "Asia/Kathmandu"));
