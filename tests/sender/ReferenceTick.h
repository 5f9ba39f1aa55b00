#pragma once
#include <functional>

#include "CSchedule.h"
#include "CTaskError.h"
#include "TaskTime.h"

// The tick as written down, with nothing cached: every task is copied and
// its groups converted on every tick. The scheduler must behave exactly
// like it; the benchmark measures against it.
inline void ReferenceTick(CTaskList& list, const CSchedule& schedule,
                          const std::function<void(const CTaskItem&)>& fnSend,
                          const std::function<void(const CTaskList&)>& fnSave) {
    const int n = list.GetSize();
    bool bChanged = false;
    for (int i = 0; i < n && i < list.GetSize(); ++i) {
        CTaskItem task = static_cast<const CTaskList&>(list).GetAt(i);
        int nDue = 0;
        try {
            nDue = schedule.CheckDue(task);
        } catch (const CTaskError&) {
            continue;
        }
        if (nDue == 0) continue;
        if (nDue == 1 && fnSend) fnSend(task);
        try {
            ++task.m_nOccurrenceCount;
            const time_t tOccurrence = TaskTime::ToAbsolute(task.m_dtNextSending);
            CSchedule::SetLastSent(task, tOccurrence);
            schedule.CalcNextSending(task);
            // A next time that does not move past the occurrence just
            // handled completes the task.
            if (task.m_dtNextSending.IsSet() && TaskTime::ToAbsolute(task.m_dtNextSending) <= tOccurrence)
                task.m_dtNextSending.Empty();
        } catch (const CTaskError&) {
            task.m_dtNextSending.Empty();
        }
        list.SetAt(i, task);
        bChanged = true;
    }
    if (bChanged && fnSave) fnSave(list);
}
