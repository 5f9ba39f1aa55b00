#pragma once
#include <ctime>
#include <optional>
#include <string>

#include "CResult.h"
#include "CSchedule.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "CWorkingDays.h"

// A task's schedule under its rules: working days, pauses, the skip of the
// next occurrence and what becomes of missed ones. The one place the
// scheduler's tick, the sending preview, `quillory next`, `show` and `ics`
// ask where an occurrence goes. No I/O: the working days come read.
//
// What the task list keeps: m_dtLastSent is the regular occurrence last
// handled (the schedule steps on from it), m_dtNextSending the time the
// next one goes out, moved to its working day, so that every reader of the
// list sees when the message leaves. An occurrence a rule skips stays at its
// regular time, where the tick records it as skipped.
//
// Example: Monday to Friday, "before", Friday 2027-12-24 a holiday, weekly
// on Saturday at 09:00 after Saturday 2027-12-18: the occurrence of
// Saturday 2027-12-25 goes out on Thursday 2027-12-23 at 09:00. Had the
// Thursday been a holiday too, none lies after the last occurrence's day:
// it is skipped, at 2027-12-25 09:00.
//
// Each public step holds the zone for its whole span (CZoneHold): that is
// where a task's own zone (rules.strZone) is to be held as well.
class CRuledSchedule {
public:
    // What the tick does with an occurrence CheckDue found due.
    enum class EVerdict {
        kSend,         // send it
        kSkipOverdue,  // passed, and the task does not send late: skipped and counted, as without rules
        kSkipDayOff,   // on a day off with nowhere to move, or "skip": not counted
        kSkipPaused,   // before the day the pause ends: not counted
        kSkipMissed,   // passed while nothing ran, and the rule sends none or only a later one: not counted
        kSkipNext,     // used up by "skip the next occurrence": not counted; the flag goes
    };
    // The reason words of a skip, for the recorded outcome: "not a working day".
    static std::string Reason(EVerdict eVerdict, const CTaskRules& rules);

    // How far a move looks when the task has no occurrence on that side.
    static constexpr int kMaxMoveDays = 31;

    CRuledSchedule(const CSchedule& schedule, const CTaskRules& rules, const CWorkingDays& days)
        : m_schedule(schedule), m_rules(rules), m_days(days) {}
    // It keeps what it is given by reference: never a temporary.
    CRuledSchedule(const CSchedule&, const CTaskRules&, CWorkingDays&&) = delete;

    // Whether the rules leave the schedule as it is (text, zone and
    // attachment rules only): every step is then CSchedule's own.
    bool IsPlain() const;

    // The verdict on the occurrence in m_dtNextSending, which CheckDue
    // answered eDue (kSendNow or kSkipped) for at the present minute tNow.
    // Checked in order: pause, day off, missed, skip next; so "skip next" is
    // used up by the first occurrence that would otherwise go out.
    CResult<EVerdict> Verdict(const CTaskItem& task, CSchedule::EDue eDue, time_t tNow) const;

    // The one step after an occurrence was handled: the regular occurrence
    // becomes the last, the next one is worked out and placed on its day.
    // bCounts: it uses up one of "end after N" (a send, or a skip the task
    // counts without rules). Without rules, exactly CSchedule::Advance.
    CResult<CSchedule::EAdvance> Advance(CTaskItem& task, bool bCounts) const;

    // After CSchedule::ScheduleAnew: the next occurrence placed on its day;
    // one moved to a time before tNow is passed over as the earlier ones
    // were.
    CResult<> Place(CTaskItem& task, time_t tNow) const;
    // The first next time as Schedule stores it: CSchedule::ScheduleAnew in
    // the task's zone, then Place.
    CResult<> ScheduleAnew(CTaskItem& task, bool bNewTask, time_t tNow) const;

    // After the working days changed (a holiday file gained or lost a day):
    // the stored next time placed again from the regular occurrence it
    // stands for, as the advance would have placed it. Only m_dtNextSending
    // changes, never before the day after the last occurrence nor as far as
    // the next regular one; a time this places before the present is due,
    // and handled as any passed occurrence. True when it moved.
    // Example: "before", weekly on Friday 2027-12-24 09:00, stored at its
    // regular time; the 24th becomes a holiday: it moves to Thursday 23rd
    // 09:00, and back to the 24th when the holiday goes again.
    CResult<bool> PlaceAgain(CTaskItem& task) const;

private:
    // The public steps' bodies, run in the task's own zone when it has one.
    CResult<EVerdict> VerdictHere(const CTaskItem& task, CSchedule::EDue eDue, time_t tNow) const;
    CResult<CSchedule::EAdvance> AdvanceHere(CTaskItem& task, bool bCounts) const;
    CResult<> PlaceHere(CTaskItem& task, time_t tNow) const;
    CResult<bool> PlaceAgainHere(CTaskItem& task) const;
    // CalcNextSending from the task's last occurrence, at a present not
    // before its start: a last one that is an occurrence (a step ahead of
    // the clock, as the preview and the placing make) must not read as the
    // seed of a schedule that has not begun.
    CResult<> CalcAfterLast(CTaskItem& task) const;
    // The regular occurrence after the task's last one, end rules aside.
    CResult<std::optional<time_t>> RegularAfterLast(const CTaskItem& task) const;
    // The task's first regular occurrence.
    CResult<std::optional<time_t>> First(const CTaskItem& task) const;
    // The regular occurrence kept at tStored: the one after the last, or
    // the first (whose last may be a seed that reads as an occurrence), at
    // its own time or moved there; nullopt when neither is.
    CResult<std::optional<time_t>> RegularAt(const CTaskItem& task, time_t tStored) const;
    // Where the regular occurrence of task (in m_dtNextSending) goes:
    // itself, another day's time, or nullopt when it is skipped.
    CResult<std::optional<time_t>> Placed(const CTaskItem& task, time_t tRegular) const;
    // The verdict without the missed rule (an occurrence at its minute).
    CResult<EVerdict> VerdictOnTime(const CTaskItem& task, time_t tOccurrence) const;
    // Whether a later occurrence than the task's next would go out at or before tNow.
    CResult<bool> LaterOneDue(const CTaskItem& task, time_t tNow) const;

    const CSchedule& m_schedule;
    const CTaskRules& m_rules;
    const CWorkingDays& m_days;
};
