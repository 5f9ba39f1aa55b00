#include "CSendingPreview.h"

#include "CSchedule.h"
#include "TaskTime.h"

CResult<std::vector<time_t>> CSendingPreview::Next(CTaskItem task, int nCount) {
    std::vector<time_t> vecTimes;
    CFixedClock clock(0);
    const CSchedule schedule(clock);
    while (static_cast<int>(vecTimes.size()) < nCount && task.m_dtNextSending.IsSet()) {
        QUILLORY_TRY_VALUE(const time_t t, TaskTime::ToAbsolute(task.m_dtNextSending));
        // The scheduler completes a task whose next time stays put.
        if (!vecTimes.empty() && t <= vecTimes.back()) break;
        vecTimes.push_back(t);
        ++task.m_nOccurrenceCount;
        clock.Set(t);
        CSchedule::SetLastSent(task, t);
        QUILLORY_TRY(schedule.CalcNextSending(task));
    }
    return vecTimes;
}
