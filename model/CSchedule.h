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

    CResult<> CalcNextSending(CTaskItem& task) const;
    CResult<EDue> CheckDue(CTaskItem& task) const;
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
