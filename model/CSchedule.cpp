#include "CSchedule.h"

#include <algorithm>
#include <cstdlib>

#include "CTaskError.h"
#include "CZoneRules.h"
#include "TaskTime.h"

namespace {

constexpr time_t kDay = 86400;
// Years beyond this are refused as a date group out of range, so that month
// and year arithmetic on stored values can never overflow.
constexpr int kLastYear = 9999;

using TaskTime::FromAbsolute;
using TaskTime::ToAbsolute;

int DayOfWeek(time_t t) { return FromAbsolute(t).nDayOfWeek; }

int DayOfWeekOf(int nYear, int nMonth, int nDay) { return FromAbsolute(ToAbsolute(nYear, nMonth, nDay, 0, 0)).nDayOfWeek; }

// The day an occurrence at t belongs to, for a task sent at the start's hour
// and minute. Days are added as 86,400 seconds, and a change of offset can
// carry a sending time near midnight over into the neighbouring day: 23:30
// plus one day across the spring change is 00:30 two days on, 00:30 across
// the autumn change at midnight is 23:30 of the same day. A time more than
// twelve hours from the sending time of its own day is put back on the day
// it belongs to, at the sending time; every other time stays as it is (10:00
// plus one day across the spring change stays 11:00).
time_t OnItsDay(const CTaskItem& task, time_t t) {
    const TaskDateTime dt = FromAbsolute(t);
    const int nAt = dt.nHour * 60 + dt.nMinute, nSending = task.m_dtStart.nHour * 60 + task.m_dtStart.nMinute;
    if (std::abs(nAt - nSending) <= 720) return t;
    const time_t nDays = nAt > nSending ? 1 : -1;
    const TaskDateTime dtDay = FromAbsolute(ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, 12, 0) + nDays * kDay);
    return ToAbsolute(dtDay.nYear, dtDay.nMonth, dtDay.nDay, task.m_dtStart.nHour, task.m_dtStart.nMinute);
}

bool IsSeeded(const CTaskItem& task, time_t tNow) {
    time_t tStart = ToAbsolute(task.m_dtStart);
    return tNow < tStart || !task.m_dtLastSent.IsSet() || tStart > ToAbsolute(task.m_dtLastSent);
}

// The last occurrence at the start's hour and minute, on the day it belongs to.
void ResetHourMinute(CTaskItem& task) {
    if (task.m_dtLastSent.IsSet() && !TaskTime::CheckGroup(task.m_dtLastSent)) {
        const time_t t = ToAbsolute(task.m_dtLastSent);
        if (const time_t tOn = OnItsDay(task, t); tOn != t) task.m_dtLastSent = FromAbsolute(tOn);
    }
    task.m_dtLastSent.nHour = task.m_dtStart.nHour;
    task.m_dtLastSent.nMinute = task.m_dtStart.nMinute;
}

void Store(CTaskItem& task, time_t t) {
    if (CSchedule::IsTaskEnded(task, t)) task.m_dtNextSending.Empty();
    else CSchedule::SetNextSending(task, t);
}

// Whether the fields of t convert back to t itself: not so for the later
// instance of a wall time that the clocks repeat.
bool ReadsBackAs(time_t t) {
    const TaskDateTime dt = FromAbsolute(t);
    return ToAbsolute(dt) + (dt.nSecond - 1) == t;
}

// Days counted as 86,400 seconds can land in the second pass of an hour that
// the clocks repeat; stored as fields, such a time would read back as the
// first pass, an hour or more before it. The occurrence then goes out at the
// sending time of that day instead.
void StoreDay(CTaskItem& task, time_t t) {
    t = OnItsDay(task, t);
    if (!ReadsBackAs(t)) {
        const TaskDateTime dt = FromAbsolute(t);
        t = ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, task.m_dtStart.nHour, task.m_dtStart.nMinute);
    }
    Store(task, t);
}

bool ValidOrdinalKind(int nOrdinal, int nKind) { return nOrdinal >= 0 && nOrdinal <= 4 && nKind >= 0 && nKind <= 11; }

}  // namespace

bool CSchedule::IsTaskEnded(const CTaskItem& task, time_t t) {
    switch (task.m_nEndKind) {
        case 1:
            return task.m_nOccurrenceCount >= task.m_nEndAfterCount;
        case 2:
            return t > TaskTime::EndOfDay(task.m_dtEnd);
        default:
            return false;
    }
}

void CSchedule::SetNextSending(CTaskItem& task, time_t t) { task.m_dtNextSending = FromAbsolute(t); }
void CSchedule::SetLastSent(CTaskItem& task, time_t t) { task.m_dtLastSent = FromAbsolute(t); }

int CSchedule::DaysInMonth(int nYear, int nMonth) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nMonth == 2) return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0 ? 29 : 28;
    return nMonth >= 1 && nMonth <= 12 ? kDays[nMonth - 1] : 31;
}

int CSchedule::DayOfMonthFor(int nYear, int nMonth, int o, int nKind) {
    const int dim = DaysInMonth(nYear, nMonth);
    const int w1 = DayOfWeekOf(nYear, nMonth, 1);
    const int wL = DayOfWeekOf(nYear, nMonth, dim);
    const bool bLast = o == 4;
    switch (nKind) {
        case 0:
            return bLast ? dim : o + 1;
        case 1:
            if (bLast) return wL == 1 ? dim - 2 : wL == 7 ? dim - 1 : dim;
            return w1 == 1 ? o + 2 : w1 == 7 ? o + 3 : o + 1 + 2 * ((w1 + o) / 7);
        case 2:
            if (bLast) return wL == 1 || wL == 7 ? dim : dim + 1 - wL;
            return w1 == 1 ? ((o + 1) / 2) * 7 + ((o + 1) % 2) : (o / 2) * 7 + (o % 2) - w1 + 8;
        case 3:
            if (bLast) return dim % 2 == 0 ? dim : dim - 1;
            return 2 * o + 2;
        case 4:
            if (bLast) return dim % 2 == 1 ? dim : dim - 1;
            return 2 * o + 1;
        default:
            break;
    }
    if (nKind > 11) return nKind;
    const int g = nKind - 4;
    const int first = ((g - w1 + 7) % 7) + 1;
    if (bLast) return first + 28 <= dim ? first + 28 : first + 21;
    return first + 7 * o;
}

time_t CSchedule::NowMinute() const { return ToAbsolute(FromAbsolute(m_clock.Now())); }

void CSchedule::CalcNextSending(CTaskItem& task) const {
    const time_t tNow = NowMinute();
    switch (task.m_nRecurrence) {
        case 0: return CalcOnce(task, tNow);
        case 1: return CalcMinutely(task, tNow);
        case 2: return CalcDaily(task, tNow);
        case 3: return CalcWeekly(task, tNow);
        case 4: return CalcMonthly(task, tNow);
        case 5: return CalcYearly(task, tNow);
        default: return;
    }
}

void CSchedule::CalcOnce(CTaskItem& task, time_t tNow) const {
    if (IsSeeded(task, tNow)) SetNextSending(task, ToAbsolute(task.m_dtStart));
    else task.m_dtNextSending.Empty();
}

void CSchedule::CalcMinutely(CTaskItem& task, time_t tNow) const {
    if (IsSeeded(task, tNow)) return SetNextSending(task, ToAbsolute(task.m_dtStart));
    const time_t tLast = ToAbsolute(task.m_dtLastSent);
    const time_t nStep = static_cast<time_t>(task.m_nMinuteInterval) * 60;
    time_t t = tLast + nStep;
    // Where the clocks go back, the fields of the later instance of a wall
    // time read back as the earlier one, so such a time cannot be stored:
    // it would be sent an hour early, minutes after the last occurrence.
    // Those times are passed over; every time that is stored lies a whole
    // number of intervals after the last one.
    if (nStep > 0)
        for (int i = 0; i < 100000 && !ReadsBackAs(t); ++i) t += nStep;
    Store(task, t);
}

void CSchedule::CalcDaily(CTaskItem& task, time_t tNow) const {
    if (task.m_nDailyMode == 0) {
        if (IsSeeded(task, tNow)) return SetNextSending(task, ToAbsolute(task.m_dtStart));
        ResetHourMinute(task);
        return StoreDay(task, ToAbsolute(task.m_dtLastSent) + static_cast<time_t>(task.m_nDailyInterval) * kDay);
    }
    if (task.m_nDailyMode != 1) return;
    if (IsSeeded(task, tNow)) SetLastSent(task, ToAbsolute(task.m_dtStart) - kDay);
    ResetHourMinute(task);
    const time_t t = OnItsDay(task, ToAbsolute(task.m_dtLastSent) + kDay);
    const TaskDateTime dt = FromAbsolute(t);
    const int w = dt.nDayOfWeek;
    switch (task.m_nDailyDayKind) {
        case 0:
            return StoreDay(task, t);
        case 1:
            return StoreDay(task, w == 7 ? t + 2 * kDay : w == 1 ? t + kDay : t);
        case 2:
            return StoreDay(task, w == 7 || w == 1 ? t : t + (7 - w) * kDay);
        case 3: {
            if (dt.nDay % 2 == 0) return StoreDay(task, t);
            const time_t t2 = OnItsDay(task, t + kDay);
            return StoreDay(task, FromAbsolute(t2).nDay % 2 == 1 ? t2 + kDay : t2);
        }
        case 4:
            return StoreDay(task, dt.nDay % 2 == 1 ? t : t + kDay);
        default:
            return;
    }
}

void CSchedule::CalcWeekly(CTaskItem& task, time_t tNow) const {
    ResetHourMinute(task);
    if (IsSeeded(task, tNow)) SetLastSent(task, OnItsDay(task, ToAbsolute(task.m_dtStart) - kDay));
    const time_t L = ToAbsolute(task.m_dtLastSent);

    // The weeks of a month are counted from the 1st, which can lie on the
    // other side of a change of offset than the week itself; there every
    // occurrence is put at the sending time of its day, or the whole month
    // would go out an hour early or late.
    const bool bWall = task.m_nWeeklyMode == 1;
    auto store = [&](time_t t) {
        if (!bWall) return StoreDay(task, t);
        const TaskDateTime dt = FromAbsolute(OnItsDay(task, t));
        Store(task, ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, task.m_dtStart.nHour, task.m_dtStart.nMinute, dt.nSecond));
    };
    auto findInWeek = [&](time_t t) {
        const int w = DayOfWeek(t);
        if (t > L && w == 1 && task.m_bWeekDays[0] == 1) {
            store(t);
            return true;
        }
        for (int k = w + 1; k <= 7; ++k) {
            if (k >= 2 && task.m_bWeekDays[k - 1] == 1) {
                store(t + (k - w) * kDay);
                return true;
            }
        }
        return false;
    };

    if (task.m_nWeeklyMode == 0) {
        if (findInWeek(L)) return;
        const int w = DayOfWeek(L);
        const time_t t = L + (7 * static_cast<time_t>(task.m_nWeeklyInterval) - w + 1) * kDay;
        findInWeek(task.m_nWeeklyInterval > 0 ? OnItsDay(task, t) : t);
        return;
    }
    if (task.m_nWeeklyMode != 1) return;
    if (task.m_nWeeklyWeekOfMonth < 0 || task.m_nWeeklyWeekOfMonth > 2) return;
    const int k = task.m_nWeeklyWeekOfMonth + 2;
    const TaskDateTime dtL = FromAbsolute(L);
    const time_t F = ToAbsolute(dtL.nYear, dtL.nMonth, 1, dtL.nHour, dtL.nMinute, 0);
    const time_t tSat = OnItsDay(task, F + (7 * k - DayOfWeek(F)) * kDay);
    const time_t tSun = OnItsDay(task, tSat - 6 * kDay);
    const int dL = dtL.nDay, dSun = FromAbsolute(tSun).nDay, dSat = FromAbsolute(tSat).nDay;
    if (dSun <= dL && dL < dSat) {
        if (findInWeek(L)) return;
    } else if (dL < dSun) {
        findInWeek(tSun);
        return;
    }
    const int nNextMonth = dtL.nMonth == 12 ? 1 : dtL.nMonth + 1;
    const int nNextYear = dtL.nMonth == 12 ? dtL.nYear + 1 : dtL.nYear;
    const time_t F2 = ToAbsolute(nNextYear, nNextMonth, 1, dtL.nHour, dtL.nMinute, 0);
    findInWeek(OnItsDay(task, F2 + (7 * k - 6 - DayOfWeek(F2)) * kDay));
}

void CSchedule::CalcMonthly(CTaskItem& task, time_t tNow) const {
    const bool bSeeded = IsSeeded(task, tNow);
    if (bSeeded) SetLastSent(task, ToAbsolute(task.m_dtStart));
    ResetHourMinute(task);
    const TaskDateTime& last = task.m_dtLastSent;
    const TaskDateTime& start = task.m_dtStart;
    const bool bMode0 = task.m_nMonthlyMode == 0;
    const int M = bMode0 ? task.m_nMonthlyInterval : task.m_nMonthlyInterval2;
    // Months counted from year 0 in 64 bits: no stored interval can overflow.
    const int64_t nMonths = static_cast<int64_t>(last.nYear) * 12 + (last.nMonth - 1) + M;
    const int64_t nYearAfter64 = nMonths >= 0 ? nMonths / 12 : -((-nMonths + 11) / 12);
    if (nYearAfter64 < 1900 || nYearAfter64 > kLastYear)
        throw CTaskError(CTaskError::kE_FAIL, "invalid date group: year " + std::to_string(nYearAfter64) + " out of range");
    int nYear = static_cast<int>(nYearAfter64), nMonth = static_cast<int>(nMonths - nYearAfter64 * 12) + 1, nDay;
    if (bMode0) {
        nDay = task.m_nMonthlyDay;
        if (bSeeded && nDay >= start.nDay) {
            nYear = start.nYear;
            nMonth = start.nMonth;
        }
    } else {
        if (!ValidOrdinalKind(task.m_nMonthlyOrdinal, task.m_nMonthlyDayKind)) return;
        nDay = -1;
        if (bSeeded) {
            int d = DayOfMonthFor(start.nYear, start.nMonth, task.m_nMonthlyOrdinal, task.m_nMonthlyDayKind);
            if (d >= start.nDay) {
                nYear = start.nYear;
                nMonth = start.nMonth;
                nDay = d;
            }
        }
        if (nDay < 0) nDay = DayOfMonthFor(nYear, nMonth, task.m_nMonthlyOrdinal, task.m_nMonthlyDayKind);
    }
    Store(task, ToAbsolute(nYear, nMonth, nDay, last.nHour, last.nMinute));
}

void CSchedule::CalcYearly(CTaskItem& task, time_t tNow) const {
    const bool bSeeded = IsSeeded(task, tNow);
    if (bSeeded) SetLastSent(task, ToAbsolute(task.m_dtStart));
    const TaskDateTime& last = task.m_dtLastSent;
    const TaskDateTime& start = task.m_dtStart;
    // A seed is start-equal even where its fields differ from the start's
    // (a start in the hour the clocks skip, or a stored day of week that
    // does not match the date); otherwise the start's own year is lost.
    const bool bStartEqual = bSeeded || (last.nYear == start.nYear && last.nMonth == start.nMonth &&
                                         last.nDay == start.nDay && last.nDayOfWeek == start.nDayOfWeek &&
                                         last.nHour == start.nHour && last.nMinute == start.nMinute);
    const int Y = last.nYear;
    if (Y >= kLastYear) throw CTaskError(CTaskError::kE_FAIL, "invalid date group: year " + std::to_string(Y) + " out of range");
    // The sending time is the start's: a last occurrence that a change of
    // offset moved (02:30 on the day the clocks jump) must not carry the
    // moved time into the following years.
    const int nHour = start.nHour, nMinute = start.nMinute;
    auto candidate = [&](bool bEqual) -> time_t {
        if (task.m_nYearlyMode == 0) {
            const int nMonth = task.m_nYearlyMonth + 1, D = task.m_nYearlyDay;
            int nYear = Y + 1;
            if (bEqual) nYear = last.nMonth > nMonth || (last.nMonth == nMonth && last.nDay > D) ? Y + 1 : Y;
            return ToAbsolute(nYear, nMonth, D, nHour, nMinute);
        }
        const int nMonth = task.m_nYearlyMonth2 + 1, o = task.m_nYearlyOrdinal, k = task.m_nYearlyDayKind;
        int nYear = Y + 1;
        if (bEqual) {
            const int d = DayOfMonthFor(Y, nMonth, o, k);
            if (!(last.nMonth > nMonth || (last.nMonth == nMonth && last.nDay > d)))
                return ToAbsolute(Y, nMonth, d, nHour, nMinute);
        }
        return ToAbsolute(nYear, nMonth, DayOfMonthFor(nYear, nMonth, o, k), nHour, nMinute);
    };
    if (task.m_nYearlyMode != 0) {
        if (task.m_nYearlyMonth2 < 0 || task.m_nYearlyMonth2 > 11) return;
        if (!ValidOrdinalKind(task.m_nYearlyOrdinal, task.m_nYearlyDayKind)) return;
    } else if (task.m_nYearlyMonth < 0 || task.m_nYearlyMonth > 11) {
        return;
    }
    time_t t = candidate(bStartEqual);
    // A real occurrence on the start's own date also looks start-equal; it
    // must move on to the following year. Only a seed may give it again.
    if (bStartEqual && !bSeeded && t <= ToAbsolute(last)) t = candidate(false);
    Store(task, t);
}

int CSchedule::CheckDue(CTaskItem& task) const {
    if (task.m_bActive == 0) return 0;
    const time_t tNow = NowMinute();
    if (!task.m_dtNextSending.IsSet()) return 0;
    const time_t X = ToAbsolute(task.m_dtNextSending);
    // The minute's occurrence has been done once the last occurrence is now.
    // A monthly or yearly task keeps its start there as the seed of its
    // first computation; when the start is itself the first occurrence the
    // seed equals the next time, and it must not count as done.
    if (task.m_dtLastSent.IsSet() && tNow == ToAbsolute(task.m_dtLastSent) && tNow != X) return 0;
    if (tNow < X) return 0;
    if (tNow == X || task.m_bSendOverdue) return 1;
    SetLastSent(task, X);
    return -1;
}

// The length of one full turn of the schedule, when the task repeats
// itself exactly after it (in a stretch without offset changes); 0 when it
// does not (calendar months, weeks of the month, even and odd days).
time_t CSchedule::Period(const CTaskItem& task) {
    switch (task.m_nRecurrence) {
        case 1:
            return task.m_nMinuteInterval > 0 ? static_cast<time_t>(task.m_nMinuteInterval) * 60 : 0;
        case 2:
            if (task.m_nDailyMode == 0) return task.m_nDailyInterval > 0 ? task.m_nDailyInterval * kDay : 0;
            if (task.m_nDailyMode != 1) return 0;
            return task.m_nDailyDayKind == 0 ? kDay : task.m_nDailyDayKind <= 2 ? 7 * kDay : 0;
        case 3:
            return task.m_nWeeklyMode == 0 && task.m_nWeeklyInterval > 0 ? 7 * kDay * task.m_nWeeklyInterval : 0;
        default:
            return 0;
    }
}

// The latest occurrence that the one-by-one catch-up would reach from the
// occurrence t by whole turns, staying before the present and the end date.
// Only inside a stretch with one steady offset (with a margin wide enough
// for every look-around of the rules) is the schedule a plain translation.
time_t CSchedule::JumpFrom(const CTaskItem& task, time_t t, time_t tPresent) {
    const time_t nPeriod = Period(task);
    if (nPeriod == 0 || task.m_nEndKind == 1) return t;
    const TaskDateTime dt = FromAbsolute(t);
    if (task.m_nRecurrence != 1 && (dt.nHour != task.m_dtStart.nHour || dt.nMinute != task.m_dtStart.nMinute))
        return t;  // an occurrence moved by a change: step past it one by one
    time_t tLimit = tPresent - 1;
    if (task.m_nEndKind == 2) tLimit = std::min(tLimit, TaskTime::EndOfDay(task.m_dtEnd));
    if (tLimit <= t) return t;
    CZoneRules& zone = CZoneRules::Current();
    if (task.m_nRecurrence == 1) {
        // Minutes are plain seconds: only where the clocks go back do the
        // fields of a time read back as another instant.
        if (zone.InRepeat(t)) return t;
        tLimit = zone.NextRepeat(t, tLimit + 1) - 1;
        return tLimit <= t ? t : t + (tLimit - t) / nPeriod * nPeriod;
    }
    const time_t nMargin = 9 * kDay;
    const time_t tChange = zone.NextChange(t - nMargin, tLimit + nMargin);
    if (tChange < tLimit + nMargin) tLimit = tChange - nMargin - 1;
    if (tLimit <= t) return t;
    return t + (tLimit - t) / nPeriod * nPeriod;
}

void CSchedule::AdvancePastNow(CTaskItem& task) const {
    const time_t tPresent = m_clock.Now();
    task.m_dtLastSent.Empty();
    CalcNextSending(task);
    time_t tPrev = 0;
    bool bFirst = true;
    while (task.m_dtNextSending.IsSet()) {
        const time_t t = ToAbsolute(task.m_dtNextSending);
        if (t >= tPresent) break;
        // An interval of 0 never moves on; stop rather than spin.
        if (!bFirst && t <= tPrev) break;
        bFirst = false;
        tPrev = t;
        const time_t tJump = JumpFrom(task, t, tPresent);
        // The loop would have had tJump as its next time on the way there;
        // a computation that finds nothing keeps it.
        if (tJump != t) SetNextSending(task, tJump);
        SetLastSent(task, tJump);
        CalcNextSending(task);
    }
}
