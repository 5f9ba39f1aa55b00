#pragma once
#include <QString>

#include "CHolidayCache.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "IClock.h"

// What the General page shows under the recurrence: the coming sending
// times as Schedule would store them for the task the pages hold now, or
// why there are none, and the zone they are read in.
class CSchedulePreview {
public:
    static constexpr int kCount = 5;

    // task as read from the pages; bNewTask as the sheet has it; the
    // times moved and skipped as the Rules page's rules will have them,
    // in the task's own zone when it has one.
    static QString Times(CTaskItem task, bool bNewTask, const IClock& clock, const CTaskRules& rules,
                         CHolidayCache& holidays);
    // For a task with a zone of its own, how its sending time reads here:
    // "09:00 America/New_York = 15:00 here" on its start day; else empty.
    static QString ZoneNote(const CTaskItem& task, const CTaskRules& rules);
    // The subject of the next sending filled in, "Next subject: Report
    // December 2026 (3)", for the time the rules move it to, as sending
    // fills it; empty when it has no placeholders or no next time.
    static QString NextSubject(CTaskItem task, bool bNewTask, const IClock& clock, const std::string& strSubject,
                               const CTaskRules& rules, CHolidayCache& holidays);
    // "Times are in Europe/Berlin, CET, UTC+01:00".
    static QString Zone(const IClock& clock);
};
