#pragma once
#include <map>
#include <string>

#include "CTaskItem.h"

// Tasks the scheduler completed because their next sending time would not
// move past the occurrence just handled (a weekly task with no day ticked,
// a value outside its set, an interval of 0). Without this they would be
// found overdue again on every tick. Also the tasks it sends although their
// last sending time cannot be read, told once each. Kept only while the
// host runs, by the task's identity in the list; "emails.dat" does not
// change its format.
class CStalledTasks {
public:
    // Why the schedule of this task cannot move on, in words for the user:
    // "a weekly task with no day ticked".
    static std::string Why(const CTaskItem& task);

    // Records that task nId was completed for this reason.
    void Note(CTaskList::Id nId, const CTaskItem& task, std::string strWhy);
    // The reason, while the task still stands as it was left (completed,
    // with the same occurrence count and last sending); null otherwise, so
    // a task scheduled anew and completed normally later reads as such.
    const std::string* Reason(CTaskList::Id nId, const CTaskItem& task) const;

    // True the first time task nId is met with this damaged last sending
    // time, so that it is told once, not on every tick.
    bool NoteDamagedLastSent(CTaskList::Id nId, const CTaskItem& task);

private:
    struct CNote {
        int32_t nOccurrenceCount = 0;
        TaskDateTime dtLastSent;
        std::string strWhy;
    };
    std::map<CTaskList::Id, CNote> m_mapNotes;
    std::map<CTaskList::Id, TaskDateTime> m_mapDamaged;
};
