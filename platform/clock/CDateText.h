#pragma once
#include <cstdint>
#include <string>

#include "CResult.h"

// "YYYY-MM-DD" and "YYYY-MM-DD HH:MM", as typed or listed: the one reader of
// both, for the add-in, the tool and the host. A date is checked whole
// (2027-02-30 is none), in the years a task list can hold; what the fields
// mean in time is for the reader's zone to say.
// Example: "2027-03-15 09:00" is {2027, 3, 15, 9, 0}.
class CDateText {
public:
    static constexpr int kFirstYear = 1900;
    static constexpr int kLastYear = 9999;

    struct CFields {
        int nYear = 0, nMonth = 0, nDay = 0, nHour = 0, nMinute = 0;
        bool operator==(const CFields&) const = default;
    };

    static CResult<CFields> ParseDate(const std::string& str);
    static CResult<CFields> ParseDateTime(const std::string& str);
    // Each field in its range, the day within 1..31: "month 13 is not 1..12".
    static CResult<> CheckFields(int nYear, int nMonth, int nDay, int nHour, int nMinute);
    static int DaysInMonth(int nYear, int nMonth);
    // Days since 1970-01-01 of a proleptic Gregorian date, and back; days
    // beyond the month's length run on into the next month.
    // Example: 1970-01-32 is day 31, as is 1970-02-01.
    static int64_t DaysFromCivil(int64_t nYear, int nMonth, int nDay);
    static void CivilFromDays(int64_t nDays, int& nYear, int& nMonth, int& nDay);
};
