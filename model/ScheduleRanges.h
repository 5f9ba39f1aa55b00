#pragma once
#include <cstdint>
#include <string>

#include "TaskCodes.h"

// The values a task's schedule may hold, as the options sheet's panels offer
// them: the one table the panels, the task check, the tool's options and the
// scheduler's reason for a schedule that cannot move on all read.
// Example: a monthly day is ScheduleRanges::kDayOfMonth, 1..31, shown as
// "1..31" and offered by the panel's up-down control as 1 to 31.
namespace ScheduleRanges {

struct CRange {
    int32_t nMin;
    int32_t nMax;

    constexpr bool Holds(int32_t n) const { return n >= nMin && n <= nMax; }
    std::string Text() const { return std::to_string(nMin) + ".." + std::to_string(nMax); }
};

// Counts typed into the panels' fields.
inline constexpr CRange kInterval{1, 999999};     // minutes, days, weeks and months between sendings
inline constexpr CRange kOccurrences{1, 999999};  // the end after N sendings
inline constexpr CRange kDayOfMonth{1, 31};       // the monthly and yearly day
// Choices from the panels' lists, from their first item (0).
inline constexpr CRange kRecurrence{0, CodeOf(ERecurrence::Yearly)};
inline constexpr CRange kDailyMode{0, CodeOf(EDailyMode::EveryDayOfKind)};
inline constexpr CRange kWeeklyMode{0, CodeOf(EWeeklyMode::WeekOfMonth)};
inline constexpr CRange kMonthlyMode{0, CodeOf(EMonthlyMode::OrdinalDay)};
inline constexpr CRange kYearlyMode{0, CodeOf(EYearlyMode::OrdinalDay)};
inline constexpr CRange kDailyDayKind{0, CodeOf(EDayKind::OddDay)};  // the daily list has no day names
inline constexpr CRange kDayKind{0, CodeOf(EDayKind::Saturday)};
inline constexpr CRange kWeekOfMonth{0, CodeOf(EWeekOfMonth::Fourth)};
inline constexpr CRange kOrdinal{0, CodeOf(EOrdinal::Last)};
inline constexpr CRange kMonthIndex{0, 11};  // january .. december
inline constexpr CRange kEndKind{0, CodeOf(EEndKind::EndDate)};

}  // namespace ScheduleRanges
