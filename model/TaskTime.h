#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "CDateText.h"
#include "CResult.h"
#include "TaskCalendarFields.h"

// Conversions between date groups and absolute time, in the current zone
// (CZoneRules::Current(): the C library's local time with TZ honoured, or
// the zone a CZoneHold makes current). Every conversion uses second 1, so comparisons
// of converted groups compare whole minutes.
namespace TaskTime {

// The years every part of the system handles, wherever a date is read: the
// tool's options, imported JSON, the task list file, the host's requests and
// the options sheet. Arithmetic on a year inside never overflows.
constexpr int kFirstYear = CDateText::kFirstYear;
constexpr int kLastYear = CDateText::kLastYear;

// Done when a group's fields are in range for a conversion; the problem
// names the field ("month 13 is not 1..12").
CResult<> CheckGroup(const TaskDateTime& dt);
CResult<> CheckGroup(const TaskDate& d);

// A range violation is the problem "invalid date group: month 13 is not
// 1..12"; fields mktime rejects are "date group cannot be converted", as is
// a year a named zone is not kept for (before 1900, from 2500 on).
// Days beyond the month carry over.
CResult<time_t> ToAbsolute(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond = 1);
CResult<time_t> ToAbsolute(const TaskDateTime& dt);
// End of an end date: 23:59:59 of that day.
CResult<time_t> EndOfDay(const TaskDate& d);

// Local breakdown; a time that cannot be broken down gives 0 date fields
// and -1 time fields.
TaskDateTime FromAbsolute(time_t t);

// Calendar days, counted from 1970-01-01 (day 0, a Thursday): the date
// arithmetic of the schedule, which never goes through seconds. Days beyond
// the month's end, and month 13, run on into what follows.
int64_t DayNumber(int nYear, int nMonth, int nDay);
// The date of a day number, with its day of week (1 = Sunday); hour and
// minute 0.
TaskDateTime DateOfDay(int64_t nDay);
int DayOfWeek(int64_t nDay);

// "YYYY-MM-DD HH:MM" of a group as stored.
std::string Format(const TaskDateTime& dt);

// The one reader of dates and times typed by a person (the tool's --start,
// --end-date and --now, QUILLORY_TEST_NOW): "YYYY-MM-DD HH:MM", the inverse
// of Format, and "YYYY-MM-DD". The fields are kept as typed, at second 0,
// with their day of week; a day must exist in its month and the year lie in
// kFirstYear..kLastYear. A time the clocks skip is a valid group: converted
// with ToAbsolute it is the moment the clocks jump to, as the scheduler
// sends it (02:30 on a day of 02:00 -> 03:00 is 03:30).
// Example: "2027-03-28 02:30" gives {2027, 3, 28, 1, 2, 30, 0}.
CResult<TaskDateTime> ParseDateTime(const std::string& str);
CResult<TaskDate> ParseDate(const std::string& str);

}  // namespace TaskTime
