#include "CRuledSchedule.h"

#include <algorithm>

#include "CTaskZone.h"
#include "CZoneHold.h"
#include "TaskTime.h"

namespace {

// The local calendar day an instant falls on.
int64_t RuledDayOf(time_t t) {
    const TaskDateTime dt = TaskTime::FromAbsolute(t);
    return TaskTime::DayNumber(dt.nYear, dt.nMonth, dt.nDay);
}

// An instant cut to its minute at second 1, as conversions of groups give it.
CResult<time_t> RuledMinuteOf(time_t t) { return TaskTime::ToAbsolute(TaskTime::FromAbsolute(t)); }

// How many occurrences one look ahead steps over at most: a task whose
// every occurrence is skipped must not hold the tick up.
constexpr int kMaxSteps = 1000;

}  // namespace

std::string CRuledSchedule::Reason(EVerdict eVerdict, const CTaskRules& rules) {
    switch (eVerdict) {
        case EVerdict::kSkipDayOff: return "not a working day";
        case EVerdict::kSkipPaused: {
            const TaskDate& d = rules.pauseUntil;
            const TaskDateTime dt{d.nYear, d.nMonth, d.nDay, d.nDayOfWeek, 0, 0, 0};
            return "paused until " + TaskTime::Format(dt).substr(0, 10);
        }
        case EVerdict::kSkipMissed:
            return rules.eMissed == CTaskRules::EMissed::Latest ? "missed, a later one is sent" : "missed";
        case EVerdict::kSkipNext: return "the next occurrence was to be skipped";
        default: return {};
    }
}

bool CRuledSchedule::IsPlain() const {
    return m_rules.eOnDayOff == CTaskRules::EOnDayOff::Send && m_rules.eMissed == CTaskRules::EMissed::Each &&
           !m_rules.pauseUntil.IsSet() && !m_rules.bSkipNext;
}

CResult<> CRuledSchedule::CalcAfterLast(CTaskItem& task) const {
    QUILLORY_TRY_VALUE(const time_t tNow, m_schedule.NowMinute());
    QUILLORY_TRY_VALUE(const time_t tStart, TaskTime::ToAbsolute(task.m_dtStart));
    const CFixedClock clock(std::max(tNow, tStart));
    return CSchedule(clock).CalcNextSending(task);
}

CResult<std::optional<time_t>> CRuledSchedule::RegularAfterLast(const CTaskItem& task) const {
    CTaskItem copy = task;
    copy.m_nEndKind = CodeOf(EEndKind::NoEnd);  // a move must not pass an occurrence the end cuts off either
    QUILLORY_TRY(CalcAfterLast(copy));
    if (!copy.m_dtNextSending.IsSet()) return std::optional<time_t>();
    QUILLORY_TRY_VALUE(const time_t t, TaskTime::ToAbsolute(copy.m_dtNextSending));
    return std::optional<time_t>(t);
}

CResult<std::optional<time_t>> CRuledSchedule::First(const CTaskItem& task) const {
    CTaskItem first = task;
    first.m_dtLastSent.Empty();
    return RegularAfterLast(first);
}

CResult<std::optional<time_t>> CRuledSchedule::RegularAt(const CTaskItem& task, time_t tStored) const {
    QUILLORY_TRY_VALUE(const std::optional<time_t> tAfterLast, RegularAfterLast(task));
    QUILLORY_TRY_VALUE(const std::optional<time_t> tFirst, First(task));
    for (const std::optional<time_t>& tCandidate : {tAfterLast, tFirst}) {
        if (!tCandidate) continue;
        if (*tCandidate == tStored) return tCandidate;
        QUILLORY_TRY_VALUE(const std::optional<time_t> tPlaced, Placed(task, *tCandidate));
        if (tPlaced == tStored) return tCandidate;
    }
    return std::optional<time_t>();
}

CResult<std::optional<time_t>> CRuledSchedule::Placed(const CTaskItem& task, time_t tRegular) const {
    using EOnDayOff = CTaskRules::EOnDayOff;
    const int64_t nDay = RuledDayOf(tRegular);
    if (m_rules.eOnDayOff == EOnDayOff::Send || m_days.IsWorkingDay(nDay)) return std::optional<time_t>(tRegular);
    if (m_rules.eOnDayOff == EOnDayOff::Skip) return std::optional<time_t>();
    std::optional<int64_t> nMoved;
    if (m_rules.eOnDayOff == EOnDayOff::Before) {
        // Not on or before the day of the occurrence before it, nor before
        // the task's start when it is the first.
        QUILLORY_TRY_VALUE(const std::optional<time_t> tFirst, First(task));
        int64_t nNotBefore = TaskTime::DayNumber(task.m_dtStart.nYear, task.m_dtStart.nMonth, task.m_dtStart.nDay);
        if (!tFirst || *tFirst != tRegular) {
            QUILLORY_TRY_VALUE(const time_t tLast, TaskTime::ToAbsolute(task.m_dtLastSent));
            nNotBefore = RuledDayOf(tLast) + 1;
        }
        nMoved = m_days.Before(nDay, std::max(nNotBefore, nDay - kMaxMoveDays));
    } else {
        // Not on or after the day of the occurrence after it.
        CTaskItem after = task;
        CSchedule::SetLastSent(after, tRegular);
        QUILLORY_TRY_VALUE(const std::optional<time_t> tNext, RegularAfterLast(after));
        const int64_t nLimit = nDay + kMaxMoveDays + 1;
        nMoved = m_days.After(nDay, tNext ? std::min(RuledDayOf(*tNext), nLimit) : nLimit);
    }
    if (!nMoved) return std::optional<time_t>();
    // The same time of day: the task's sending time, or for a task counted
    // in minutes the occurrence's own.
    const TaskDateTime dtRegular = TaskTime::FromAbsolute(tRegular);
    const bool bMinutely = task.Recurrence() == ERecurrence::Minutely;
    const TaskDateTime dt = TaskTime::DateOfDay(*nMoved);
    QUILLORY_TRY_VALUE(
        const time_t tMoved,
        TaskTime::ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, bMinutely ? dtRegular.nHour : task.m_dtStart.nHour,
                             bMinutely ? dtRegular.nMinute : task.m_dtStart.nMinute));
    return std::optional<time_t>(tMoved);
}

CResult<CRuledSchedule::EVerdict> CRuledSchedule::VerdictOnTime(const CTaskItem& task, time_t tOccurrence) const {
    if (m_rules.pauseUntil.IsSet() &&
        RuledDayOf(tOccurrence) <
            TaskTime::DayNumber(m_rules.pauseUntil.nYear, m_rules.pauseUntil.nMonth, m_rules.pauseUntil.nDay))
        return EVerdict::kSkipPaused;
    if (m_rules.eOnDayOff != CTaskRules::EOnDayOff::Send) {
        // Only an occurrence at its regular time can be one the rule skips;
        // a moved one is on its working day.
        QUILLORY_TRY_VALUE(const std::optional<time_t> tRegular, RegularAt(task, tOccurrence));
        if (tRegular && *tRegular == tOccurrence) {
            QUILLORY_TRY_VALUE(const std::optional<time_t> tPlaced, Placed(task, *tRegular));
            if (!tPlaced) return EVerdict::kSkipDayOff;
        }
    }
    return EVerdict::kSend;
}

CResult<bool> CRuledSchedule::LaterOneDue(const CTaskItem& task, time_t tNow) const {
    CTaskItem ahead = task;
    for (int i = 0; i < kMaxSteps; ++i) {
        QUILLORY_TRY_VALUE(const CSchedule::EAdvance eAdvance, AdvanceHere(ahead, false));
        if (eAdvance != CSchedule::EAdvance::kMoved) return false;
        QUILLORY_TRY_VALUE(const time_t tNext, TaskTime::ToAbsolute(ahead.m_dtNextSending));
        if (tNext > tNow) return false;
        QUILLORY_TRY_VALUE(const EVerdict eVerdict, VerdictOnTime(ahead, tNext));
        if (eVerdict == EVerdict::kSend) return true;
    }
    return false;
}

// The task's fields are the machine's local time; each step reads them in
// the task's zone, where its rule and its working days are.
CResult<CRuledSchedule::EVerdict> CRuledSchedule::Verdict(const CTaskItem& task, CSchedule::EDue eDue,
                                                          time_t tNow) const {
    CTaskItem zoned = task;
    return CTaskZone::Run(m_rules.strZone, zoned, [&](CTaskItem& t) { return VerdictHere(t, eDue, tNow); });
}

CResult<CSchedule::EAdvance> CRuledSchedule::Advance(CTaskItem& task, bool bCounts) const {
    return CTaskZone::Run(m_rules.strZone, task, [&](CTaskItem& t) { return AdvanceHere(t, bCounts); });
}

CResult<> CRuledSchedule::Place(CTaskItem& task, time_t tNow) const {
    return CTaskZone::Run(m_rules.strZone, task, [&](CTaskItem& t) { return PlaceHere(t, tNow); });
}

CResult<> CRuledSchedule::ScheduleAnew(CTaskItem& task, bool bNewTask, time_t tNow) const {
    QUILLORY_TRY(CTaskZone::Run(m_rules.strZone, task,
                                [&](CTaskItem& t) { return m_schedule.ScheduleAnew(t, bNewTask, tNow); }));
    return Place(task, tNow);
}

CResult<bool> CRuledSchedule::PlaceAgain(CTaskItem& task) const {
    return CTaskZone::Run(m_rules.strZone, task, [&](CTaskItem& t) { return PlaceAgainHere(t); });
}

CResult<CRuledSchedule::EVerdict> CRuledSchedule::VerdictHere(const CTaskItem& task, CSchedule::EDue eDue,
                                                              time_t tNow) const {
    const CZoneHold hold;
    if (IsPlain()) return eDue == CSchedule::kSkipped ? EVerdict::kSkipOverdue : EVerdict::kSend;
    QUILLORY_TRY_VALUE(const time_t tOccurrence, TaskTime::ToAbsolute(task.m_dtNextSending));
    QUILLORY_TRY_VALUE(const EVerdict eOnTime, VerdictOnTime(task, tOccurrence));
    if (eOnTime != EVerdict::kSend) return eOnTime;
    QUILLORY_TRY_VALUE(const time_t tMinute, RuledMinuteOf(tNow));
    if (tOccurrence < tMinute) {
        switch (m_rules.eMissed) {
            case CTaskRules::EMissed::Each:
                if (eDue == CSchedule::kSkipped) return EVerdict::kSkipOverdue;
                break;
            case CTaskRules::EMissed::None: return EVerdict::kSkipMissed;
            case CTaskRules::EMissed::Latest: {
                QUILLORY_TRY_VALUE(const bool bLater, LaterOneDue(task, tMinute));
                if (bLater) return EVerdict::kSkipMissed;
                break;
            }
        }
    }
    return m_rules.bSkipNext ? EVerdict::kSkipNext : EVerdict::kSend;
}

CResult<CSchedule::EAdvance> CRuledSchedule::AdvanceHere(CTaskItem& task, bool bCounts) const {
    const CZoneHold hold;
    if (IsPlain() && bCounts) return m_schedule.Advance(task);
    QUILLORY_TRY_VALUE(const time_t tHandled, TaskTime::ToAbsolute(task.m_dtNextSending));
    // The regular occurrence the handled time stands for: itself, or the one
    // moved to it.
    time_t tRegular = tHandled;
    if (m_rules.eOnDayOff != CTaskRules::EOnDayOff::Send) {
        QUILLORY_TRY_VALUE(const std::optional<time_t> tAt, RegularAt(task, tHandled));
        if (tAt) tRegular = *tAt;
    }
    if (bCounts) ++task.m_nOccurrenceCount;
    CSchedule::SetLastSent(task, tRegular);
    QUILLORY_TRY(CalcAfterLast(task));
    if (!task.m_dtNextSending.IsSet()) return CSchedule::EAdvance::kEnded;
    QUILLORY_TRY_VALUE(const time_t tNext, TaskTime::ToAbsolute(task.m_dtNextSending));
    if (tNext <= tRegular) {
        task.m_dtNextSending.Empty();
        return CSchedule::EAdvance::kStuck;
    }
    QUILLORY_TRY_VALUE(const std::optional<time_t> tPlaced, Placed(task, tNext));
    if (tPlaced && *tPlaced != tNext) CSchedule::SetNextSending(task, *tPlaced);
    return CSchedule::EAdvance::kMoved;
}

CResult<> CRuledSchedule::PlaceHere(CTaskItem& task, time_t tNow) const {
    const CZoneHold hold;
    if (m_rules.eOnDayOff == CTaskRules::EOnDayOff::Send) return {};
    QUILLORY_TRY_VALUE(const time_t tMinute, RuledMinuteOf(tNow));
    for (int i = 0; i < kMaxSteps && task.m_dtNextSending.IsSet(); ++i) {
        QUILLORY_TRY_VALUE(const time_t tNext, TaskTime::ToAbsolute(task.m_dtNextSending));
        QUILLORY_TRY_VALUE(const std::optional<time_t> tPlaced, Placed(task, tNext));
        if (!tPlaced || *tPlaced >= tMinute) {
            if (tPlaced) CSchedule::SetNextSending(task, *tPlaced);
            return {};
        }
        // Moved to a day already passed: passed over, uncounted, as the
        // occurrences before the present were.
        CSchedule::SetLastSent(task, tNext);
        QUILLORY_TRY(CalcAfterLast(task));
        if (!task.m_dtNextSending.IsSet()) return {};
        QUILLORY_TRY_VALUE(const time_t tAfter, TaskTime::ToAbsolute(task.m_dtNextSending));
        if (tAfter <= tNext) {
            task.m_dtNextSending.Empty();
            return {};
        }
    }
    return {};
}

CResult<bool> CRuledSchedule::PlaceAgainHere(CTaskItem& task) const {
    const CZoneHold hold;
    if (m_rules.eOnDayOff == CTaskRules::EOnDayOff::Send || !task.m_dtNextSending.IsSet()) return false;
    QUILLORY_TRY_VALUE(const time_t tStored, TaskTime::ToAbsolute(task.m_dtNextSending));
    QUILLORY_TRY_VALUE(std::optional<time_t> tRegular, RegularAt(task, tStored));
    if (!tRegular) {
        // Moved under the old holidays to a day the new ones do not move it
        // to: it stands for the nearer of the regular occurrences a next time
        // can stand for, and a move never takes one further than this.
        QUILLORY_TRY_VALUE(const std::optional<time_t> tAfterLast, RegularAfterLast(task));
        QUILLORY_TRY_VALUE(const std::optional<time_t> tFirst, First(task));
        const time_t tReach = static_cast<time_t>(kMaxMoveDays + 1) * 86400;
        auto distance = [&](time_t t) { return t > tStored ? t - tStored : tStored - t; };
        for (const std::optional<time_t>& tCandidate : {tAfterLast, tFirst})
            if (tCandidate && distance(*tCandidate) <= tReach &&
                (!tRegular || distance(*tCandidate) < distance(*tRegular)))
                tRegular = tCandidate;
        if (!tRegular) return false;  // placed by no rule this knows: left as it is
    }
    QUILLORY_TRY_VALUE(const std::optional<time_t> tPlaced, Placed(task, *tRegular));
    // One the rules skip waits at its regular time, where the tick records it.
    const time_t tNew = tPlaced ? *tPlaced : *tRegular;
    if (tNew == tStored) return false;
    CSchedule::SetNextSending(task, tNew);
    return true;
}
