#pragma once
#include <cstdint>
#include <set>
#include <string>

#include "CResult.h"

// The holidays an iCalendar file (.ics) names: every day covered by an
// all-day event, recurring ones ("every 25 December") included, their
// exceptions left out. An event with a time of day is an appointment, not
// a holiday, and is passed over. Days are numbered as TaskTime::DayNumber
// numbers them.
//
// A hostile file cannot hold the reader up: a file over kMaxBytes is
// refused before it is parsed, a recurrence is followed only
// through the span asked for (from its first day in the span when it has no
// COUNT), a whole-day event that repeats more often than daily is refused,
// and a file whose recurrences need more than kMaxInstances steps or
// kMaxSeconds in all is refused, naming the event, rather than read in part.
//
// Example: DTSTART;VALUE=DATE:20261225 with RRULE:FREQ=YEARLY, read for
// 2027-01-01 .. 2028-12-31, gives 2027-12-25 and 2028-12-25.
class CHolidayFile {
public:
    // The holidays of the file at strPath from nFromDay to nToDay, both
    // included. The problem names the file and says what is wrong with it
    // (missing, not a regular file, not iCalendar, a date or rule it
    // cannot read, a recurrence refused).
    static CResult<std::set<int64_t>> Read(const std::string& strPath, int64_t nFromDay, int64_t nToDay);
    // The same from the text of a file.
    static CResult<std::set<int64_t>> FromText(const std::string& strText, int64_t nFromDay, int64_t nToDay);

    // The calendar library needs up to some 80 times a file's size and a
    // second a megabyte to read one made of tiny lines; a holiday calendar
    // of many years is a few hundred kilobytes.
    static constexpr size_t kMaxBytes = 1u << 20;
    // The steps of all recurrences of one file together, at most.
    static constexpr int kMaxInstances = 200000;
    // The time all recurrences of one file may take together: one step of a
    // rule that never matches can take the calendar library most of a second.
    static constexpr int kMaxSeconds = 2;
};
