#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "CProblems.h"
#include "CTaskItem.h"

class CTextCodec;

// Checks a task where one is built from outside (import, and any later
// command that makes tasks): every value the options sheet could not have
// produced is a problem, named by the key the task list JSON gives it.
// Only the fields that the chosen recurrence and its mode use are checked;
// the others keep whatever they hold, as the sheet leaves them.
// Example: a minutely task with minuteInterval 0 gives
// {"minuteInterval", "must be at least 1, not 0"}; the same task with
// dailyInterval 0 gives nothing, since a minutely task never reads it.
class CTaskCheck {
public:
    // Each problem's place is the member's name as the task list JSON spells it.
    // Every rule below, in this order.
    static CProblems Check(const CTaskItem& task, const CTextCodec& codec);
    // The date groups the schedule converts: start (which must be set), end
    // for end kind 2 (which must be set then), last sent and next sending
    // when set.
    static void CheckDates(const CTaskItem& task, CProblems& vec);
    // Those groups as calendar dates: the day exists in its month, the day
    // of week is the date's own, the end is not before the start.
    static void CheckCalendar(const CTaskItem& task, CProblems& vec);
    // The recurrence type, its mode and the values that mode uses, within
    // the ranges of the recurrence panels.
    static void CheckRecurrence(const CTaskItem& task, CProblems& vec);
    // The end kind, and the count of end kind 1.
    static void CheckEnd(const CTaskItem& task, CProblems& vec);
    // The options, 0 or 1.
    static void CheckFlags(const CTaskItem& task, CProblems& vec);
    // The task fits in one record of the task list file, which its reader
    // refuses beyond CTaskListFile::kMaxLength bytes.
    static void CheckSize(const CTaskItem& task, const CTextCodec& codec, CProblems& vec);

    // What the sheet asks of a task before it stores it, in its words, for
    // every writer: a new task starts after tNow and an end date comes after
    // the start, both read in the zone in force ({"start", "Please change the
    // starting date and time later than the current time."}).
    static void CheckStartAndEnd(const CTaskItem& task, bool bNewTask, time_t tNow, CProblems& vec);
    // The task's name (already trimmed) is not empty and no task of list but
    // the one at nSelf (-1 for a new task) has it.
    static void CheckName(const CTaskList& list, int nSelf, const std::string& strName, CProblems& vec);

    // The placeholders of the attachment entries, each entry not in
    // pBefore (the task as it was, null for a new one) as it is filled at
    // sending: {"attachments", "/srv/{dat}.csv: unknown placeholder {dat} at 6"}.
    // An entry the task had already is left as it is, so that a change of
    // something else never fails on an entry written before placeholders.
    static void CheckPlaceholders(const CTaskItem& task, const CTaskItem* pBefore, CProblems& vec);

    // 1 = Sunday .. 7 = Saturday, for a date of the Gregorian calendar.
    static int DayOfWeek(int nYear, int nMonth, int nDay);
};
