#pragma once
#include <QString>

#include "CTaskItem.h"
#include "IClock.h"

// What the General page shows under the recurrence: the coming sending
// times as Schedule would store them for the task the pages hold now, or
// why there are none, and the zone they are read in.
class CSchedulePreview {
public:
    static constexpr int kCount = 5;

    // task as read from the pages; bNewTask as the sheet has it.
    static QString Times(CTaskItem task, bool bNewTask, const IClock& clock);
    // The subject of the next sending filled in, "Next subject: Report
    // December 2026 (3)"; empty when it has no placeholders or no next time.
    static QString NextSubject(CTaskItem task, bool bNewTask, const IClock& clock, const std::string& strSubject);
    // "Times are in Europe/Berlin, CET, UTC+01:00".
    static QString Zone(const IClock& clock);
};
