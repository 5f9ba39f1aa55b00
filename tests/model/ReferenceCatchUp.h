#pragma once
#include "CResult.h"
#include "CSchedule.h"
#include "TaskTime.h"

// The catch-up as first written: one occurrence per turn of the loop. The shipped one must land exactly where this
// lands.
inline CResult<> ReferenceAdvance(const CSchedule& s, const IClock& clock, CTaskItem& task) {
    const time_t tPresent = clock.Now();
    task.m_dtLastSent.Empty();
    QUILLORY_TRY(s.CalcNextSending(task));
    time_t tPrev = 0;
    bool bFirst = true;
    while (task.m_dtNextSending.IsSet()) {
        QUILLORY_TRY_VALUE(const time_t t, TaskTime::ToAbsolute(task.m_dtNextSending));
        if (t >= tPresent) break;
        if (!bFirst && t <= tPrev) break;
        bFirst = false;
        tPrev = t;
        CSchedule::SetLastSent(task, t);
        QUILLORY_TRY(s.CalcNextSending(task));
    }
    return {};
}
