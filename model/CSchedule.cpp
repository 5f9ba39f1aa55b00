#include "CSchedule.h"

#include <algorithm>
#include <cstdlib>

#include "CZoneHold.h"
#include "CZoneRules.h"
#include "TaskTime.h"

namespace {

// Years beyond this are refused as a date group out of range, so that month
// and year arithmetic on stored values can never overflow.
constexpr int kLastYear = TaskTime::kLastYear;

using TaskTime::FromAbsolute;
using TaskTime::ToAbsolute;

// Days of week as the breakdown gives them.
constexpr int kSunday = 1;
constexpr int kSaturday = 7;

// Every schedule but the minutely one counts calendar days: an occurrence is
// a date, sent at the start's hour and minute on the clock of that day, so
// a change of offset never moves it. Only the date's own conversion meets
// the change: a time the clocks skip goes out as far after it as the jump
// (02:30 on the day of 02:00 -> 03:00 at 03:30), a time they repeat once.
int64_t DayOf(const TaskDateTime& dt) { return TaskTime::DayNumber(dt.nYear, dt.nMonth, dt.nDay); }

// nSecond is only what the stored group keeps; conversions compare minutes.
CResult<time_t> AtSendingTime(const CTaskItem& task, int64_t nDay, int nSecond = 1) {
    const TaskDateTime dt = TaskTime::DateOfDay(nDay);
    if (dt.nYear > kLastYear) return CProblem("invalid date group: year " + std::to_string(dt.nYear) + " out of range");
    return ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, task.m_dtStart.nHour, task.m_dtStart.nMinute, nSecond);
}

CResult<bool> IsSeeded(const CTaskItem& task, time_t tNow) {
    QUILLORY_TRY_VALUE(const time_t tStart, ToAbsolute(task.m_dtStart));
    if (tNow < tStart || !task.m_dtLastSent.IsSet()) return true;
    QUILLORY_TRY_VALUE(const time_t tLast, ToAbsolute(task.m_dtLastSent));
    return tStart > tLast;
}

// The first occurrence: the start itself.
CResult<> NextAtStart(CTaskItem& task) {
    QUILLORY_TRY_VALUE(const time_t tStart, ToAbsolute(task.m_dtStart));
    CSchedule::SetNextSending(task, tStart);
    return {};
}

// The seed of a daily or weekly run: the day before the start.
CResult<> SeedDayBefore(CTaskItem& task) {
    QUILLORY_TRY_VALUE(const time_t tSeed, AtSendingTime(task, DayOf(task.m_dtStart) - 1));
    CSchedule::SetLastSent(task, tSeed);
    return {};
}

// Minutes from the sending time to the time of day of dt, -1439..1439.
int FromSendingTime(const CTaskItem& task, const TaskDateTime& dt) {
    return dt.nHour * 60 + dt.nMinute - (task.m_dtStart.nHour * 60 + task.m_dtStart.nMinute);
}

// The day the occurrence stored as dt belongs to. A sending time near
// midnight can be stored on the neighbouring date: moved over midnight by a
// jump of the clocks, or so stored by an earlier version that counted days
// as 86,400 seconds (23:30 plus one day across the spring change was 00:30).
// A time more than twelve hours from the sending time belongs to the day
// on that side.
int64_t OccurrenceDay(const CTaskItem& task, const TaskDateTime& dt) {
    const int nFrom = FromSendingTime(task, dt);
    return DayOf(dt) + (nFrom > 720 ? 1 : nFrom < -720 ? -1 : 0);
}

// The last occurrence at the start's hour and minute, on the day it belongs to.
CResult<> ResetHourMinute(CTaskItem& task) {
    if (task.m_dtLastSent.IsSet() && TaskTime::CheckGroup(task.m_dtLastSent).Ok()) {
        const int64_t nDay = OccurrenceDay(task, task.m_dtLastSent);
        if (nDay != DayOf(task.m_dtLastSent)) {
            const TaskDateTime dt = TaskTime::DateOfDay(nDay);
            task.m_dtLastSent.nYear = dt.nYear;
            task.m_dtLastSent.nMonth = dt.nMonth;
            task.m_dtLastSent.nDay = dt.nDay;
            task.m_dtLastSent.nDayOfWeek = dt.nDayOfWeek;
        }
    }
    task.m_dtLastSent.nHour = task.m_dtStart.nHour;
    task.m_dtLastSent.nMinute = task.m_dtStart.nMinute;
    return {};
}

// The day of the last occurrence, once its group is known to be valid.
CResult<int64_t> LastDay(const CTaskItem& task) {
    if (auto r = TaskTime::CheckGroup(task.m_dtLastSent); !r) return CProblem("invalid date group: " + r.Problem());
    return OccurrenceDay(task, task.m_dtLastSent);
}

CResult<> Store(CTaskItem& task, time_t t) {
    QUILLORY_TRY_VALUE(const bool bEnded, CSchedule::IsTaskEnded(task, t));
    if (bEnded) task.m_dtNextSending.Empty();
    else CSchedule::SetNextSending(task, t);
    return {};
}

// Stores the occurrence on day nDay.
CResult<> StoreDay(CTaskItem& task, int64_t nDay, int nSecond = 1) {
    QUILLORY_TRY_VALUE(const time_t t, AtSendingTime(task, nDay, nSecond));
    return Store(task, t);
}

// Whether the fields dt, the breakdown of t, convert back to t itself: not
// so for the later instance of a wall time that the clocks repeat.
CResult<bool> ReadsBackAs(const TaskDateTime& dt, time_t t) {
    QUILLORY_TRY_VALUE(const time_t tBack, ToAbsolute(dt));
    return tBack + (dt.nSecond - 1) == t;
}

CResult<bool> ReadsBackAs(time_t t) { return ReadsBackAs(FromAbsolute(t), t); }

// Whether the machine's fields of t read back as t. A task in a zone of its
// own is computed there, but its times are kept in the machine's fields:
// one the machine's clocks repeat would be read an hour early.
bool MachineReadsBackAs(time_t t) {
    CZoneRules& machine = CZoneRules::Machine();
    if (&machine == &CZoneRules::Current()) return true;  // ReadsBackAs said so
    long nOffset = 0;
    time_t tBack = 0;
    return !machine.OffsetAt(t, nOffset) || !machine.WallToAbsolute(t + nOffset, tBack) || tBack == t;
}

bool ValidOrdinalKind(int nOrdinal, int nKind) {
    return nOrdinal >= CodeOf(EOrdinal::First) && nOrdinal <= CodeOf(EOrdinal::Last) &&
           nKind >= CodeOf(EDayKind::Day) && nKind <= CodeOf(EDayKind::Saturday);
}

CResult<int> DayOfWeekOf(int nYear, int nMonth, int nDay) {
    if (auto r = TaskTime::CheckGroup(TaskDate{nYear, nMonth, nDay, 0}); !r)
        return CProblem("invalid date group: " + r.Problem());
    return TaskTime::DayOfWeek(TaskTime::DayNumber(nYear, nMonth, nDay));
}

}  // namespace

CResult<bool> CSchedule::IsTaskEnded(const CTaskItem& task, time_t t) {
    switch (task.EndKind()) {
        case EEndKind::AfterCount: return task.m_nOccurrenceCount >= task.m_nEndAfterCount;
        case EEndKind::EndDate: {
            QUILLORY_TRY_VALUE(const time_t tEnd, TaskTime::EndOfDay(task.m_dtEnd));
            return t > tEnd;
        }
        default: return false;
    }
}

void CSchedule::SetNextSending(CTaskItem& task, time_t t) { task.m_dtNextSending = FromAbsolute(t); }
void CSchedule::SetLastSent(CTaskItem& task, time_t t) { task.m_dtLastSent = FromAbsolute(t); }

int CSchedule::DaysInMonth(int nYear, int nMonth) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nMonth == 2) return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0 ? 29 : 28;
    return nMonth >= 1 && nMonth <= 12 ? kDays[nMonth - 1] : 31;
}

CResult<int> CSchedule::DayOfMonthFor(int nYear, int nMonth, int nOrdinal, int nKind) {
    const int nDays = DaysInMonth(nYear, nMonth);
    QUILLORY_TRY_VALUE(const int nFirstWeekday, DayOfWeekOf(nYear, nMonth, 1));
    QUILLORY_TRY_VALUE(const int nLastWeekday, DayOfWeekOf(nYear, nMonth, nDays));
    const bool bLast = static_cast<EOrdinal>(nOrdinal) == EOrdinal::Last;
    switch (static_cast<EDayKind>(nKind)) {
        case EDayKind::Day: return bLast ? nDays : nOrdinal + 1;
        case EDayKind::Weekday:
            if (bLast) return nLastWeekday == kSunday ? nDays - 2 : nLastWeekday == kSaturday ? nDays - 1 : nDays;
            // From a Monday to Friday 1st, every weekend passed adds two days:
            // ordinal + 1 + 2 x ((first weekday + ordinal) div 7).
            if (nFirstWeekday == kSunday) return nOrdinal + 2;
            if (nFirstWeekday == kSaturday) return nOrdinal + 3;
            return nOrdinal + 1 + 2 * ((nFirstWeekday + nOrdinal) / 7);
        case EDayKind::WeekendDay:
            if (bLast) return nLastWeekday == kSunday || nLastWeekday == kSaturday ? nDays : nDays + 1 - nLastWeekday;
            // Weekend days come in pairs a week apart: Sunday-first months
            // pair Sunday with the next Saturday, others Saturday with Sunday.
            if (nFirstWeekday == kSunday) return ((nOrdinal + 1) / 2) * 7 + ((nOrdinal + 1) % 2);
            return (nOrdinal / 2) * 7 + (nOrdinal % 2) - nFirstWeekday + 8;
        case EDayKind::EvenDay:
            if (bLast) return nDays % 2 == 0 ? nDays : nDays - 1;
            return 2 * nOrdinal + 2;
        case EDayKind::OddDay:
            if (bLast) return nDays % 2 == 1 ? nDays : nDays - 1;
            return 2 * nOrdinal + 1;
        default: break;
    }
    if (nKind > CodeOf(EDayKind::Saturday)) return nKind;
    // A named day: its day of week is kind - 4 (1 = Sunday), and its first
    // date in the month is ((day of week - first weekday + 7) mod 7) + 1.
    const int nWeekday = nKind - 4;
    const int nFirstDate = ((nWeekday - nFirstWeekday + 7) % 7) + 1;
    if (bLast) return nFirstDate + 28 <= nDays ? nFirstDate + 28 : nFirstDate + 21;
    return nFirstDate + 7 * nOrdinal;
}

CResult<time_t> CSchedule::NowMinute() const { return ToAbsolute(FromAbsolute(m_clock.Now())); }

CResult<CSchedule::EAdvance> CSchedule::Advance(CTaskItem& task) const {
    ++task.m_nOccurrenceCount;
    QUILLORY_TRY_VALUE(const time_t tOccurrence, ToAbsolute(task.m_dtNextSending));
    SetLastSent(task, tOccurrence);
    QUILLORY_TRY(CalcNextSending(task));
    if (!task.m_dtNextSending.IsSet()) return EAdvance::kEnded;
    QUILLORY_TRY_VALUE(const time_t tNext, ToAbsolute(task.m_dtNextSending));
    if (tNext > tOccurrence) return EAdvance::kMoved;
    task.m_dtNextSending.Empty();
    return EAdvance::kStuck;
}

CResult<> CSchedule::CalcNextSending(CTaskItem& task) const {
    const CZoneHold hold;
    QUILLORY_TRY_VALUE(const time_t tNow, NowMinute());
    switch (task.Recurrence()) {
        case ERecurrence::Once: return CalcOnce(task, tNow);
        case ERecurrence::Minutely: return CalcMinutely(task, tNow);
        case ERecurrence::Daily: return CalcDaily(task, tNow);
        case ERecurrence::Weekly: return CalcWeekly(task, tNow);
        case ERecurrence::Monthly: return CalcMonthly(task, tNow);
        case ERecurrence::Yearly: return CalcYearly(task, tNow);
        default: return {};
    }
}

CResult<> CSchedule::CalcOnce(CTaskItem& task, time_t tNow) const {
    QUILLORY_TRY_VALUE(const bool bSeeded, IsSeeded(task, tNow));
    if (bSeeded) return NextAtStart(task);
    task.m_dtNextSending.Empty();
    return {};
}

CResult<> CSchedule::CalcMinutely(CTaskItem& task, time_t tNow) const {
    QUILLORY_TRY_VALUE(const bool bSeeded, IsSeeded(task, tNow));
    if (bSeeded) return NextAtStart(task);
    QUILLORY_TRY_VALUE(const time_t tLast, ToAbsolute(task.m_dtLastSent));
    const time_t nStep = static_cast<time_t>(task.m_nMinuteInterval) * 60;
    time_t t = tLast + nStep;
    // Where the clocks go back, the fields of the later instance of a wall
    // time read back as the earlier one, so such a time cannot be stored:
    // it would be sent an hour early, minutes after the last occurrence.
    // Those times are passed over; every time that is stored lies a whole
    // number of intervals after the last one.
    for (int i = 0; nStep > 0 && i < 100000; ++i) {
        QUILLORY_TRY_VALUE(const bool bReadsBack, ReadsBackAs(t));
        if (bReadsBack && MachineReadsBackAs(t)) break;
        t += nStep;
    }
    return Store(task, t);
}

CResult<> CSchedule::CalcDaily(CTaskItem& task, time_t tNow) const {
    const bool bEveryN = task.DailyMode() == EDailyMode::EveryNDays;
    if (!bEveryN && task.DailyMode() != EDailyMode::EveryDayOfKind) return {};
    QUILLORY_TRY_VALUE(const bool bSeeded, IsSeeded(task, tNow));
    if (bEveryN && bSeeded) return NextAtStart(task);
    if (bSeeded) QUILLORY_TRY(SeedDayBefore(task));
    QUILLORY_TRY(ResetHourMinute(task));
    QUILLORY_TRY_VALUE(const int64_t nLast, LastDay(task));
    if (bEveryN) return StoreDay(task, nLast + task.m_nDailyInterval);
    const int64_t nDay = nLast + 1;
    const int nWeekday = TaskTime::DayOfWeek(nDay);
    const bool bEven = TaskTime::DateOfDay(nDay).nDay % 2 == 0;
    switch (task.DailyDayKind()) {
        case EDayKind::Day: return StoreDay(task, nDay);
        case EDayKind::Weekday:
            return StoreDay(task, nWeekday == kSaturday ? nDay + 2 : nWeekday == kSunday ? nDay + 1 : nDay);
        case EDayKind::WeekendDay:
            // A weekday moves on to its week's Saturday.
            return StoreDay(task, nWeekday == kSaturday || nWeekday == kSunday ? nDay : nDay + (7 - nWeekday));
        case EDayKind::EvenDay:
            if (bEven) return StoreDay(task, nDay);
            // The 31st is followed by the odd 1st: one day more.
            return StoreDay(task, TaskTime::DateOfDay(nDay + 1).nDay % 2 == 1 ? nDay + 2 : nDay + 1);
        case EDayKind::OddDay: return StoreDay(task, bEven ? nDay + 1 : nDay);
        default: return {};
    }
}

CResult<> CSchedule::CalcWeekly(CTaskItem& task, time_t tNow) const {
    QUILLORY_TRY(ResetHourMinute(task));
    QUILLORY_TRY_VALUE(const bool bSeeded, IsSeeded(task, tNow));
    if (bSeeded) QUILLORY_TRY(SeedDayBefore(task));
    QUILLORY_TRY_VALUE(const int64_t nLast, LastDay(task));

    // The first ticked day of nDay's week (Sunday to Saturday) after nDay
    // itself, stored; nDay only when it is a Sunday after the last
    // occurrence. False when the week has none. nSecond is the stored
    // group's second: a day found from a month's row is counted from the
    // 1st at second 0, which the stored bytes keep.
    auto findInWeek = [&](int64_t nDay, int nSecond = 1) -> CResult<bool> {
        const int nWeekday = TaskTime::DayOfWeek(nDay);
        if (nDay > nLast && nWeekday == kSunday && task.m_bWeekDays[kSunday - 1] == 1) {
            QUILLORY_TRY(StoreDay(task, nDay, nSecond));
            return true;
        }
        for (int nOther = nWeekday + 1; nOther <= kSaturday; ++nOther) {
            if (nOther > kSunday && task.m_bWeekDays[nOther - 1] == 1) {
                QUILLORY_TRY(StoreDay(task, nDay + (nOther - nWeekday), nSecond));
                return true;
            }
        }
        return false;
    };
    // The search of a last week: whether it found a day matters no more.
    auto findInLastWeek = [&](int64_t nDay, int nSecond = 1) -> CResult<> {
        QUILLORY_TRY(findInWeek(nDay, nSecond));
        return {};
    };

    if (task.WeeklyMode() == EWeeklyMode::EveryNWeeks) {
        QUILLORY_TRY_VALUE(const bool bFound, findInWeek(nLast));
        if (bFound) return {};
        // The Sunday of the week m_nWeeklyInterval weeks after the last one's:
        // last + (7 x interval - weekday + 1) days.
        return findInLastWeek(nLast + 7 * static_cast<int64_t>(task.m_nWeeklyInterval) - TaskTime::DayOfWeek(nLast) +
                              1);
    }
    if (task.WeeklyMode() != EWeeklyMode::WeekOfMonth) return {};
    if (task.m_nWeeklyWeekOfMonth < CodeOf(EWeekOfMonth::Second) ||
        task.m_nWeeklyWeekOfMonth > CodeOf(EWeekOfMonth::Fourth))
        return {};
    // The row of the month, 2..4; row 1 is the Sunday-to-Saturday row that
    // holds the 1st, so rows 2..4 lie wholly inside the month.
    const int nRow = task.m_nWeeklyWeekOfMonth + 2;
    const TaskDateTime dtLast = TaskTime::DateOfDay(nLast);
    const int64_t nFirst = TaskTime::DayNumber(dtLast.nYear, dtLast.nMonth, 1);
    // The row ends on the Saturday (7 x row - weekday of the 1st) days after the 1st.
    const int64_t nSat = nFirst + 7 * nRow - TaskTime::DayOfWeek(nFirst), nSun = nSat - 6;
    if (nSun <= nLast && nLast < nSat) {
        QUILLORY_TRY_VALUE(const bool bFound, findInWeek(nLast));
        if (bFound) return {};
    } else if (nLast < nSun) {
        return findInLastWeek(nSun, 0);
    }
    // The row's Sunday in the next month, (7 x row - 6 - weekday of its 1st)
    // days after its 1st.
    const int64_t nFirstOfNext = TaskTime::DayNumber(dtLast.nYear, dtLast.nMonth + 1, 1);
    return findInLastWeek(nFirstOfNext + 7 * nRow - 6 - TaskTime::DayOfWeek(nFirstOfNext), 0);
}

CResult<> CSchedule::CalcMonthly(CTaskItem& task, time_t tNow) const {
    QUILLORY_TRY_VALUE(const bool bSeeded, IsSeeded(task, tNow));
    if (bSeeded) {
        QUILLORY_TRY_VALUE(const time_t tStart, ToAbsolute(task.m_dtStart));
        SetLastSent(task, tStart);
    }
    QUILLORY_TRY(ResetHourMinute(task));
    const TaskDateTime& last = task.m_dtLastSent;
    const TaskDateTime& start = task.m_dtStart;
    // Any mode but day-of-month counts as the ordinal day.
    const bool bDayOfMonth = task.MonthlyMode() == EMonthlyMode::DayOfMonth;
    const int nMonthsAhead = bDayOfMonth ? task.m_nMonthlyInterval : task.m_nMonthlyInterval2;
    // Months counted from year 0 in 64 bits: no stored interval can overflow.
    const int64_t nMonths = static_cast<int64_t>(last.nYear) * 12 + (last.nMonth - 1) + nMonthsAhead;
    const int64_t nYearAfter64 = nMonths >= 0 ? nMonths / 12 : -((-nMonths + 11) / 12);
    if (nYearAfter64 < 1900 || nYearAfter64 > kLastYear)
        return CProblem("invalid date group: year " + std::to_string(nYearAfter64) + " out of range");
    int nYear = static_cast<int>(nYearAfter64), nMonth = static_cast<int>(nMonths - nYearAfter64 * 12) + 1, nDay;
    if (bDayOfMonth) {
        nDay = task.m_nMonthlyDay;
        if (bSeeded && nDay >= start.nDay) {
            nYear = start.nYear;
            nMonth = start.nMonth;
        }
    } else {
        if (!ValidOrdinalKind(task.m_nMonthlyOrdinal, task.m_nMonthlyDayKind)) return {};
        nDay = -1;
        if (bSeeded) {
            QUILLORY_TRY_VALUE(const int nStartMonthDay, DayOfMonthFor(start.nYear, start.nMonth,
                                                                       task.m_nMonthlyOrdinal, task.m_nMonthlyDayKind));
            if (nStartMonthDay >= start.nDay) {
                nYear = start.nYear;
                nMonth = start.nMonth;
                nDay = nStartMonthDay;
            }
        }
        if (nDay < 0) {
            QUILLORY_TRY_VALUE(nDay, DayOfMonthFor(nYear, nMonth, task.m_nMonthlyOrdinal, task.m_nMonthlyDayKind));
        }
    }
    QUILLORY_TRY_VALUE(const time_t t, ToAbsolute(nYear, nMonth, nDay, last.nHour, last.nMinute));
    return Store(task, t);
}

CResult<> CSchedule::CalcYearly(CTaskItem& task, time_t tNow) const {
    QUILLORY_TRY_VALUE(const bool bSeeded, IsSeeded(task, tNow));
    if (bSeeded) {
        QUILLORY_TRY_VALUE(const time_t tStart, ToAbsolute(task.m_dtStart));
        SetLastSent(task, tStart);
    }
    const TaskDateTime& last = task.m_dtLastSent;
    const TaskDateTime& start = task.m_dtStart;
    // A seed is start-equal even where its fields differ from the start's
    // (a start in the hour the clocks skip, or a stored day of week that
    // does not match the date); otherwise the start's own year is lost.
    const bool bStartEqual =
        bSeeded || (last.nYear == start.nYear && last.nMonth == start.nMonth && last.nDay == start.nDay &&
                    last.nDayOfWeek == start.nDayOfWeek && last.nHour == start.nHour && last.nMinute == start.nMinute);
    const int nLastYear = last.nYear;
    if (nLastYear >= kLastYear)
        return CProblem("invalid date group: year " + std::to_string(nLastYear) + " out of range");
    // The sending time is the start's: a last occurrence that a change of
    // offset moved (02:30 on the day the clocks jump) must not carry the
    // moved time into the following years.
    const int nHour = start.nHour, nMinute = start.nMinute;
    auto candidate = [&](bool bEqual) -> CResult<time_t> {
        // Only a start-equal run may still take the last occurrence's own
        // year, when the date lies ahead of it in that year.
        if (task.YearlyMode() == EYearlyMode::MonthAndDay) {
            const int nMonth = task.m_nYearlyMonth + 1, nDay = task.m_nYearlyDay;
            int nYear = nLastYear + 1;
            if (bEqual)
                nYear = last.nMonth > nMonth || (last.nMonth == nMonth && last.nDay > nDay) ? nLastYear + 1 : nLastYear;
            return ToAbsolute(nYear, nMonth, nDay, nHour, nMinute);
        }
        const int nMonth = task.m_nYearlyMonth2 + 1, nOrdinal = task.m_nYearlyOrdinal, nKind = task.m_nYearlyDayKind;
        int nYear = nLastYear + 1;
        if (bEqual) {
            QUILLORY_TRY_VALUE(const int nDay, DayOfMonthFor(nLastYear, nMonth, nOrdinal, nKind));
            if (!(last.nMonth > nMonth || (last.nMonth == nMonth && last.nDay > nDay)))
                return ToAbsolute(nLastYear, nMonth, nDay, nHour, nMinute);
        }
        QUILLORY_TRY_VALUE(const int nDay, DayOfMonthFor(nYear, nMonth, nOrdinal, nKind));
        return ToAbsolute(nYear, nMonth, nDay, nHour, nMinute);
    };
    if (task.YearlyMode() != EYearlyMode::MonthAndDay) {
        if (task.m_nYearlyMonth2 < 0 || task.m_nYearlyMonth2 > 11) return {};
        if (!ValidOrdinalKind(task.m_nYearlyOrdinal, task.m_nYearlyDayKind)) return {};
    } else if (task.m_nYearlyMonth < 0 || task.m_nYearlyMonth > 11) {
        return {};
    }
    QUILLORY_TRY_VALUE(time_t t, candidate(bStartEqual));
    // A real occurrence on the start's own date also looks start-equal; it
    // must move on to the following year. Only a seed may give it again.
    if (bStartEqual && !bSeeded) {
        QUILLORY_TRY_VALUE(const time_t tLast, ToAbsolute(last));
        if (t <= tLast) {
            QUILLORY_TRY_VALUE(t, candidate(false));
        }
    }
    return Store(task, t);
}

CResult<CSchedule::EDue> CSchedule::CheckDue(CTaskItem& task) const {
    const CZoneHold hold;
    if (task.m_bActive == 0) return kNotDue;
    QUILLORY_TRY_VALUE(const time_t tNow, NowMinute());
    if (!task.m_dtNextSending.IsSet()) return kNotDue;
    QUILLORY_TRY_VALUE(const time_t tNext, ToAbsolute(task.m_dtNextSending));
    // The minute's occurrence has been done once the last occurrence is now.
    // A monthly or yearly task keeps its start there as the seed of its
    // first computation; when the start is itself the first occurrence the
    // seed equals the next time, and it must not count as done.
    // A last occurrence that cannot be converted (a damaged or hand-edited
    // list) cannot be this minute's; the next time alone decides, and the
    // advance after the send writes a sound one.
    if (task.m_dtLastSent.IsSet()) {
        const auto rLast = ToAbsolute(task.m_dtLastSent);
        if (rLast && tNow == *rLast && tNow != tNext) return kNotDue;
    }
    if (tNow < tNext) return kNotDue;
    if (tNow == tNext || task.m_bSendOverdue) return kSendNow;
    SetLastSent(task, tNext);
    return kSkipped;
}

// The length of one full turn of the schedule, when the task repeats itself
// exactly after it: minutes for a minutely task, calendar days for the
// others; 0 when it does not (calendar months, weeks of the month, even and
// odd days).
int64_t CSchedule::Period(const CTaskItem& task) {
    switch (task.Recurrence()) {
        case ERecurrence::Minutely: return task.m_nMinuteInterval > 0 ? task.m_nMinuteInterval : 0;
        case ERecurrence::Daily:
            if (task.DailyMode() == EDailyMode::EveryNDays)
                return task.m_nDailyInterval > 0 ? task.m_nDailyInterval : 0;
            if (task.DailyMode() != EDailyMode::EveryDayOfKind) return 0;
            // Weekdays and weekend days repeat weekly; even and odd days
            // follow the lengths of the months.
            return task.DailyDayKind() == EDayKind::Day                   ? 1
                   : task.m_nDailyDayKind <= CodeOf(EDayKind::WeekendDay) ? 7
                                                                          : 0;
        case ERecurrence::Weekly:
            return task.WeeklyMode() == EWeeklyMode::EveryNWeeks && task.m_nWeeklyInterval > 0
                       ? 7 * static_cast<int64_t>(task.m_nWeeklyInterval)
                       : 0;
        default: return 0;
    }
}

// The latest occurrence that the one-by-one catch-up would reach from the
// occurrence t by whole turns, staying before the present and the end date.
CResult<time_t> CSchedule::JumpFrom(const CTaskItem& task, time_t t, time_t tPresent) {
    const int64_t nPeriod = Period(task);
    if (nPeriod == 0 || task.EndKind() == EEndKind::AfterCount) return t;
    const TaskDateTime dt = FromAbsolute(t);
    if (task.Recurrence() != ERecurrence::Minutely &&
        (dt.nHour != task.m_dtStart.nHour || dt.nMinute != task.m_dtStart.nMinute))
        return t;  // an occurrence moved by a jump of the clocks: step past it one by one
    time_t tLimit = tPresent - 1;
    if (task.EndKind() == EEndKind::EndDate) {
        QUILLORY_TRY_VALUE(const time_t tEnd, TaskTime::EndOfDay(task.m_dtEnd));
        tLimit = std::min(tLimit, tEnd);
    }
    if (tLimit <= t) return t;
    if (task.Recurrence() == ERecurrence::Minutely) {
        // Minutes are plain seconds: only where the clocks go back do the
        // fields of a time read back as another instant.
        // The machine's repeats count too, for a task in a zone of its own.
        CZoneRules& zone = CZoneRules::Current();
        CZoneRules& machine = CZoneRules::Machine();
        if (zone.InRepeat(t) || machine.InRepeat(t)) return t;
        tLimit = std::min(zone.NextRepeat(t, tLimit + 1), machine.NextRepeat(t, tLimit + 1)) - 1;
        const time_t nStep = nPeriod * 60;
        return tLimit <= t ? t : t + (tLimit - t) / nStep * nStep;
    }
    // Whole turns of calendar days. The sending times of the days grow with
    // the days and lie within a change of offset of a plain count of
    // seconds, so the count is right or one turn off either way.
    const int64_t nDay = DayOf(dt);
    int64_t nTurns = (tLimit - t) / (nPeriod * 86400);
    QUILLORY_TRY_VALUE(time_t tAt, AtSendingTime(task, nDay + nTurns * nPeriod));
    while (nTurns > 0 && tAt > tLimit) {
        --nTurns;
        QUILLORY_TRY_VALUE(tAt, AtSendingTime(task, nDay + nTurns * nPeriod));
    }
    for (;;) {
        QUILLORY_TRY_VALUE(const time_t tNext, AtSendingTime(task, nDay + (nTurns + 1) * nPeriod));
        if (tNext > tLimit) break;
        ++nTurns;
        tAt = tNext;
    }
    return tAt;
}

CResult<> CSchedule::ScheduleAnew(CTaskItem& task, bool bNewTask, time_t tNow) const {
    const CZoneHold hold;
    const TaskDateTime& s = task.m_dtStart;  // with its seconds, as the sheet reads them
    QUILLORY_TRY_VALUE(const time_t tStart, ToAbsolute(s.nYear, s.nMonth, s.nDay, s.nHour, s.nMinute, s.nSecond));
    if (bNewTask || tStart >= tNow) return CalcNextSending(task);
    return AdvancePastNow(task);
}

CResult<> CSchedule::AdvancePastNow(CTaskItem& task) const {
    const CZoneHold hold;
    const time_t tPresent = m_clock.Now();
    task.m_dtLastSent.Empty();
    QUILLORY_TRY(CalcNextSending(task));
    time_t tPrev = 0;
    bool bFirst = true;
    while (task.m_dtNextSending.IsSet()) {
        QUILLORY_TRY_VALUE(const time_t t, ToAbsolute(task.m_dtNextSending));
        if (t >= tPresent) break;
        // An interval of 0 never moves on; stop rather than spin.
        if (!bFirst && t <= tPrev) break;
        bFirst = false;
        tPrev = t;
        QUILLORY_TRY_VALUE(const time_t tJump, JumpFrom(task, t, tPresent));
        // The loop would have had tJump as its next time on the way there;
        // a computation that finds nothing keeps it.
        if (tJump != t) SetNextSending(task, tJump);
        SetLastSent(task, tJump);
        QUILLORY_TRY(CalcNextSending(task));
    }
    return {};
}
