#pragma once
#include <cstdint>

// Points in time inside a task, as local calendar fields. A group is set
// when year, month and day are all positive.
struct TaskDateTime {
    int32_t nYear = 0;
    int32_t nMonth = 0;
    int32_t nDay = 0;
    int32_t nDayOfWeek = 0;  // 1 = Sunday .. 7 = Saturday
    int32_t nHour = 0;
    int32_t nMinute = 0;
    int32_t nSecond = 0;  // kept, never used by conversions

    bool IsSet() const { return nYear > 0 && nMonth > 0 && nDay > 0; }
    void Empty() { *this = TaskDateTime{}; }
    bool operator==(const TaskDateTime&) const = default;
};

struct TaskDate {
    int32_t nYear = 0;
    int32_t nMonth = 0;
    int32_t nDay = 0;
    int32_t nDayOfWeek = 0;

    bool IsSet() const { return nYear > 0 && nMonth > 0 && nDay > 0; }
    void Empty() { *this = TaskDate{}; }
    bool operator==(const TaskDate&) const = default;
};
