#pragma once
#include <cstdint>
#include <ctime>

#include "CResult.h"
#include "CTaskItem.h"
#include "IClock.h"

// When a task is sent: the next sending time, the due test of each tick and
// the catch-up of a freshly scheduled task. No I/O besides the clock.
// A date group that cannot be converted, stored or computed, is the
// problem of the call ("invalid date group: year 10000 out of range"); the
// task may then hold what was computed before it.
class CSchedule {
public:
    explicit CSchedule(const IClock& clock) : m_clock(clock) {}

    // The answer of CheckDue for one task on one tick.
    enum EDue : int {
        kSkipped = -1,  // the occurrence's minute has passed and it is not sent late; m_dtLastSent holds it
        kNotDue = 0,    // nothing to do now: inactive, finished, ahead, or this minute's occurrence done
        kSendNow = 1,   // send the occurrence in m_dtNextSending now
    };

    // Sets m_dtNextSending to the first occurrence of the task's rule after
    // m_dtLastSent (from the start when none was sent yet), or empties it
    // when the rule has ended (its count used up, its end date passed).
    // Example: weekly on Monday and Thursday at 08:00, last sent Monday
    // 2026-12-07 08:00 -> next Thursday 2026-12-10 08:00.
    CResult<> CalcNextSending(CTaskItem& task) const;

    // What Advance did to a task's next sending time.
    enum class EAdvance {
        kMoved,  // a later next sending time
        kEnded,  // none: the schedule ended
        kStuck,  // the schedule cannot move past the occurrence (no later time); the task is completed
    };
    // The one step after an occurrence was handled (sent or skipped), used
    // by the scheduler's tick, the sending preview and `quillory next`: the
    // count goes up, the occurrence in m_dtNextSending becomes the last
    // sending, and the next one is worked out from it, with the clock as
    // the present. A next time not later than the occurrence would be due
    // again at once, so the task is completed instead.
    // Example: every 15 minutes, next 10:00, count 0 -> count 1, last
    // 10:00, next 10:15, kMoved.
    CResult<EAdvance> Advance(CTaskItem& task) const;
    // Whether the task is to be sent on this tick: kSendNow in the minute of
    // m_dtNextSending, or later when the task sends overdue occurrences;
    // kSkipped for a passed one it does not send late (m_dtLastSent then
    // holds it); kNotDue otherwise, also once this minute's occurrence is done. Example: next 09:00, present
    // 09:00:30 -> kSendNow; present 10:15 with send-overdue off -> kSkipped.
    CResult<EDue> CheckDue(CTaskItem& task) const;
    // Moves a task scheduled anew past every occurrence before the present
    // without counting any: its next sending time is the first one at or
    // after now, exactly where repeated CalcNextSending would land, and
    // m_dtLastSent the last one passed, which the rule steps on from.
    // Example: daily at 07:30 from 2026-12-01, present 2026-12-08 12:00 ->
    // last 2026-12-08 07:30, next 2026-12-09 07:30, count unchanged.
    CResult<> AdvancePastNow(CTaskItem& task) const;
    // The first sending time the options sheet stores for a task scheduled
    // at tNow: from its start when the task is new or the start is still
    // ahead, else past every occurrence before tNow.
    CResult<> ScheduleAnew(CTaskItem& task, bool bNewTask, time_t tNow) const;

    static CResult<bool> IsTaskEnded(const CTaskItem& task, time_t t);
    static void SetNextSending(CTaskItem& task, time_t t);
    static void SetLastSent(CTaskItem& task, time_t t);
    static int DaysInMonth(int nYear, int nMonth);
    static CResult<int> DayOfMonthFor(int nYear, int nMonth, int nOrdinal, int nKind);

    // The present cut to the minute (second 1).
    CResult<time_t> NowMinute() const;

private:
    static int64_t Period(const CTaskItem& task);
    static CResult<time_t> JumpFrom(const CTaskItem& task, time_t t, time_t tPresent);
    CResult<> CalcOnce(CTaskItem& task, time_t tNow) const;
    CResult<> CalcMinutely(CTaskItem& task, time_t tNow) const;
    CResult<> CalcDaily(CTaskItem& task, time_t tNow) const;
    CResult<> CalcWeekly(CTaskItem& task, time_t tNow) const;
    CResult<> CalcMonthly(CTaskItem& task, time_t tNow) const;
    CResult<> CalcYearly(CTaskItem& task, time_t tNow) const;

    const IClock& m_clock;
};
