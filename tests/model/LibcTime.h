#pragma once
// The C library's answers for the conversions between date groups and absolute time, the reference every conversion
// test compares with.
#include <algorithm>
#include <ctime>
#include <vector>

#include <gtest/gtest.h>

#include "ResultValue.h"
#include "SameBreakdown.h"
#include "TaskTime.h"

namespace LibcTime {

inline constexpr time_t kHour = 3600;
inline constexpr time_t kDay = 86400;

// The C library's breakdown under the TZ of the moment (localtime_r alone does not look at TZ again).
inline std::tm Local(time_t t) {
    tzset();
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

inline bool SameWall(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour &&
           a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// What the C library says a wall time (second 1) is: with exactly one instant, mktime's answer; where the hour repeats,
// the earlier instant; where the clocks skip it, the wall time read with the offset in force before the change, which
// lands the gap's length later on the clock.
inline time_t LibcAbsolute(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
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

inline void ExpectBreakdown(time_t t) { ExpectSameBreakdown(TaskTime::FromAbsolute(t), Local(t), t); }

inline void ExpectAbsolute(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
    ASSERT_EQ(ValueOf(TaskTime::ToAbsolute(nYear, nMonth, nDay, nHour, nMinute)),
              LibcAbsolute(nYear, nMonth, nDay, nHour, nMinute))
        << nYear << "-" << nMonth << "-" << nDay << " " << nHour << ":" << nMinute;
}

// Both ways at t and at the wall times of the quarter hours around it.
inline void ExpectBothWays(time_t t) {
    ExpectBreakdown(t);
    const std::tm tm = Local(t);
    for (int nQuarter = -6; nQuarter <= 6; ++nQuarter) {
        std::tm w = tm;
        w.tm_min = tm.tm_min - tm.tm_min % 15 + 15 * nQuarter;
        timegm(&w);  // normalise the fields only
        ExpectAbsolute(w.tm_year + 1900, w.tm_mon + 1, w.tm_mday, w.tm_hour, w.tm_min);
    }
}

}  // namespace LibcTime
