#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "CTaskError.h"
#include "TaskTime.h"

namespace {

// Runs the test body under several zones; the conversions must agree with
// the C library's view of each.
class TaskTimeZones : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const char* psz = std::getenv("TZ");
        m_strOld = psz ? psz : "";
        m_bHad = psz != nullptr;
        setenv("TZ", GetParam(), 1);
        tzset();
    }
    void TearDown() override {
        if (m_bHad) setenv("TZ", m_strOld.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    std::string m_strOld;
    bool m_bHad = false;
};

}  // namespace

TEST_P(TaskTimeZones, RoundTripUsesSecondOne) {
    TaskDateTime dt{2024, 7, 15, 0, 13, 45, 30};
    time_t t = TaskTime::ToAbsolute(dt);
    TaskDateTime back = TaskTime::FromAbsolute(t);
    EXPECT_EQ(back.nYear, 2024);
    EXPECT_EQ(back.nMonth, 7);
    EXPECT_EQ(back.nDay, 15);
    EXPECT_EQ(back.nDayOfWeek, 2);  // Monday
    EXPECT_EQ(back.nHour, 13);
    EXPECT_EQ(back.nMinute, 45);
    EXPECT_EQ(back.nSecond, 1);
}

TEST_P(TaskTimeZones, TooLargeDaysCarryIntoTheNextMonth) {
    TaskDateTime april31{2023, 4, 31, 0, 10, 0, 0};
    TaskDateTime back = TaskTime::FromAbsolute(TaskTime::ToAbsolute(april31));
    EXPECT_EQ(back.nMonth, 5);
    EXPECT_EQ(back.nDay, 1);
    TaskDateTime feb30{2023, 2, 30, 0, 10, 0, 0};
    back = TaskTime::FromAbsolute(TaskTime::ToAbsolute(feb30));
    EXPECT_EQ(back.nMonth, 3);
    EXPECT_EQ(back.nDay, 2);
}

TEST_P(TaskTimeZones, EndOfDayIsSecond59) {
    TaskDate d{2024, 6, 10, 0};
    time_t tEnd = TaskTime::EndOfDay(d);
    TaskDateTime dt = TaskTime::FromAbsolute(tEnd);
    EXPECT_EQ(dt.nHour, 23);
    EXPECT_EQ(dt.nMinute, 59);
    EXPECT_EQ(dt.nSecond, 59);
    EXPECT_GT(TaskTime::ToAbsolute(2024, 6, 11, 0, 0), tEnd);
    EXPECT_LT(TaskTime::ToAbsolute(2024, 6, 10, 23, 59), tEnd);
}

INSTANTIATE_TEST_SUITE_P(Zones, TaskTimeZones,
                         ::testing::Values("UTC", "America/New_York", "Europe/Berlin", "Australia/Lord_Howe",
                                           "Asia/Kathmandu"));

TEST(TaskTime, OutOfRangeGroupsFailWithE_FAIL) {
    const TaskDateTime bad[] = {
        {1899, 1, 1, 0, 0, 0, 0}, {2020, 13, 1, 0, 0, 0, 0}, {2020, 1, 32, 0, 0, 0, 0},
        {2020, 1, 1, 0, 24, 0, 0}, {2020, 1, 1, 0, 0, 60, 0}, {2020, 1, 1, 0, -1, 0, 0},
    };
    for (const auto& dt : bad) {
        EXPECT_TRUE(TaskTime::CheckGroup(dt).has_value());
        try {
            TaskTime::ToAbsolute(dt);
            ADD_FAILURE() << TaskTime::Format(dt);
        } catch (const CTaskError& e) {
            EXPECT_EQ(e.Code(), CTaskError::kE_FAIL);
        }
    }
    EXPECT_FALSE(TaskTime::CheckGroup(TaskDateTime{2020, 2, 31, 0, 23, 59, 99}).has_value());
}

TEST(TaskTime, SecondsAreIgnoredSoComparisonsAreWholeMinutes) {
    TaskDateTime a{2022, 3, 3, 0, 8, 30, 0};
    TaskDateTime b{2022, 3, 3, 0, 8, 30, 59};
    EXPECT_EQ(TaskTime::ToAbsolute(a), TaskTime::ToAbsolute(b));
}
