#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CLocalZone.h"
#include "CSendingPreview.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

CTaskItem Daily(TaskDateTime dtStart) {
    CTaskItem task;
    task.m_bActive = 1;
    task.m_nRecurrence = CodeOf(ERecurrence::Daily);
    task.m_nDailyInterval = 1;
    task.m_nEndKind = CodeOf(EEndKind::NoEnd);
    task.m_dtStart = dtStart;
    task.m_dtNextSending = dtStart;
    return task;
}

std::vector<std::string> Walls(const CTaskItem& task, int nCount) {
    auto times = CSendingPreview::Next(task, nCount);
    EXPECT_TRUE(times.Ok()) << times.Problem();
    std::vector<std::string> vec;
    if (times)
        for (time_t t : *times) vec.push_back(TaskTime::Format(TaskTime::FromAbsolute(t)));
    return vec;
}

using Strings = std::vector<std::string>;

}  // namespace

class SendingPreviewTest : public ::testing::TestWithParam<const char*> {
protected:
    CZoneGuard m_zone{GetParam()};
};

TEST_P(SendingPreviewTest, FollowsTheRulesFromTheStoredNextTime) {
    CTaskItem weekly = Daily({2026, 12, 10, 5, 9, 0, 1});  // stored next: Thursday
    weekly.m_nRecurrence = CodeOf(ERecurrence::Weekly);
    weekly.m_nWeeklyInterval = 1;
    for (int32_t& b : weekly.m_bWeekDays) b = 0;
    weekly.m_bWeekDays[1] = weekly.m_bWeekDays[4] = 1;
    weekly.m_dtStart = {2026, 12, 8, 3, 9, 0, 1};
    EXPECT_EQ(Walls(weekly, 5), (Strings{"2026-12-10 09:00", "2026-12-14 09:00", "2026-12-17 09:00", "2026-12-21 09:00",
                                         "2026-12-24 09:00"}));

    // Day 31 of every month: a month without it runs on into the next, and
    // the month after is counted from where the occurrence landed.
    CTaskItem monthly = Daily({2027, 1, 31, 1, 8, 15, 1});
    monthly.m_nRecurrence = CodeOf(ERecurrence::Monthly);
    monthly.m_nMonthlyDay = 31;
    monthly.m_nMonthlyInterval = 1;
    EXPECT_EQ(Walls(monthly, 5), (Strings{"2027-01-31 08:15", "2027-03-03 08:15", "2027-05-01 08:15",
                                          "2027-07-01 08:15", "2027-08-31 08:15"}));
}

TEST_P(SendingPreviewTest, StopsWhereTheScheduleEnds) {
    CTaskItem task = Daily({2026, 12, 8, 3, 9, 0, 1});
    task.m_nEndKind = CodeOf(EEndKind::AfterCount);
    task.m_nEndAfterCount = 3;
    EXPECT_EQ(Walls(task, 5), (Strings{"2026-12-08 09:00", "2026-12-09 09:00", "2026-12-10 09:00"}));
    task.m_nOccurrenceCount = 2;  // two already sent: one is left
    EXPECT_EQ(Walls(task, 5), (Strings{"2026-12-08 09:00"}));

    task = Daily({2026, 12, 8, 3, 9, 0, 1});
    task.m_nEndKind = CodeOf(EEndKind::EndDate);
    task.m_dtEnd = {2026, 12, 9, 4};
    EXPECT_EQ(Walls(task, 5), (Strings{"2026-12-08 09:00", "2026-12-09 09:00"}));

    task = Daily({2026, 12, 8, 3, 9, 0, 1});
    task.m_nRecurrence = CodeOf(ERecurrence::Once);
    EXPECT_EQ(Walls(task, 5), (Strings{"2026-12-08 09:00"}));

    task.m_dtNextSending.Empty();  // completed
    EXPECT_TRUE(Walls(task, 5).empty());
    EXPECT_TRUE(Walls(Daily({2026, 12, 8, 3, 9, 0, 1}), 0).empty());
}

TEST_P(SendingPreviewTest, AScheduleThatCannotMoveOnShowsItsOneSending) {
    CTaskItem task = Daily({2026, 12, 8, 3, 9, 0, 1});
    task.m_nRecurrence = CodeOf(ERecurrence::Weekly);
    task.m_nWeeklyInterval = 1;
    for (int32_t& b : task.m_bWeekDays) b = 0;  // no day ticked
    EXPECT_EQ(Walls(task, 5), (Strings{"2026-12-08 09:00"}));
}

INSTANTIATE_TEST_SUITE_P(Zones, SendingPreviewTest,
                         ::testing::Values("Europe/Berlin", "America/New_York", "Asia/Kathmandu",
                                           "Australia/Lord_Howe"),
                         [](const auto& info) { return ZoneTestName(info.param); });

TEST(SendingPreviewZoneTest, MinutesAreCountedInRealTimeAcrossTheAutumnChange) {
    CZoneGuard zone("America/New_York");
    CTaskItem task = Daily({2026, 11, 1, 1, 0, 0, 1});
    task.m_nRecurrence = CodeOf(ERecurrence::Minutely);
    task.m_nMinuteInterval = 90;
    // 01:30 comes twice that night; the times go on 90 real minutes apart.
    EXPECT_EQ(Walls(task, 4),
              (Strings{"2026-11-01 00:00", "2026-11-01 01:30", "2026-11-01 02:00", "2026-11-01 03:30"}));
}

TEST(LocalZoneTest, NamesTheZoneItsAbbreviationAndOffsetAtThatTime) {
    struct {
        const char* pszTz;
        time_t t;
        const char* pszWant;
    } const cases[] = {
        {"Europe/Berlin", 1796637600, "Europe/Berlin, CET, UTC+01:00"},         // 2026-12-07
        {"Europe/Berlin", 1783400000, "Europe/Berlin, CEST, UTC+02:00"},        // 2026-07-07
        {":America/New_York", 1796637600, "America/New_York, EST, UTC-05:00"},  // the colon form
        {"/usr/share/zoneinfo/Asia/Kathmandu", 1796637600, "Asia/Kathmandu, +0545, UTC+05:45"},
        {"America/St_Johns", 1796637600, "America/St_Johns, NST, UTC-03:30"},
        {"UTC", 1796637600, "UTC, UTC, UTC+00:00"},
    };
    for (const auto& c : cases) {
        CZoneGuard zone(c.pszTz);
        EXPECT_EQ(CLocalZone::Describe(c.t), c.pszWant) << c.pszTz;
    }
}
