#pragma once
#include <functional>

#include "CSchedule.h"
#include "TaskTime.h"

// The advance of one handled task: a next time that does not move past the
// occurrence just handled completes the task.
inline CResult<> ReferenceAdvanceOne(CTaskItem& task, const CSchedule& schedule) {
    ++task.m_nOccurrenceCount;
    QUILLORY_TRY_VALUE(const time_t tOccurrence, TaskTime::ToAbsolute(task.m_dtNextSending));
    CSchedule::SetLastSent(task, tOccurrence);
    QUILLORY_TRY(schedule.CalcNextSending(task));
    if (!task.m_dtNextSending.IsSet()) return {};
    QUILLORY_TRY_VALUE(const time_t tNext, TaskTime::ToAbsolute(task.m_dtNextSending));
    if (tNext <= tOccurrence) task.m_dtNextSending.Empty();
    return {};
}

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
        const auto rDue = schedule.CheckDue(task);
        if (!rDue) continue;
        const int nDue = *rDue;
        if (nDue == 0) continue;
        if (nDue == 1 && fnSend) fnSend(task);
        if (!ReferenceAdvanceOne(task, schedule)) task.m_dtNextSending.Empty();
        list.SetAt(i, task);
        bChanged = true;
    }
    if (bChanged && fnSave) fnSave(list);
}
