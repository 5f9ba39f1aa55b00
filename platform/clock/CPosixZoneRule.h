#pragma once
#include <cstdint>
#include <ctime>
#include <string_view>

#include "CResult.h"

// The rule a zone file ends with, which holds for every instant after its
// last listed change, written as TZ is: a standard offset, and optionally a
// summer offset with the day and time each begins. Offsets in the text count
// hours west of UTC; OffsetAt answers in seconds east, as the rest of the
// system does.
// Example: "EST5EDT,M3.2.0,M11.1.0" is UTC-5, and UTC-4 from the second
// Sunday of March at 02:00 standard time to the first Sunday of November at
// 02:00 summer time; "<+0530>-5:30" is UTC+05:30 all year.
class CPosixZoneRule {
public:
    // The rule in sv; a problem says where the text stops making sense.
    static CResult<CPosixZoneRule> Parse(std::string_view sv);

    // Seconds east of UTC at t, for any t.
    long OffsetAt(time_t t) const;

private:
    // The day (and time) of a year on which a part of the year begins.
    struct CChangeDay {
        enum class EKind {
            JulianNoLeap,  // "Jn": day n, 1..365, 29 February never counted
            DayOfYear,     // "n": day n, 0..365, counting 29 February
            MonthWeekDay   // "Mm.w.d": weekday d (0 = Sunday) of week w (5 = last) of month m
        };
        EKind eKind = EKind::MonthWeekDay;
        int nDay = 0, nWeek = 0, nMonth = 0;
        long nSeconds = 7200;  // local time of day; may be negative or past 24 h
    };
    // The instant of the change in nYear, its local time read with nOffBefore.
    static int64_t ChangeAt(const CChangeDay& day, int64_t nYear, long nOffBefore);

    long m_nStandard = 0;  // seconds east
    long m_nSummer = 0;
    bool m_bSummer = false;
    CChangeDay m_summerFrom, m_summerTo;
};
