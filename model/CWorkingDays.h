#pragma once
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "CResult.h"

// The days a task may go out on: its working weekdays, less its holidays.
// Days are local calendar days numbered as TaskTime::DayNumber numbers them
// (1970-01-01 is day 0). No I/O: the holidays come from whoever read them.
//
// Example: Monday to Friday with 2027-12-24 (a Friday) as a holiday. For an
// occurrence on Saturday 2027-12-25 the working day before is Thursday
// 2027-12-23, the one after Monday 2027-12-27.
class CWorkingDays {
public:
    // Weekdays as a mask, bit 1 << d for d = 1 (Sunday) .. 7 (Saturday), as
    // TaskDateTime counts them.
    static constexpr uint8_t kMondayToFriday = 0b01111100;
    static constexpr uint8_t kEveryDay = 0b11111110;

    explicit CWorkingDays(uint8_t nWeekdays = kMondayToFriday, std::set<int64_t> setHolidays = {})
        : m_nWeekdays(nWeekdays), m_setHolidays(std::move(setHolidays)) {}

    bool IsWorkingDay(int64_t nDay) const;
    // The latest working day d with nNotBefore <= d < nDay, and the earliest
    // with nDay < d < nBefore; nullopt when there is none in between (a move
    // never passes the task's occurrence before or after).
    std::optional<int64_t> Before(int64_t nDay, int64_t nNotBefore) const;
    std::optional<int64_t> After(int64_t nDay, int64_t nBefore) const;

    uint8_t Weekdays() const { return m_nWeekdays; }

    // The weekdays as typed: day names or their first three letters, single
    // or as ranges, joined by commas ("mon-fri", "sun-thu", "mon,wed,fri",
    // "fri-mon" wraps over the weekend). The problem names what is wrong.
    static CResult<uint8_t> ParseWeekdays(const std::string& str);
    // The shortest form of a mask ParseWeekdays reads back: "mon-fri", "mon,wed,fri".
    static std::string WeekdaysText(uint8_t nWeekdays);

private:
    uint8_t m_nWeekdays;
    std::set<int64_t> m_setHolidays;
};
