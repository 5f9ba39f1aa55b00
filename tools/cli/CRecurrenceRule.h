#pragma once
#include <optional>
#include <string>

#include "CTaskItem.h"

// The iCalendar recurrence rule that says a task's schedule, without its end
// (COUNT, UNTIL), where one can: "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TH;WKST=SU".
// It is only a candidate: the schedule has rules of its own (day 31 in a
// month without one runs on into the next; weeks of a month are Sunday rows),
// so a caller checks the rule's instants against the schedule before using it.
class CRecurrenceRule {
public:
    // Nothing for a task sent once, and for values no rule can say.
    static std::optional<std::string> For(const CTaskItem& task);
};
