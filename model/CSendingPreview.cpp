#include "CSendingPreview.h"

#include "CSchedule.h"
#include "TaskTime.h"

CResult<std::vector<time_t>> CSendingPreview::Next(CTaskItem task, int nCount) {
    std::vector<time_t> vecTimes;
    CFixedClock clock(0);
    const CSchedule schedule(clock);
    while (static_cast<int>(vecTimes.size()) < nCount && task.m_dtNextSending.IsSet()) {
        QUILLORY_TRY_VALUE(const time_t t, TaskTime::ToAbsolute(task.m_dtNextSending));
        vecTimes.push_back(t);
        clock.Set(t);  // each occurrence is worked out as the tick at its minute does
        QUILLORY_TRY_VALUE(const CSchedule::EAdvance eAdvance, schedule.Advance(task));
        (void)eAdvance;  // stuck or ended, the task has no next time and the loop ends
    }
    return vecTimes;
}
