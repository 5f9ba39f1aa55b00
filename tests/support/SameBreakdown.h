#pragma once
#include <ctime>

#include <gtest/gtest.h>

#include "TaskTime.h"

// dt holds the same date, weekday and time as the C library's breakdown tm
// of the instant t (named in a failure).
inline void ExpectSameBreakdown(const TaskDateTime& dt, const std::tm& tm, time_t t) {
    ASSERT_EQ(dt.nYear, tm.tm_year + 1900) << t;
    ASSERT_EQ(dt.nMonth, tm.tm_mon + 1) << t;
    ASSERT_EQ(dt.nDay, tm.tm_mday) << t;
    ASSERT_EQ(dt.nDayOfWeek, tm.tm_wday + 1) << t;
    ASSERT_EQ(dt.nHour, tm.tm_hour) << t;
    ASSERT_EQ(dt.nMinute, tm.tm_min) << t;
    ASSERT_EQ(dt.nSecond, tm.tm_sec) << t;
}
