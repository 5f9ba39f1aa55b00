#include "CStalledTasks.h"

#include "ScheduleRanges.h"
#include "TaskTime.h"

namespace {

namespace R = ScheduleRanges;

std::string OutOfSet(const char* pszWhat, int nValue, R::CRange range) {
    return std::string(pszWhat) + " " + std::to_string(nValue) + " is not one of " + range.Text();
}

std::string Interval(const char* pszRecurrence, int nValue, const char* pszUnit) {
    return std::string("a ") + pszRecurrence + " task every " + std::to_string(nValue) + " " + pszUnit +
           "s (the interval must be at least 1)";
}

}  // namespace

std::string CStalledTasks::Why(const CTaskItem& t) {
    // The first value outside its range, in words; empty when none is.
    std::string strWhy;
    const auto outside = [&](const char* pszWhat, int32_t n, R::CRange range) {
        if (strWhy.empty() && !range.Holds(n)) strWhy = OutOfSet(pszWhat, n, range);
        return !strWhy.empty();
    };
    switch (t.Recurrence()) {
        case ERecurrence::Minutely:
            if (t.m_nMinuteInterval < 1) return Interval("minutely", t.m_nMinuteInterval, "minute");
            break;
        case ERecurrence::Daily:
            if (outside("the daily mode", t.m_nDailyMode, R::kDailyMode)) return strWhy;
            if (t.DailyMode() == EDailyMode::EveryNDays && t.m_nDailyInterval < 1)
                return Interval("daily", t.m_nDailyInterval, "day");
            if (t.DailyMode() == EDailyMode::EveryDayOfKind &&
                outside("the daily day kind", t.m_nDailyDayKind, R::kDailyDayKind))
                return strWhy;
            break;
        case ERecurrence::Weekly: {
            if (outside("the weekly mode", t.m_nWeeklyMode, R::kWeeklyMode)) return strWhy;
            if (t.WeeklyMode() == EWeeklyMode::EveryNWeeks && t.m_nWeeklyInterval < 1)
                return Interval("weekly", t.m_nWeeklyInterval, "week");
            if (t.WeeklyMode() == EWeeklyMode::WeekOfMonth &&
                outside("the week of the month", t.m_nWeeklyWeekOfMonth, R::kWeekOfMonth))
                return strWhy;
            bool bAnyDay = false;
            for (int32_t b : t.m_bWeekDays) bAnyDay = bAnyDay || b != 0;
            if (!bAnyDay) return "a weekly task with no day ticked";
            break;
        }
        case ERecurrence::Monthly:
            if (t.MonthlyMode() == EMonthlyMode::DayOfMonth) {
                if (t.m_nMonthlyInterval < 1) return Interval("monthly", t.m_nMonthlyInterval, "month");
                if (outside("the day of the month", t.m_nMonthlyDay, R::kDayOfMonth)) return strWhy;
            } else {
                if (t.m_nMonthlyInterval2 < 1) return Interval("monthly", t.m_nMonthlyInterval2, "month");
                if (outside("the monthly ordinal", t.m_nMonthlyOrdinal, R::kOrdinal) ||
                    outside("the monthly day kind", t.m_nMonthlyDayKind, R::kDayKind))
                    return strWhy;
            }
            break;
        case ERecurrence::Yearly:
            if (outside("the yearly mode", t.m_nYearlyMode, R::kYearlyMode)) return strWhy;
            if (t.YearlyMode() == EYearlyMode::MonthAndDay) {
                if (outside("the yearly month", t.m_nYearlyMonth, R::kMonthIndex) ||
                    outside("the yearly day", t.m_nYearlyDay, R::kDayOfMonth))
                    return strWhy;
            } else if (outside("the yearly ordinal", t.m_nYearlyOrdinal, R::kOrdinal) ||
                       outside("the yearly day kind", t.m_nYearlyDayKind, R::kDayKind) ||
                       outside("the yearly month", t.m_nYearlyMonth2, R::kMonthIndex)) {
                return strWhy;
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
