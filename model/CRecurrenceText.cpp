#include "CRecurrenceText.h"

#include <cstdio>

#include "CalendarNames.h"

namespace {

std::string TwoDigits(int n) {
    char sz[16];
    std::snprintf(sz, sizeof sz, "%02d", n);
    return sz;
}

std::string At(const CTaskItem& task) {
    return " at " + TwoDigits(task.m_dtStart.nHour) + ":" + TwoDigits(task.m_dtStart.nMinute);
}

std::string Date(int nYear, int nMonth, int nDay) {
    char sz[48];
    std::snprintf(sz, sizeof sz, "%04d-%02d-%02d", nYear, nMonth, nDay);
    return sz;
}

std::string StartDate(const CTaskItem& task) {
    return Date(task.m_dtStart.nYear, task.m_dtStart.nMonth, task.m_dtStart.nDay);
}

// "every month", "every 3 months"; "every 0 weeks" says what is stored.
std::string Every(int nInterval, const char* pszUnit) {
    if (nInterval == 1) return std::string("every ") + pszUnit;
    return "every " + std::to_string(nInterval) + " " + pszUnit + "s";
}

std::string Capitalised(std::string str) {
    if (!str.empty() && str[0] >= 'a' && str[0] <= 'z') str[0] = static_cast<char>(str[0] - 'a' + 'A');
    return str;
}

std::string MonthName(int nIndex) {  // stored from 0
    if (nIndex >= 0 && nIndex < 12) return kMonthNames[static_cast<size_t>(nIndex)];
    return "month " + std::to_string(nIndex + 1);
}

std::string KindName(int32_t nKind) {
    switch (static_cast<EDayKind>(nKind)) {
        case EDayKind::Day: return "day";
        case EDayKind::Weekday: return "weekday";
        case EDayKind::WeekendDay: return "weekend day";
        case EDayKind::EvenDay: return "even day";
        case EDayKind::OddDay: return "odd day";
        default: break;
    }
    const int nWeekday = nKind - CodeOf(EDayKind::Sunday);
    if (nWeekday >= 0 && nWeekday < 7) return kWeekdayNames[static_cast<size_t>(nWeekday)];
    return "day of kind " + std::to_string(nKind);
}

std::string OrdinalName(int32_t nOrdinal) {
    static constexpr std::array<const char*, 5> kNames = {"first", "second", "third", "fourth", "last"};
    if (nOrdinal >= 0 && nOrdinal < 5) return kNames[static_cast<size_t>(nOrdinal)];
    return "ordinal " + std::to_string(nOrdinal);
}

// "Monday", "Monday and Thursday", "Monday, Wednesday and Friday", in the
// order the week is counted (Sunday first).
std::string Days(const CTaskItem& task) {
    std::string str;
    int nLeft = 0;
    for (int32_t b : task.m_bWeekDays) nLeft += b == 1;
    if (nLeft == 0) return "no day";
    for (size_t i = 0; i < kWeekdayNames.size(); ++i) {
        if (task.m_bWeekDays[i] != 1) continue;
        if (!str.empty()) str += nLeft == 1 ? " and " : ", ";
        str += kWeekdayNames[i];
        --nLeft;
    }
    return str;
}

std::string Daily(const CTaskItem& task) {
    if (task.DailyMode() == EDailyMode::EveryNDays) return Capitalised(Every(task.m_nDailyInterval, "day"));
    if (task.DailyMode() != EDailyMode::EveryDayOfKind)
        return "Daily in mode " + std::to_string(task.m_nDailyMode) + " (not known)";
    return "Every " + KindName(task.m_nDailyDayKind);
}

std::string Weekly(const CTaskItem& task) {
    if (task.WeeklyMode() == EWeeklyMode::EveryNWeeks)
        return Capitalised(Every(task.m_nWeeklyInterval, "week")) + " on " + Days(task);
    if (task.WeeklyMode() != EWeeklyMode::WeekOfMonth)
        return "Weekly in mode " + std::to_string(task.m_nWeeklyMode) + " (not known) on " + Days(task);
    static constexpr std::array<const char*, 3> kWeeks = {"second", "third", "fourth"};
    const int32_t nWeek = task.m_nWeeklyWeekOfMonth;
    if (nWeek < 0 || nWeek > 2) return "Weekly on " + Days(task) + ", with no week of the month chosen";
    return std::string("Every ") + kWeeks[static_cast<size_t>(nWeek)] + " week of the month on " + Days(task);
}

std::string Monthly(const CTaskItem& task) {
    if (task.MonthlyMode() == EMonthlyMode::DayOfMonth)
        return "Day " + std::to_string(task.m_nMonthlyDay) + " of " + Every(task.m_nMonthlyInterval, "month");
    return Capitalised(OrdinalName(task.m_nMonthlyOrdinal)) + " " + KindName(task.m_nMonthlyDayKind) + " of " +
           Every(task.m_nMonthlyInterval2, "month");
}

std::string Yearly(const CTaskItem& task) {
    if (task.YearlyMode() == EYearlyMode::MonthAndDay)
        return "Every year on " + std::to_string(task.m_nYearlyDay) + " " + MonthName(task.m_nYearlyMonth);
    return "Every year on the " + OrdinalName(task.m_nYearlyOrdinal) + " " + KindName(task.m_nYearlyDayKind) + " of " +
           MonthName(task.m_nYearlyMonth2);
}

}  // namespace

std::string CRecurrenceText::Describe(const CTaskItem& task) {
    switch (task.Recurrence()) {
        case ERecurrence::Once: return "Once on " + StartDate(task) + At(task);
        case ERecurrence::Minutely:
            return Capitalised(Every(task.m_nMinuteInterval, "minute")) + " from " + StartDate(task) + At(task);
        case ERecurrence::Daily: return Daily(task) + At(task);
        case ERecurrence::Weekly: return Weekly(task) + At(task);
        case ERecurrence::Monthly: return Monthly(task) + At(task);
        case ERecurrence::Yearly: return Yearly(task) + At(task);
    }
    return "Recurrence " + std::to_string(task.m_nRecurrence) + " (not known; never sent)";
}

std::string CRecurrenceText::DescribeEnd(const CTaskItem& task) {
    if (task.Recurrence() == ERecurrence::Once) return "";
    switch (task.EndKind()) {
        case EEndKind::AfterCount:
            return task.m_nEndAfterCount == 1 ? "once" : std::to_string(task.m_nEndAfterCount) + " times";
        case EEndKind::EndDate: return "until " + Date(task.m_dtEnd.nYear, task.m_dtEnd.nMonth, task.m_dtEnd.nDay);
        case EEndKind::NoEnd: break;
    }
    return "";
}
