#include "CStalledTasks.h"

#include "TaskTime.h"

namespace {

std::string OutOfSet(const char* pszWhat, int nValue, const char* pszSet) {
    return std::string(pszWhat) + " " + std::to_string(nValue) + " is not one of " + pszSet;
}

std::string Interval(const char* pszRecurrence, int nValue, const char* pszUnit) {
    return std::string("a ") + pszRecurrence + " task every " + std::to_string(nValue) + " " + pszUnit +
           "s (the interval must be at least 1)";
}

bool In(int nValue, int nLow, int nHigh) { return nValue >= nLow && nValue <= nHigh; }

template <class ECode>
bool In(int nValue, ECode eLow, ECode eHigh) {
    return In(nValue, CodeOf(eLow), CodeOf(eHigh));
}

}  // namespace

std::string CStalledTasks::Why(const CTaskItem& t) {
    switch (t.Recurrence()) {
        case ERecurrence::Minutely:
            if (t.m_nMinuteInterval < 1) return Interval("minutely", t.m_nMinuteInterval, "minute");
            break;
        case ERecurrence::Daily:
            if (!In(t.m_nDailyMode, EDailyMode::EveryNDays, EDailyMode::EveryDayOfKind))
                return OutOfSet("the daily mode", t.m_nDailyMode, "0..1");
            if (t.DailyMode() == EDailyMode::EveryNDays && t.m_nDailyInterval < 1)
                return Interval("daily", t.m_nDailyInterval, "day");
            if (t.DailyMode() == EDailyMode::EveryDayOfKind && !In(t.m_nDailyDayKind, EDayKind::Day, EDayKind::OddDay))
                return OutOfSet("the daily day kind", t.m_nDailyDayKind, "0..4");
            break;
        case ERecurrence::Weekly: {
            if (!In(t.m_nWeeklyMode, EWeeklyMode::EveryNWeeks, EWeeklyMode::WeekOfMonth))
                return OutOfSet("the weekly mode", t.m_nWeeklyMode, "0..1");
            if (t.WeeklyMode() == EWeeklyMode::EveryNWeeks && t.m_nWeeklyInterval < 1)
                return Interval("weekly", t.m_nWeeklyInterval, "week");
            if (t.WeeklyMode() == EWeeklyMode::WeekOfMonth &&
                !In(t.m_nWeeklyWeekOfMonth, EWeekOfMonth::Second, EWeekOfMonth::Fourth))
                return OutOfSet("the week of the month", t.m_nWeeklyWeekOfMonth, "0..2");
            bool bAnyDay = false;
            for (int32_t b : t.m_bWeekDays) bAnyDay = bAnyDay || b != 0;
            if (!bAnyDay) return "a weekly task with no day ticked";
            break;
        }
        case ERecurrence::Monthly:
            if (t.MonthlyMode() == EMonthlyMode::DayOfMonth) {
                if (t.m_nMonthlyInterval < 1) return Interval("monthly", t.m_nMonthlyInterval, "month");
                if (!In(t.m_nMonthlyDay, 1, 31)) return OutOfSet("the day of the month", t.m_nMonthlyDay, "1..31");
            } else {
                if (t.m_nMonthlyInterval2 < 1) return Interval("monthly", t.m_nMonthlyInterval2, "month");
                if (!In(t.m_nMonthlyOrdinal, EOrdinal::First, EOrdinal::Last))
                    return OutOfSet("the monthly ordinal", t.m_nMonthlyOrdinal, "0..4");
                if (!In(t.m_nMonthlyDayKind, EDayKind::Day, EDayKind::Saturday))
                    return OutOfSet("the monthly day kind", t.m_nMonthlyDayKind, "0..11");
            }
            break;
        case ERecurrence::Yearly:
            if (!In(t.m_nYearlyMode, EYearlyMode::MonthAndDay, EYearlyMode::OrdinalDay))
                return OutOfSet("the yearly mode", t.m_nYearlyMode, "0..1");
            if (t.YearlyMode() == EYearlyMode::MonthAndDay) {
                if (!In(t.m_nYearlyMonth, 0, 11)) return OutOfSet("the yearly month", t.m_nYearlyMonth, "0..11");
                if (!In(t.m_nYearlyDay, 1, 31)) return OutOfSet("the yearly day", t.m_nYearlyDay, "1..31");
            } else {
                if (!In(t.m_nYearlyOrdinal, EOrdinal::First, EOrdinal::Last))
                    return OutOfSet("the yearly ordinal", t.m_nYearlyOrdinal, "0..4");
                if (!In(t.m_nYearlyDayKind, EDayKind::Day, EDayKind::Saturday))
                    return OutOfSet("the yearly day kind", t.m_nYearlyDayKind, "0..11");
                if (!In(t.m_nYearlyMonth2, 0, 11)) return OutOfSet("the yearly month", t.m_nYearlyMonth2, "0..11");
            }
            break;
        default: break;
    }
    return "its next sending time does not move past the occurrence just handled";
}

void CStalledTasks::Note(CTaskList::Id nId, const CTaskItem& task, std::string strWhy) {
    m_mapNotes[nId] = {task.m_nOccurrenceCount, task.m_dtLastSent, std::move(strWhy)};
}

const std::string* CStalledTasks::Reason(CTaskList::Id nId, const CTaskItem& task) const {
    const auto it = m_mapNotes.find(nId);
    if (it == m_mapNotes.end() || task.m_dtNextSending.IsSet() ||
        task.m_nOccurrenceCount != it->second.nOccurrenceCount || !(task.m_dtLastSent == it->second.dtLastSent))
        return nullptr;
    return &it->second.strWhy;
}

bool CStalledTasks::NoteDamagedLastSent(CTaskList::Id nId, const CTaskItem& task) {
    const auto [it, bNew] = m_mapDamaged.try_emplace(nId, task.m_dtLastSent);
    if (!bNew && it->second == task.m_dtLastSent) return false;
    it->second = task.m_dtLastSent;
    return true;
}
