// Conversions between date groups and absolute time against the C library, in many zones and as TZ changes.
#include <cstdlib>
#include <ctime>
#include <random>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "CSchedule.h"
#include "CSeededRandom.h"
#include "CTaskCheck.h"
#include "CZoneHold.h"
#include "LibcTime.h"
#include "OffsetChanges.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

using namespace LibcTime;

class TaskTimeTest : public ::testing::TestWithParam<const char*> {
protected:
    CZoneGuard m_zone{GetParam()};
};

}  // namespace

// A group read back is at second 1 with its weekday; seconds are ignored, so comparisons are whole minutes; days past a
// month's end carry into the next; the end of a day is its second 59.
TEST_P(TaskTimeTest, GroupsReadBackAtSecondOneAndCarryTooLargeDays) {
    const auto back = [](TaskDateTime dt) { return TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(dt))); };
    EXPECT_EQ(back({2024, 7, 15, 0, 13, 45, 30}), (TaskDateTime{2024, 7, 15, 2, 13, 45, 1}));  // a Monday
    EXPECT_EQ(ValueOf(TaskTime::ToAbsolute(TaskDateTime{2022, 3, 3, 0, 8, 30, 0})),
              ValueOf(TaskTime::ToAbsolute(TaskDateTime{2022, 3, 3, 0, 8, 30, 59})));
    EXPECT_EQ(TaskTime::Format(back({2023, 4, 31, 0, 10, 0, 0})), "2023-05-01 10:00");
    EXPECT_EQ(TaskTime::Format(back({2023, 2, 30, 0, 10, 0, 0})), "2023-03-02 10:00");
    const time_t tEnd = ValueOf(TaskTime::EndOfDay(TaskDate{2024, 6, 10, 0}));
    const TaskDateTime dt = TaskTime::FromAbsolute(tEnd);
    EXPECT_EQ(std::tuple(dt.nDay, dt.nHour, dt.nMinute, dt.nSecond), std::tuple(10, 23, 59, 59));
    EXPECT_GT(ValueOf(TaskTime::ToAbsolute(2024, 6, 11, 0, 0)), tEnd);
    EXPECT_LT(ValueOf(TaskTime::ToAbsolute(2024, 6, 10, 23, 59)), tEnd);
}

// The kept zone rules must give exactly what mktime and localtime give, also for wall times inside a change (missing or
// repeated hours), whatever they remember from one conversion for the next: at random instants 1900..2100, every
// quarter hour of each day on which the offset changes, 1965..2040, and in random walks back and forth across every
// change with steps of every size the schedule takes (a minute to a month).
TEST_P(TaskTimeTest, ConversionsEqualTheCLibrary) {
    CSeededRandom rnd(std::hash<std::string>{}(GetParam()));
    std::uniform_int_distribution<time_t> anyTime(-2208988800 + 86400, 4102444800);
    for (int i = 0; i < 20000; ++i) {
        time_t t = anyTime(rnd.m_rng);
        if (i % 4 == 0) t = t - t % 1800 + (i % 3) * 60;  // near the half hours where changes happen
        ASSERT_NO_FATAL_FAILURE(ExpectBothWays(t));
    }
    int nChangeDays = 0;
    for (int y = 1965; y <= 2040; ++y) {
        for (int yd = 0; yd < 366; ++yd) {
            std::tm a{};
            a.tm_year = y - 1900;
            a.tm_mday = 1 + yd;
            a.tm_hour = 12;
            const time_t tNoon = timegm(&a);
            if (Local(tNoon - 2 * 86400).tm_gmtoff == Local(tNoon + 2 * 86400).tm_gmtoff) continue;
            ++nChangeDays;
            for (int q = -4 * 24; q < 8 * 24; ++q) {
                std::tm w = a;
                w.tm_hour = 0;
                w.tm_min = q * 15;
                timegm(&w);
                ASSERT_NO_FATAL_FAILURE(ExpectAbsolute(w.tm_year + 1900, w.tm_mon + 1, w.tm_mday, w.tm_hour, w.tm_min));
                ASSERT_NO_FATAL_FAILURE(ExpectBreakdown(
                    ValueOf(TaskTime::ToAbsolute(w.tm_year + 1900, w.tm_mon + 1, w.tm_mday, w.tm_hour, w.tm_min))));
            }
        }
    }
    // 1900 .. 2100, with room for a month's step either way.
    const time_t tFrom = -2208988800 + 45 * kDay, tTo = 4102444800 - 45 * kDay;
    std::vector<time_t> vecChanges = OffsetChanges(tFrom, tTo, 3 * kHour);
    if (std::string(GetParam()) != "UTC") {
        EXPECT_GT(nChangeDays, 0);
        ASSERT_GT(vecChanges.size(), 1u);
    }
    vecChanges.push_back(tFrom + 3 * kHour);
    const time_t kSteps[] = {60, 15 * 60, kHour, 90 * 60, kDay, 7 * kDay, 31 * kDay};
    for (int nWalk = 0; nWalk < 300; ++nWalk) {
        const size_t nAt = static_cast<size_t>(rnd.Int(0, static_cast<int>(vecChanges.size()) - 1));
        time_t t = vecChanges[nAt] - 3 * kHour + rnd.Int(0, 6 * 3600);
        for (int nStep = 0; nStep < 12; ++nStep) {
            ASSERT_NO_FATAL_FAILURE(ExpectBothWays(t));
            const time_t nSize = kSteps[rnd.Int(0, static_cast<int>(std::size(kSteps)) - 1)];
            const time_t nMove = rnd.Chance(70) ? nSize : -nSize;
            t += t + nMove < tFrom || t + nMove >= tTo ? -nMove : nMove;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, TaskTimeTest,
                         ::testing::Values("UTC", "America/New_York", "Europe/Berlin", "Australia/Lord_Howe",
                                           "Asia/Kathmandu", "Pacific/Apia"),
                         [](const auto& info) { return ZoneTestName(info.param); });

// TZ set anew between two calls is seen by the next call, whether or not tzset ran, and the answers remembered under
// the old zone are not given again, also when the old zone comes back; under a hold, once it ends.
TEST(TaskTimeZoneChangeTest, ZoneSetAnewIsSeenByTheNextCall) {
    CZoneGuard guard("Europe/Berlin");
    const char* const kZones[] = {"America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu", "UTC",
                                  "Europe/Berlin",    "America/New_York"};
    // The autumn change in Europe, a repeated hour in Berlin, a plain hour elsewhere.
    const time_t t = ValueOf(TaskTime::ToAbsolute(2024, 10, 27, 2, 30));
    for (const char* pszZone : kZones) {
        (void)TaskTime::FromAbsolute(t);  // leaves answers behind under the zone before
        (void)TaskTime::ToAbsolute(2024, 10, 27, 2, 30);
        setenv("TZ", pszZone, 1);  // no tzset: the conversions must notice on their own
        SCOPED_TRACE(pszZone);
        ExpectBreakdown(t);
        ExpectAbsolute(2024, 10, 27, 2, 30);
        ExpectBothWays(t + 5 * kDay);
    }
    setenv("TZ", "Europe/Berlin", 1);
    const time_t tSummer = ValueOf(TaskTime::ToAbsolute(2024, 7, 1, 12, 0));
    {
        const CZoneHold outer;
        {
            const CZoneHold inner;
            EXPECT_EQ(TaskTime::FromAbsolute(tSummer).nHour, 12);
        }
        setenv("TZ", "Asia/Kathmandu", 1);
    }
    ExpectBreakdown(tSummer);
    EXPECT_EQ(TaskTime::Format(TaskTime::FromAbsolute(tSummer)), "2024-07-01 15:45");
    ExpectAbsolute(2024, 7, 1, 12, 0);
}

// The schedule's computation reads the zone of the moment it runs. The day after 9 March 2024 at 02:30 is 03:30 in New
// York, whose clocks skip from 02:00 to 03:00 that night, and 02:30 elsewhere: the same task computed after each change
// of TZ gives the new zone's answer.
TEST(TaskTimeZoneChangeTest, ScheduleComputedAfterAZoneChangeUsesTheNewZone) {
    CZoneGuard guard("Europe/Berlin");
    CTaskItem task;
    task.m_bActive = 1;
    task.m_nRecurrence = CodeOf(ERecurrence::Daily);
    task.m_nDailyInterval = 1;
    task.m_nEndKind = CodeOf(EEndKind::NoEnd);
    task.m_dtStart = {2024, 3, 1, 6, 2, 30, 1};
    task.m_dtLastSent = {2024, 3, 9, 7, 2, 30, 1};
    for (const char* pszZone :
         {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Europe/Berlin", "America/New_York"}) {
        setenv("TZ", pszZone, 1);
        SCOPED_TRACE(pszZone);
        const CFixedClock clock(LibcAbsolute(2024, 3, 20, 12, 0));
        const CSchedule schedule(clock);
        CTaskItem t = task;
        ASSERT_TRUE(schedule.CalcNextSending(t).Ok());
        const std::tm expected = Local(LibcAbsolute(2024, 3, 10, 2, 30));
        EXPECT_EQ(std::tuple(t.m_dtNextSending.nDay, t.m_dtNextSending.nHour, t.m_dtNextSending.nMinute),
                  std::tuple(expected.tm_mday, expected.tm_hour, expected.tm_min));
        EXPECT_EQ(t.m_dtNextSending.nHour, std::string(pszZone) == "America/New_York" ? 3 : 2);
    }
}

TEST(TaskTime, OutOfRangeGroupsFailAsInvalidDateGroups) {
    const TaskDateTime bad[] = {
        {1899, 1, 1, 0, 0, 0, 0},  {2020, 13, 1, 0, 0, 0, 0},      {2020, 1, 32, 0, 0, 0, 0},
        {2020, 1, 1, 0, 24, 0, 0}, {2020, 1, 1, 0, 0, 60, 0},      {2020, 1, 1, 0, -1, 0, 0},
        {10000, 1, 1, 0, 0, 0, 0}, {2147483647, 1, 1, 0, 9, 0, 0}, {-2147483647 - 1, 1, 1, 0, 9, 0, 0},
    };
    for (const auto& dt : bad) {
        const auto rGroup = TaskTime::CheckGroup(dt);
        ASSERT_FALSE(rGroup.Ok());
        EXPECT_EQ(TaskTime::ToAbsolute(dt).Problem(), "invalid date group: " + rGroup.Problem());
    }
    EXPECT_TRUE(TaskTime::CheckGroup(TaskDateTime{2020, 2, 31, 0, 23, 59, 99}).Ok());
    EXPECT_TRUE(TaskTime::CheckGroup(TaskDateTime{9999, 12, 31, 0, 23, 59, 0}).Ok());
    EXPECT_EQ(TaskTime::CheckGroup(TaskDateTime{2147483647, 1, 1, 0, 9, 0, 0}).Problem(),
              "year 2147483647 is not 1900..9999");
    // The weekday of any stored year is a valid index, 1..7, never past its table.
    for (const int nYear : {2147483647, -2147483647 - 1, 0, 9999, 1900})
        for (const int nMonth : {1, 2, 3, 12}) {
            const int nWeekday = CTaskCheck::DayOfWeek(nYear, nMonth, 31);
            EXPECT_TRUE(nWeekday >= 1 && nWeekday <= 7) << nYear << "-" << nMonth << ": " << nWeekday;
        }
    EXPECT_EQ(CTaskCheck::DayOfWeek(2026, 12, 8), 3);  // a Tuesday
}

// The one reader of typed times: fields as typed, and where the clocks skip the time, the moment they jump to, as the
// scheduler sends it.
TEST(TaskTime, TypedTimesAreReadOnceTheSameWayInEveryZone) {
    const struct {
        const char* pszZone;
        const char* pszTyped;
        const char* pszSent;  // the local time it converts to; "" when refused
    } arrCases[] = {
        {"Europe/Berlin", "2027-03-28 02:30", "2027-03-28 03:30"},
        {"Europe/Berlin", "2027-03-28 01:59", "2027-03-28 01:59"},
        {"Europe/Berlin", "2027-10-31 02:30", "2027-10-31 02:30"},  // repeated: the first pass
        {"America/New_York", "2027-03-14 02:00", "2027-03-14 03:00"},
        {"Australia/Lord_Howe", "2027-10-03 02:10", "2027-10-03 02:40"},
        {"UTC", "2028-02-29 23:59", "2028-02-29 23:59"},
        {"UTC", "2027-02-29 10:00", ""},
        {"UTC", "2027-04-31 10:00", ""},
        {"UTC", "1899-12-31 10:00", ""},
        {"UTC", "2027-01-01 24:00", ""},
        {"UTC", "2027-01-01 9:00", ""},
        {"UTC", "2027-01-01T09:00", ""},
        {"UTC", "2027-01-01 09:00 ", ""},
        {"UTC", "+027-01-01 09:00", ""},
    };
    for (const auto& c : arrCases) {
        SCOPED_TRACE(std::string(c.pszZone) + " " + c.pszTyped);
        const CZoneGuard zone(c.pszZone);
        const auto r = TaskTime::ParseDateTime(c.pszTyped);
        if (!*c.pszSent) {
            EXPECT_FALSE(r.Ok());
            continue;
        }
        ASSERT_TRUE(r.Ok()) << r.Problem();
        EXPECT_EQ(TaskTime::Format(*r), c.pszTyped);
        EXPECT_EQ(r->nDayOfWeek, CTaskCheck::DayOfWeek(r->nYear, r->nMonth, r->nDay));
        const time_t t = ValueOf(TaskTime::ToAbsolute(r->nYear, r->nMonth, r->nDay, r->nHour, r->nMinute, 0));
        EXPECT_EQ(TaskTime::Format(TaskTime::FromAbsolute(t)), c.pszSent);
    }
    EXPECT_FALSE(TaskTime::ParseDate("2027-02-29").Ok());
    EXPECT_EQ(ValueOf(TaskTime::ParseDate("2026-12-08")).nDayOfWeek, 3);  // a Tuesday
}
