#pragma once
#include <cstdint>

// The value sets of a task's choices. The task stores them as plain int32_t,
// so the task list keeps its bytes and a value outside a set survives a load
// and save untouched; code reads a field through the accessors of CTaskItem
// and compares with these names. Each number is also the position of its
// entry in the list of the panel that sets it.

// m_nRecurrence: how often the task is sent.
enum class ERecurrence : int32_t {
    Once = 0,      // at the start, then never again
    Minutely = 1,  // every m_nMinuteInterval minutes from the start
    Daily = 2,     // by m_nDailyMode
    Weekly = 3,    // by m_nWeeklyMode, on the ticked m_bWeekDays
    Monthly = 4,   // by m_nMonthlyMode
    Yearly = 5,    // by m_nYearlyMode
};

// m_nDailyMode.
enum class EDailyMode : int32_t {
    EveryNDays = 0,      // every m_nDailyInterval days
    EveryDayOfKind = 1,  // every day of m_nDailyDayKind (day .. odd day only)
};

// m_nWeeklyMode.
enum class EWeeklyMode : int32_t {
    EveryNWeeks = 0,  // every m_nWeeklyInterval weeks, counted Sunday to Saturday
    WeekOfMonth = 1,  // in week m_nWeeklyWeekOfMonth of every month
};

// m_nWeeklyWeekOfMonth: weeks of a month are the Sunday-to-Saturday rows,
// the first being the one that holds the 1st; these three lie wholly inside
// the month. -1 means no choice was made.
enum class EWeekOfMonth : int32_t {
    Second = 0,
    Third = 1,
    Fourth = 2,
};

// m_nMonthlyMode.
enum class EMonthlyMode : int32_t {
    DayOfMonth = 0,  // day m_nMonthlyDay of every m_nMonthlyInterval months
    OrdinalDay = 1,  // m_nMonthlyOrdinal day of m_nMonthlyDayKind, every m_nMonthlyInterval2 months
};

// m_nYearlyMode.
enum class EYearlyMode : int32_t {
    MonthAndDay = 0,  // day m_nYearlyDay of month index m_nYearlyMonth
    OrdinalDay = 1,   // m_nYearlyOrdinal day of m_nYearlyDayKind in month index m_nYearlyMonth2
};

// m_nDailyDayKind, m_nMonthlyDayKind, m_nYearlyDayKind.
enum class EDayKind : int32_t {
    Day = 0,         // any day
    Weekday = 1,     // Monday .. Friday
    WeekendDay = 2,  // Saturday or Sunday
    EvenDay = 3,     // an even day of the month
    OddDay = 4,      // an odd day of the month; the last kind a daily task may use
    Sunday = 5,      // the named days: day of week (1 = Sunday) is the kind - 4
    Monday = 6,
    Tuesday = 7,
    Wednesday = 8,
    Thursday = 9,
    Friday = 10,
    Saturday = 11,  // the last kind a monthly or yearly task may use
};

// m_nMonthlyOrdinal, m_nYearlyOrdinal: which day of the kind in the month.
enum class EOrdinal : int32_t {
    First = 0,
    Second = 1,
    Third = 2,
    Fourth = 3,
    Last = 4,  // the last of the kind, whether the month has four or five
};

// m_nEndKind: when the task stops being sent.
enum class EEndKind : int32_t {
    NoEnd = 0,       // never
    AfterCount = 1,  // once m_nOccurrenceCount reaches m_nEndAfterCount
    EndDate = 2,     // after 23:59:59 of m_dtEnd
};

// The stored number of a code, for writing it into a field.
template <class ECode>
constexpr int32_t CodeOf(ECode e) {
    return static_cast<int32_t>(e);
}
