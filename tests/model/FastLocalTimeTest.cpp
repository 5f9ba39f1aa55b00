// The conversions between date groups and absolute time remember zone
// stretches and recent answers. Whatever they remember, each answer must be
// the C library's own: walks of instants that go back and forth across the
// changes of offset (gaps and repeated hours) in several zones, and TZ set
// anew between calls, inside and after computations of the schedule.
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CSchedule.h"
#include "CSeededRandom.h"
#include "CZoneHold.h"
#include "OffsetChanges.h"
#include "ResultValue.h"
#include "SameBreakdown.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

constexpr time_t kHour = 3600;
constexpr time_t kDay = 86400;

// The C library's breakdown under the TZ of the moment (localtime_r alone
// does not look at TZ again).
std::tm Local(time_t t) {
    tzset();
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

bool SameWall(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour &&
           a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// What the C library says a wall time (second 1) is: with exactly one
// instant, mktime's answer; where the hour repeats, the earlier instant;
// where the clocks skip it, the wall time read with the offset in force
// before the change, which lands the gap's length later on the clock.
time_t LibcAbsolute(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
    std::tm wall{};
    wall.tm_year = nYear - 1900, wall.tm_mon = nMonth - 1, wall.tm_mday = nDay;
    wall.tm_hour = nHour, wall.tm_min = nMinute, wall.tm_sec = 1;
    std::tm asUtc = wall;
    const time_t nWall = timegm(&asUtc);  // the fields counted as UTC; normalises them too
    std::vector<long> vecOffsets;
    for (time_t d = -26 * kHour; d <= 26 * kHour; d += kHour) {
        const long nOff = Local(nWall + d).tm_gmtoff;
        if (std::find(vecOffsets.begin(), vecOffsets.end(), nOff) == vecOffsets.end()) vecOffsets.push_back(nOff);
    }
    std::vector<time_t> vecInstants;
    for (long nOff : vecOffsets)
        if (SameWall(Local(nWall - nOff), asUtc)) vecInstants.push_back(nWall - nOff);
    if (vecInstants.size() == 1) {
        std::tm tm = wall;
        tm.tm_isdst = -1;
        return mktime(&tm);
    }
    if (!vecInstants.empty()) return *std::min_element(vecInstants.begin(), vecInstants.end());
    // In a gap: the offset before the change is the one a day earlier.
    return nWall - Local(nWall - *std::max_element(vecOffsets.begin(), vecOffsets.end()) - kDay).tm_gmtoff;
}

void ExpectBreakdown(time_t t) { ExpectSameBreakdown(TaskTime::FromAbsolute(t), Local(t), t); }

void ExpectAbsolute(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
    ASSERT_EQ(ValueOf(TaskTime::ToAbsolute(nYear, nMonth, nDay, nHour, nMinute)),
              LibcAbsolute(nYear, nMonth, nDay, nHour, nMinute))
        << nYear << "-" << nMonth << "-" << nDay << " " << nHour << ":" << nMinute;
}

// Both ways at t and at the wall times of the quarter hours around it.
void ExpectBothWays(time_t t) {
    ExpectBreakdown(t);
    const std::tm tm = Local(t);
    for (int nQuarter = -6; nQuarter <= 6; ++nQuarter) {
        std::tm w = tm;
        w.tm_min = tm.tm_min - tm.tm_min % 15 + 15 * nQuarter;
        timegm(&w);  // normalise the fields only
        ExpectAbsolute(w.tm_year + 1900, w.tm_mon + 1, w.tm_mday, w.tm_hour, w.tm_min);
    }
}

class FastLocalTimeTest : public ::testing::TestWithParam<const char*> {
protected:
    CZoneGuard m_zone{GetParam()};
};

// Random walks across every change of offset from 1900 to 2100, with steps
// of every size the schedule takes (a minute to a month), back and forth,
// and jumps between far-apart changes, so that what is remembered from one
// conversion is put to the test by the next.
TEST_P(FastLocalTimeTest, WalksAcrossChangesAgreeWithTheCLibrary) {
    // 1900 .. 2100, with room for a month's step either way.
    const time_t tFrom = -2208988800 + 45 * kDay, tTo = 4102444800 - 45 * kDay;
    std::vector<time_t> vecChanges = OffsetChanges(tFrom, tTo, 3 * kHour);
    if (std::string(GetParam()) != "UTC") {
        ASSERT_GT(vecChanges.size(), 1u);
    }
    vecChanges.push_back(tFrom + 3 * kHour);
    CSeededRandom rnd(std::hash<std::string>{}(GetParam()));
    const time_t kSteps[] = {60, 15 * 60, kHour, 90 * 60, kDay, 7 * kDay, 31 * kDay};
    for (int nWalk = 0; nWalk < 300; ++nWalk) {
        const size_t nAt = static_cast<size_t>(rnd.Int(0, static_cast<int>(vecChanges.size()) - 1));
        time_t t = vecChanges[nAt] - 3 * kHour + rnd.Int(0, 6 * 3600);
        for (int nStep = 0; nStep < 12; ++nStep) {
            ExpectBothWays(t);
            if (HasFatalFailure()) return;
            const time_t nSize = kSteps[rnd.Int(0, static_cast<int>(std::size(kSteps)) - 1)];
            const time_t nMove = rnd.Chance(70) ? nSize : -nSize;
            t += t + nMove < tFrom || t + nMove >= tTo ? -nMove : nMove;
        }
    }
}

// TZ set anew between two calls is seen by the next call, whether or not
// tzset ran, and the answers remembered under the old zone are not given
// again, also when the old zone comes back.
TEST(FastLocalTimeZoneChangeTest, ZoneSetAnewIsSeenByTheNextCall) {
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
}

// A hold keeps the zone only while it lasts: a change of TZ made inside is
// seen once the outermost hold has ended.
TEST(FastLocalTimeZoneChangeTest, ZoneSetAnewAfterAHoldIsSeen) {
    CZoneGuard guard("Europe/Berlin");
    const time_t t = ValueOf(TaskTime::ToAbsolute(2024, 7, 1, 12, 0));
    {
        const CZoneHold outer;
        {
            const CZoneHold inner;
            EXPECT_EQ(TaskTime::FromAbsolute(t).nHour, 12);
        }
        setenv("TZ", "Asia/Kathmandu", 1);
    }
    ExpectBreakdown(t);
    EXPECT_EQ(TaskTime::FromAbsolute(t).nHour, 15);
    EXPECT_EQ(TaskTime::FromAbsolute(t).nMinute, 45);
    ExpectAbsolute(2024, 7, 1, 12, 0);
}

// The schedule's computation reads the zone of the moment it runs. The day
// after 9 March 2024 at 02:30 is 03:30 in New York, whose clocks skip from
// 02:00 to 03:00 that night, and 02:30 elsewhere: the same task computed
// after each change of TZ gives the new zone's answer.
TEST(FastLocalTimeZoneChangeTest, ScheduleComputedAfterAZoneChangeUsesTheNewZone) {
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
        EXPECT_EQ(t.m_dtNextSending.nDay, expected.tm_mday);
        EXPECT_EQ(t.m_dtNextSending.nHour, expected.tm_hour);
        EXPECT_EQ(t.m_dtNextSending.nMinute, expected.tm_min);
        EXPECT_EQ(t.m_dtNextSending.nHour, std::string(pszZone) == "America/New_York" ? 3 : 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, FastLocalTimeTest,
                         ::testing::Values("Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu",
                                           "UTC"),
                         [](const auto& info) { return ZoneTestName(info.param); });

}  // namespace
