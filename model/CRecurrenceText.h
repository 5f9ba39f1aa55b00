#pragma once
#include <string>

#include "CTaskItem.h"

// A task's schedule in words, for lists a person reads (the Email Manager,
// the command line). It says what the schedule computation does with the
// stored fields, including values no panel would store:
//   weekly, interval 2, Monday and Thursday, 09:00 -> "Every 2 weeks on Monday and Thursday at 09:00"
//   monthly, last weekday, every month, 17:30      -> "Last weekday of every month at 17:30"
//   monthly mode 7 counts as the ordinal form, as it does when sending.
class CRecurrenceText {
public:
    // The rule with its sending time; the start date only where the rule
    // needs it (once, every N minutes).
    static std::string Describe(const CTaskItem& task);
    // "" (no end, or a task sent once), "3 times", "until 2027-06-30".
    static std::string DescribeEnd(const CTaskItem& task);
};
