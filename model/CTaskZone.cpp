#include "CTaskZone.h"

#include "TaskTime.h"

namespace {

// The zone's wall time of t; a problem where it cannot be broken down.
CResult<TaskDateTime> TaskZoneWall(CZoneRules& zone, time_t t) {
    const CZoneHold hold(zone);
    TaskDateTime dt = TaskTime::FromAbsolute(t);
    if (dt.nHour < 0)
        return CProblem("instant " + std::to_string(t) + " cannot be read as a time in zone " +
                        (zone.IsNamed() ? zone.ZoneName() : std::string("of the machine")));
    return dt;
}

CResult<time_t> TaskZoneInstant(CZoneRules& zone, const TaskDateTime& dt) {
    const CZoneHold hold(zone);
    return TaskTime::ToAbsolute(dt);
}

// The rules of strZone, or the machine's for an empty name.
CResult<CZoneRules*> TaskZoneRules(const std::string& strZone) {
    if (strZone.empty()) return &CZoneRules::Machine();
    return CZoneRules::Named(strZone);
}

}  // namespace

CResult<TaskDateTime> CTaskZone::WallTime(const std::string& strZone, time_t t) {
    QUILLORY_TRY_VALUE(CZoneRules* const pZone, TaskZoneRules(strZone));
    return TaskZoneWall(*pZone, t);
}

CResult<time_t> CTaskZone::Absolute(const std::string& strZone, const TaskDateTime& dt) {
    QUILLORY_TRY_VALUE(CZoneRules* const pZone, TaskZoneRules(strZone));
    return TaskZoneInstant(*pZone, dt);
}

TaskDateTime CTaskZone::OccurrenceInZone(const std::string& strZone, const TaskDateTime& dtHere) {
    if (strZone.empty()) return dtHere;
    const auto rAt = TaskTime::ToAbsolute(dtHere);
    const auto rWall = rAt ? WallTime(strZone, *rAt) : CResult<TaskDateTime>(CProblem(rAt.Problem()));
    return rWall ? *rWall : dtHere;
}

CResult<time_t> CTaskZone::MachineInstant(CZoneRules& machine, CZoneRules& zone, const CTaskItem& task,
                                          const TaskDateTime& dt) {
    QUILLORY_TRY_VALUE(const time_t tFirst, TaskZoneInstant(machine, dt));
    if (task.Recurrence() == ERecurrence::Minutely) return tFirst;  // no time of day to tell them apart
    // Where the machine's clocks go back within a day after tFirst, the same
    // wall time comes again one shift later.
    constexpr time_t kDayAndMore = 26 * 3600;
    long nOffFirst = 0, nOffAfter = 0, nOffLater = 0;
    if (!machine.OffsetAt(tFirst, nOffFirst) || !machine.OffsetAt(tFirst + kDayAndMore, nOffAfter) ||
        nOffAfter >= nOffFirst)
        return tFirst;
    const time_t tLater = tFirst + (nOffFirst - nOffAfter);
    if (!machine.OffsetAt(tLater, nOffLater) || nOffLater != nOffAfter) return tFirst;
    // Both instants read as dt here; the one at the rule's time of day in
    // the zone is the occurrence that was kept.
    const auto atRuleTime = [&](time_t t) {
        const auto wall = TaskZoneWall(zone, t);
        return wall && wall->nHour == task.m_dtStart.nHour && wall->nMinute == task.m_dtStart.nMinute;
    };
    return !atRuleTime(tFirst) && atRuleTime(tLater) ? tLater : tFirst;
}

CResult<CTaskZone::CKept> CTaskZone::IntoZone(CZoneRules& machine, CZoneRules& zone, CTaskItem& task) {
    CKept kept{task.m_dtNextSending, task.m_dtLastSent, {}, {}};
    const auto convert = [&](const TaskDateTime& dtMachine, TaskDateTime& dtZone, const char* pszWhat) -> CResult<> {
        if (!dtMachine.IsSet()) return {};
        auto t = MachineInstant(machine, zone, task, dtMachine);
        if (!t) return CProblem(std::string(pszWhat) + " " + TaskTime::Format(dtMachine) + ": " + t.Problem());
        QUILLORY_TRY_VALUE(dtZone, TaskZoneWall(zone, *t));
        return {};
    };
    QUILLORY_TRY(convert(kept.dtNextMachine, kept.dtNextZone, "next sending time"));
    QUILLORY_TRY(convert(kept.dtLastMachine, kept.dtLastZone, "last sending time"));
    task.m_dtNextSending = kept.dtNextZone;
    task.m_dtLastSent = kept.dtLastZone;
    return kept;
}

CResult<> CTaskZone::BackToMachine(CZoneRules& machine, CZoneRules& zone, CTaskItem& task, const CKept& kept) {
    const auto convert = [&](const TaskDateTime& dtZone, const TaskDateTime& dtKeptZone,
                             const TaskDateTime& dtKeptMachine) -> CResult<TaskDateTime> {
        // Unchanged: exactly as found, whatever the machine's clocks do then.
        if (dtZone == dtKeptZone) return dtKeptMachine;
        if (!dtZone.IsSet()) return dtZone;
        QUILLORY_TRY_VALUE(const time_t t, TaskZoneInstant(zone, dtZone));
        return TaskZoneWall(machine, t);
    };
    auto next = convert(task.m_dtNextSending, kept.dtNextZone, kept.dtNextMachine);
    auto last = convert(task.m_dtLastSent, kept.dtLastZone, kept.dtLastMachine);
    if (!next || !last) {
        // Half in one zone and half in the other would be worse than the times found.
        task.m_dtNextSending = kept.dtNextMachine;
        task.m_dtLastSent = kept.dtLastMachine;
        return CProblem("zone " + zone.ZoneName() + ": " + (next ? last.Problem() : next.Problem()));
    }
    task.m_dtNextSending = *next;
    task.m_dtLastSent = *last;
    return {};
}
