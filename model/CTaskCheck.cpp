#include "CTaskCheck.h"

#include "TaskTime.h"

std::vector<CTaskCheck::CProblem> CTaskCheck::Check(const CTaskItem& task) {
    std::vector<CProblem> vec;
    CheckDates(task, vec);
    CheckIntervals(task, vec);
    return vec;
}

void CTaskCheck::CheckDates(const CTaskItem& task, std::vector<CProblem>& vec) {
    auto group = [&](const char* pszField, const auto& dt) {
        if (auto err = TaskTime::CheckGroup(dt)) vec.push_back({pszField, "invalid date: " + *err});
    };
    group("start", task.m_dtStart);
    if (task.m_dtLastSent.IsSet()) group("lastSent", task.m_dtLastSent);
    if (task.m_dtNextSending.IsSet()) group("nextSending", task.m_dtNextSending);
    if (task.m_nEndKind == 2) group("end", task.m_dtEnd);
}

void CTaskCheck::CheckIntervals(const CTaskItem& task, std::vector<CProblem>& vec) {
    auto interval = [&](const char* pszField, int nValue, const char* pszUnit) {
        if (nValue < 1)
            vec.push_back({pszField, "the interval must be at least 1 " + std::string(pszUnit) + ", not " +
                                         std::to_string(nValue)});
    };
    switch (task.m_nRecurrence) {
        case 1:
            interval("minuteInterval", task.m_nMinuteInterval, "minute");
            break;
        case 2:
            if (task.m_nDailyMode == 0) interval("dailyInterval", task.m_nDailyInterval, "day");
            break;
        case 3:
            if (task.m_nWeeklyMode == 0) interval("weeklyInterval", task.m_nWeeklyInterval, "week");
            break;
        case 4:
            if (task.m_nMonthlyMode == 0) interval("monthlyInterval", task.m_nMonthlyInterval, "month");
            else interval("monthlyInterval2", task.m_nMonthlyInterval2, "month");
            break;
        default:
            break;
    }
}
