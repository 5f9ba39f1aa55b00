#include "CRecurrenceRule.h"

#include <array>

namespace {

constexpr std::array<const char*, 7> kDays = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

std::string Interval(int32_t n) { return n == 1 ? "" : ";INTERVAL=" + std::to_string(n); }

std::string Numbers(int nFrom, int nTo, int nStep) {
    std::string str;
    for (int n = nFrom; n <= nTo; n += nStep) str += (str.empty() ? "" : ",") + std::to_string(n);
    return str;
}

std::string TickedDays(const CTaskItem& task) {
    std::string str;
    for (size_t i = 0; i < kDays.size(); ++i)
        if (task.m_bWeekDays[i] == 1) str += (str.empty() ? "" : ",") + std::string(kDays[i]);
    return str;
}

// The days of a kind within a month, as BYDAY or BYMONTHDAY parts.
std::optional<std::string> KindParts(int32_t nKind) {
    switch (static_cast<EDayKind>(nKind)) {
        case EDayKind::Day: return "BYMONTHDAY=" + Numbers(1, 31, 1);
        case EDayKind::Weekday: return std::string("BYDAY=MO,TU,WE,TH,FR");
        case EDayKind::WeekendDay: return std::string("BYDAY=SA,SU");
        case EDayKind::EvenDay: return "BYMONTHDAY=" + Numbers(2, 30, 2);
        case EDayKind::OddDay: return "BYMONTHDAY=" + Numbers(1, 31, 2);
        default: break;
    }
    const int nWeekday = nKind - CodeOf(EDayKind::Sunday);
    if (nWeekday < 0 || nWeekday > 6) return std::nullopt;
    return "BYDAY=" + std::string(kDays[static_cast<size_t>(nWeekday)]);
}

// The ordinal day of a kind in each month the rule visits.
std::optional<std::string> OrdinalParts(int32_t nOrdinal, int32_t nKind) {
    if (nOrdinal < 0 || nOrdinal > 4) return std::nullopt;
    auto parts = KindParts(nKind);
    if (!parts) return std::nullopt;
    const std::string strPos = nOrdinal == 4 ? "-1" : std::to_string(nOrdinal + 1);
    return *parts + ";BYSETPOS=" + strPos;
}

std::optional<std::string> Daily(const CTaskItem& task) {
    if (task.DailyMode() == EDailyMode::EveryNDays) return "FREQ=DAILY" + Interval(task.m_nDailyInterval);
    if (task.DailyMode() != EDailyMode::EveryDayOfKind || task.m_nDailyDayKind > CodeOf(EDayKind::OddDay))
        return std::nullopt;
    auto parts = KindParts(task.m_nDailyDayKind);
    return parts ? std::optional<std::string>("FREQ=DAILY;" + *parts) : std::nullopt;
}

std::optional<std::string> Weekly(const CTaskItem& task) {
    const std::string strDays = TickedDays(task);
    if (strDays.empty()) return std::nullopt;
    if (task.WeeklyMode() == EWeeklyMode::EveryNWeeks)
        return "FREQ=WEEKLY" + Interval(task.m_nWeeklyInterval) + ";BYDAY=" + strDays + ";WKST=SU";
    // Week k of a month is its k-th Sunday-to-Saturday row; the one ticked
    // day d (0 = Sunday) of that row falls on day 7(k-1)+d-w+1 for a month
    // beginning on weekday w, so within 7(k-2)+d+2 .. 7(k-2)+d+8.
    const int32_t nWeek = task.m_nWeeklyWeekOfMonth;
    if (task.WeeklyMode() != EWeeklyMode::WeekOfMonth || nWeek < 0 || nWeek > 2 || strDays.size() != 2)
        return std::nullopt;
    int nDay = 0;
    while (task.m_bWeekDays[nDay] != 1) ++nDay;
    const int nFrom = 7 * nWeek + nDay + 2;
    return "FREQ=MONTHLY;BYDAY=" + strDays + ";BYMONTHDAY=" + Numbers(nFrom, nFrom + 6, 1);
}

std::optional<std::string> Monthly(const CTaskItem& task) {
    if (task.MonthlyMode() == EMonthlyMode::DayOfMonth)
        return "FREQ=MONTHLY" + Interval(task.m_nMonthlyInterval) + ";BYMONTHDAY=" + std::to_string(task.m_nMonthlyDay);
    auto parts = OrdinalParts(task.m_nMonthlyOrdinal, task.m_nMonthlyDayKind);
    if (!parts) return std::nullopt;
    return "FREQ=MONTHLY" + Interval(task.m_nMonthlyInterval2) + ";" + *parts;
}

std::optional<std::string> Yearly(const CTaskItem& task) {
    if (task.YearlyMode() == EYearlyMode::MonthAndDay)
        return "FREQ=YEARLY;BYMONTH=" + std::to_string(task.m_nYearlyMonth + 1) +
               ";BYMONTHDAY=" + std::to_string(task.m_nYearlyDay);
    auto parts = OrdinalParts(task.m_nYearlyOrdinal, task.m_nYearlyDayKind);
    if (!parts) return std::nullopt;
    return "FREQ=YEARLY;BYMONTH=" + std::to_string(task.m_nYearlyMonth2 + 1) + ";" + *parts;
}

}  // namespace

std::optional<std::string> CRecurrenceRule::For(const CTaskItem& task) {
    switch (task.Recurrence()) {
        case ERecurrence::Minutely: return "FREQ=MINUTELY" + Interval(task.m_nMinuteInterval);
        case ERecurrence::Daily: return Daily(task);
        case ERecurrence::Weekly: return Weekly(task);
        case ERecurrence::Monthly: return Monthly(task);
        case ERecurrence::Yearly: return Yearly(task);
        default: return std::nullopt;
    }
}
