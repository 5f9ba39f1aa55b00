#pragma once
#include <functional>
#include <utility>

#include "CRuledSchedule.h"
#include "CSchedule.h"
#include "CTaskZone.h"
#include "TaskTime.h"

// The tick as written down, with nothing cached: every task is copied and
// its groups converted on every tick. The scheduler must behave exactly
// like it; the benchmark measures against it. fnRules gives a task's rules
// and working days (none without it).
using CRulesAndDays = std::pair<CTaskRules, CWorkingDays>;
inline void ReferenceTick(CTaskList& list, const CSchedule& schedule,
                          const std::function<void(const CTaskItem&)>& fnSend,
                          const std::function<void(const CTaskList&)>& fnSave,
                          const std::function<CRulesAndDays(const CTaskItem&)>& fnRules = {}) {
    const int n = list.GetSize();
    bool bChanged = false;
    for (int i = 0; i < n && i < list.GetSize(); ++i) {
        CTaskItem task = static_cast<const CTaskList&>(list).GetAt(i);
        const auto rDue = schedule.CheckDue(task);
        if (!rDue) continue;
        const int nDue = *rDue;
        if (nDue == 0) continue;
        if (fnRules) {
            const CTaskItem found = static_cast<const CTaskList&>(list).GetAt(i);
            const auto [rules, days] = fnRules(found);
            // Due as the task's own zone reads its kept time.
            CTaskItem zoned = found;
            const auto rZoned =
                CTaskZone::Run(rules.strZone, zoned, [&](CTaskItem& t) { return schedule.CheckDue(t); });
            if (rZoned && *rZoned == CSchedule::kNotDue) continue;
            const CSchedule::EDue eDue = rZoned ? *rZoned : static_cast<CSchedule::EDue>(nDue);
            const CRuledSchedule ruled(schedule, rules, days);
            // A task's own zone holds for its every step, also without other rules.
            if (!ruled.IsPlain() || !rules.strZone.empty()) {
                using EVerdict = CRuledSchedule::EVerdict;
                const auto rVerdict = ruled.Verdict(found, eDue, *schedule.NowMinute());
                const EVerdict eVerdict = rVerdict ? *rVerdict : EVerdict::kSend;
                if (eVerdict == EVerdict::kSend && fnSend) fnSend(found);
                CTaskItem advanced = found;
                const auto rAdvance =
                    ruled.Advance(advanced, eVerdict == EVerdict::kSend || eVerdict == EVerdict::kSkipOverdue);
                if (!rAdvance) advanced.m_dtNextSending.Empty();
                list.SetAt(i, advanced);
                bChanged = true;
                continue;
            }
        }
        if (nDue == 1 && fnSend) fnSend(task);
        ++task.m_nOccurrenceCount;
        const auto rOccurrence = TaskTime::ToAbsolute(task.m_dtNextSending);
        bool bStalled = !rOccurrence;
        if (rOccurrence) {
            CSchedule::SetLastSent(task, *rOccurrence);
            bStalled = !schedule.CalcNextSending(task);
            // A next time that does not move past the occurrence just
            // handled completes the task.
            if (!bStalled && task.m_dtNextSending.IsSet()) {
                const auto rNext = TaskTime::ToAbsolute(task.m_dtNextSending);
                bStalled = !rNext || *rNext <= *rOccurrence;
            }
        }
        if (bStalled) task.m_dtNextSending.Empty();
        list.SetAt(i, task);
        bChanged = true;
    }
    if (bChanged && fnSave) fnSave(list);
}
