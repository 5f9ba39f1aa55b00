#include "CSendingPreview.h"

#include "CRuledSchedule.h"
#include "CSchedule.h"
#include "TaskTime.h"

CResult<std::vector<time_t>> CSendingPreview::Next(CTaskItem task, int nCount, CTaskRules rules,
                                                   const CWorkingDays& days) {
    std::vector<time_t> vecTimes;
    time_t tFirst = 0;
    CFixedClock clock(0);
    const CSchedule schedule(clock);
    const CRuledSchedule ruled(schedule, rules, days);
    for (int nLooked = 0;
         static_cast<int>(vecTimes.size()) < nCount && task.m_dtNextSending.IsSet() && nLooked < kMaxLooked;
         ++nLooked) {
        QUILLORY_TRY_VALUE(const time_t t, TaskTime::ToAbsolute(task.m_dtNextSending));
        if (nLooked == 0) tFirst = t;
        else if (t - tFirst > kMaxYearsLooked * 366LL * 86400) break;
        clock.Set(t);  // each occurrence is worked out as the tick at its minute does
        QUILLORY_TRY_VALUE(const CRuledSchedule::EVerdict eVerdict, ruled.Verdict(task, CSchedule::kSendNow, t));
        const bool bSent = eVerdict == CRuledSchedule::EVerdict::kSend;
        if (bSent) vecTimes.push_back(t);
        if (eVerdict == CRuledSchedule::EVerdict::kSkipNext) rules.bSkipNext = false;
        QUILLORY_TRY_VALUE(const CSchedule::EAdvance eAdvance, ruled.Advance(task, bSent));
        (void)eAdvance;  // stuck or ended, the task has no next time and the loop ends
    }
    return vecTimes;
}
