#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "CTaskCheck.h"
#include "ResultValue.h"
#include "SameBreakdown.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

// Runs the test body under several zones; the conversions must agree with
// the C library's view of each.
class TaskTimeTest : public ::testing::TestWithParam<const char*> {
protected:
    CZoneGuard m_zone{GetParam()};
};

// Every instant whose local wall time is the given one (second 1), oldest
// first: none in a gap, two in a repeated hour.
std::vector<time_t> LibcInstants(const std::tm& wall) {
    std::tm w = wall;
    w.tm_sec = 1;
    const time_t nAsUtc = timegm(&w);
    std::vector<time_t> vec;
    for (time_t probe : {nAsUtc - 86400, nAsUtc, nAsUtc + 86400}) {
        std::tm tm{};
        localtime_r(&probe, &tm);
        for (time_t d = -7200; d <= 7200; d += 1800) {
            const time_t u = nAsUtc - tm.tm_gmtoff + d;
            std::tm back{};
            localtime_r(&u, &back);
            if (back.tm_year == w.tm_year && back.tm_mon == w.tm_mon && back.tm_mday == w.tm_mday &&
                back.tm_hour == w.tm_hour && back.tm_min == w.tm_min && back.tm_sec == 1 &&
                std::find(vec.begin(), vec.end(), u) == vec.end())
                vec.push_back(u);
        }
    }
    std::sort(vec.begin(), vec.end());
    return vec;
}

// A wall time converts to its only instant, to the earlier one where an hour
// repeats, and moves forward by the gap where the clocks skip it.
void ExpectConversion(const std::tm& wall) {
    const time_t t =
        ValueOf(TaskTime::ToAbsolute(wall.tm_year + 1900, wall.tm_mon + 1, wall.tm_mday, wall.tm_hour, wall.tm_min));
    const auto vec = LibcInstants(wall);
    if (!vec.empty()) {
        ASSERT_EQ(t, vec.front()) << wall.tm_year + 1900 << "-" << wall.tm_mon + 1 << "-" << wall.tm_mday << " "
                                  << wall.tm_hour << ":" << wall.tm_min << " (" << vec.size() << " instants)";
        return;
    }
    std::tm w = wall, got{}, before{};
    w.tm_sec = 1;
    const time_t tEarlier = t - 6 * 3600;
    localtime_r(&t, &got);
    localtime_r(&tEarlier, &before);
    std::tm gotWall = got;
    ASSERT_EQ(timegm(&gotWall) - timegm(&w), got.tm_gmtoff - before.tm_gmtoff)
        << "gap at " << wall.tm_hour << ":" << wall.tm_min;
}

}  // namespace

TEST_P(TaskTimeTest, RoundTripUsesSecondOne) {
    TaskDateTime dt{2024, 7, 15, 0, 13, 45, 30};
    time_t t = ValueOf(TaskTime::ToAbsolute(dt));
    TaskDateTime back = TaskTime::FromAbsolute(t);
    EXPECT_EQ(back.nYear, 2024);
    EXPECT_EQ(back.nMonth, 7);
    EXPECT_EQ(back.nDay, 15);
    EXPECT_EQ(back.nDayOfWeek, 2);  // Monday
    EXPECT_EQ(back.nHour, 13);
    EXPECT_EQ(back.nMinute, 45);
    EXPECT_EQ(back.nSecond, 1);
}

TEST_P(TaskTimeTest, TooLargeDaysCarryIntoTheNextMonth) {
    TaskDateTime april31{2023, 4, 31, 0, 10, 0, 0};
    TaskDateTime back = TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(april31)));
    EXPECT_EQ(back.nMonth, 5);
    EXPECT_EQ(back.nDay, 1);
    TaskDateTime feb30{2023, 2, 30, 0, 10, 0, 0};
    back = TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(feb30)));
    EXPECT_EQ(back.nMonth, 3);
    EXPECT_EQ(back.nDay, 2);
}

TEST_P(TaskTimeTest, EndOfDayIsSecond59) {
    TaskDate d{2024, 6, 10, 0};
    time_t tEnd = ValueOf(TaskTime::EndOfDay(d));
    TaskDateTime dt = TaskTime::FromAbsolute(tEnd);
    EXPECT_EQ(dt.nHour, 23);
    EXPECT_EQ(dt.nMinute, 59);
    EXPECT_EQ(dt.nSecond, 59);
    EXPECT_GT(ValueOf(TaskTime::ToAbsolute(2024, 6, 11, 0, 0)), tEnd);
    EXPECT_LT(ValueOf(TaskTime::ToAbsolute(2024, 6, 10, 23, 59)), tEnd);
}

// The kept zone rules must give exactly what mktime and localtime give,
// also for wall times inside a change (missing or repeated hours).
TEST_P(TaskTimeTest, ConversionsEqualTheCLibrary) {
    std::mt19937_64 rng(std::hash<std::string>{}(GetParam()));
    std::uniform_int_distribution<time_t> anyTime(-2208988800 + 86400, 4102444800);  // 1900 .. 2100
    for (int i = 0; i < 20000; ++i) {
        time_t t = anyTime(rng);
        if (i % 4 == 0) t = t - t % 1800 + (i % 3) * 60;  // near the half hours where changes happen
        std::tm tmLibc{};
        ASSERT_TRUE(localtime_r(&t, &tmLibc));
        ASSERT_NO_FATAL_FAILURE(ExpectSameBreakdown(TaskTime::FromAbsolute(t), tmLibc, t));

        // Every wall time of the hours around t, gaps and repeats included.
        for (int nStep = -90; nStep <= 90; nStep += 15) {
            std::tm tmWall = tmLibc;
            tmWall.tm_min += nStep;
            tmWall.tm_sec = 0;
            timegm(&tmWall);  // normalise the fields only
            ExpectConversion(tmWall);
        }
    }
}

// Every quarter hour of each day on which the offset changes, 1965..2040.
TEST_P(TaskTimeTest, ChangeDaysConvertSoundly) {
    int nChangeDays = 0;
    for (int y = 1965; y <= 2040; ++y) {
        for (int yd = 0; yd < 366; ++yd) {
            std::tm a{};
            a.tm_year = y - 1900;
            a.tm_mday = 1 + yd;
            a.tm_hour = 12;
            const time_t tNoon = timegm(&a);
            std::tm lo{}, hi{};
            time_t tBefore = tNoon - 2 * 86400, tAfter = tNoon + 2 * 86400;
            localtime_r(&tBefore, &lo);
            localtime_r(&tAfter, &hi);
            if (lo.tm_gmtoff == hi.tm_gmtoff) continue;
            ++nChangeDays;
            for (int q = -4 * 24; q < 8 * 24; ++q) {
                std::tm w = a;
                w.tm_hour = 0;
                w.tm_min = q * 15;
                timegm(&w);
                ExpectConversion(w);
                if (HasFatalFailure()) return;
                const time_t t =
                    ValueOf(TaskTime::ToAbsolute(w.tm_year + 1900, w.tm_mon + 1, w.tm_mday, w.tm_hour, w.tm_min));
                std::tm back{};
                localtime_r(&t, &back);
                const TaskDateTime dt = TaskTime::FromAbsolute(t);
                ASSERT_EQ(dt.nHour, back.tm_hour);
                ASSERT_EQ(dt.nDay, back.tm_mday);
            }
        }
    }
    if (std::string(GetParam()) != "UTC") {
        EXPECT_GT(nChangeDays, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, TaskTimeTest,
                         ::testing::Values("UTC", "America/New_York", "Europe/Berlin", "Australia/Lord_Howe",
                                           "Asia/Kathmandu"));

TEST(TaskTime, OutOfRangeGroupsFailAsInvalidDateGroups) {
    const TaskDateTime bad[] = {
        {1899, 1, 1, 0, 0, 0, 0},  {2020, 13, 1, 0, 0, 0, 0},      {2020, 1, 32, 0, 0, 0, 0},
        {2020, 1, 1, 0, 24, 0, 0}, {2020, 1, 1, 0, 0, 60, 0},      {2020, 1, 1, 0, -1, 0, 0},
        {10000, 1, 1, 0, 0, 0, 0}, {2147483647, 1, 1, 0, 9, 0, 0}, {-2147483647 - 1, 1, 1, 0, 9, 0, 0},
    };
    for (const auto& dt : bad) {
        const auto rGroup = TaskTime::CheckGroup(dt);
        ASSERT_FALSE(rGroup.Ok());
        const auto r = TaskTime::ToAbsolute(dt);
        EXPECT_FALSE(r.Ok()) << TaskTime::Format(dt);
        EXPECT_EQ(r.Problem(), "invalid date group: " + rGroup.Problem());
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

// The one reader of typed times: fields as typed, and where the clocks skip
// the time, the moment they jump to, as the scheduler sends it.
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

TEST(TaskTime, SecondsAreIgnoredSoComparisonsAreWholeMinutes) {
    TaskDateTime a{2022, 3, 3, 0, 8, 30, 0};
    TaskDateTime b{2022, 3, 3, 0, 8, 30, 59};
    EXPECT_EQ(ValueOf(TaskTime::ToAbsolute(a)), ValueOf(TaskTime::ToAbsolute(b)));
}
