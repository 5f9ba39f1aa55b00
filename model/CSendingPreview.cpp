#include "CSendingPreview.h"

#include "CSchedule.h"
#include "CTaskError.h"
#include "TaskTime.h"

CResult<std::vector<time_t>> CSendingPreview::Next(CTaskItem task, int nCount) {
    std::vector<time_t> vecTimes;
    CFixedClock clock(0);
    const CSchedule schedule(clock);
    try {
        while (static_cast<int>(vecTimes.size()) < nCount && task.m_dtNextSending.IsSet()) {
            const time_t t = TaskTime::ToAbsolute(task.m_dtNextSending);
            // The scheduler completes a task whose next time stays put.
            if (!vecTimes.empty() && t <= vecTimes.back()) break;
            vecTimes.push_back(t);
            ++task.m_nOccurrenceCount;
            clock.Set(t);
            CSchedule::SetLastSent(task, t);
            schedule.CalcNextSending(task);
        }
    } catch (const CTaskError& e) {
        return CProblem(e.what());
    }
    return vecTimes;
}
