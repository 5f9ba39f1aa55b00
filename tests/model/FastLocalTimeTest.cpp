// The conversions between date groups and absolute time remember zone
// stretches and recent answers. Whatever they remember, each answer must be
// the C library's own: walks of instants that go back and forth across the
// changes of offset (gaps and repeated hours) in several zones, and TZ set
// anew between calls, inside and after computations of the schedule.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CSchedule.h"
#include "CSeededRandom.h"
#include "CZoneHold.h"
#include "LibcTime.h"
#include "OffsetChanges.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

using namespace LibcTime;

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
// again, also when the old zone comes back; under a hold, once it ends.
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
    EXPECT_EQ(TaskTime::FromAbsolute(tSummer).nHour, 15);
    EXPECT_EQ(TaskTime::FromAbsolute(tSummer).nMinute, 45);
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
                                           "UTC", "Pacific/Apia"),
                         [](const auto& info) { return ZoneTestName(info.param); });

}  // namespace
