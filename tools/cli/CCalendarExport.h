#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "CResult.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "CWorkingDays.h"

// The plan as an iCalendar file: one event per task at its coming sending
// times, in the local zone (with its VTIMEZONE). A task's rule is written as
// an RRULE only where the RRULE's instants over the next two years (at most
// 500) are exactly the schedule's; otherwise those instants are written as
// RDATEs. X-QUILLORY-FORM says which ("RRULE" or "RDATE").
class CCalendarExport {
public:
    struct CEntry {
        CTaskItem task;
        std::string strUid;          // stable across exports of the same task
        std::string strDescription;  // the subject and recipients
        CTaskRules rules;            // where they move or skip occurrences, the times are theirs
        CWorkingDays days;
    };

    static constexpr int kMaxInstants = 500;

    static CResult<std::string> Build(const std::vector<CEntry>& vecEntries, time_t tNow);
};
