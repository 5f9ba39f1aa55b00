#include "CNextCommand.h"

#include <cstdio>
#include <iostream>

#include "CListWriter.h"
#include "CSchedule.h"
#include "CTaskCheck.h"
#include "TaskTime.h"

namespace {

// A whole number within [nMin, nMax], or nothing.
std::optional<int> ParseCount(const std::string& str, int nMin, int nMax) {
    if (str.empty() || str.size() > 9 || str.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const int n = std::stoi(str);
    if (n < nMin || n > nMax) return std::nullopt;
    return n;
}

// Writes the next nCount sending times of task from the clock's present on.
CResult<> PrintNext(CTaskItem& task, int nCount, CFixedClock& clock, bool bAdvance) {
    CSchedule s(clock);
    if (bAdvance) QUILLORY_TRY(s.AdvancePastNow(task));
    for (int i = 0; i < nCount; ++i) {
        if (!task.m_dtNextSending.IsSet()) {
            std::cout << "Completed\n";
            break;
        }
        QUILLORY_TRY_VALUE(const time_t t, TaskTime::ToAbsolute(task.m_dtNextSending));
        std::cout << TaskTime::Format(TaskTime::FromAbsolute(t)) << '\n';
        ++task.m_nOccurrenceCount;
        clock.Set(t);
        CSchedule::SetLastSent(task, t);
        QUILLORY_TRY(s.CalcNextSending(task));
    }
    return {};
}

}  // namespace

int RunNext(const CTaskList& list, const std::string& strIndex, const std::string& strCount, const std::string& strNow,
            const std::string& strFile) {
    if (strIndex.empty()) {
        std::cerr << "quillory: next needs the INDEX of a task\n";
        return kExitUsage;
    }
    const auto nIndex = ParseCount(strIndex, 1, 1 << 30);
    if (!nIndex) {
        std::cerr << "quillory: INDEX must be a whole number from 1, not \"" << strIndex << "\"\n";
        return kExitUsage;
    }
    const auto nCount = strCount.empty() ? std::optional<int>(10) : ParseCount(strCount, 1, 100000);
    if (!nCount) {
        std::cerr << "quillory: --count must be a whole number from 1 to 100000, not \"" << strCount << "\"\n";
        return kExitUsage;
    }
    std::optional<time_t> tNow;
    if (!strNow.empty() && !(tNow = ParseNowArgument(strNow))) {
        std::cerr << "quillory: --now must be a valid local time as \"YYYY-MM-DD HH:MM\", not \"" << strNow << "\"\n";
        return kExitUsage;
    }
    if (*nIndex > list.GetSize()) {
        std::cerr << "quillory: " << strFile << ": there is no task " << *nIndex << " (the list has " << list.GetSize()
                  << ")\n";
        return kExitData;
    }
    CTaskItem task = list[*nIndex - 1];
    std::vector<CTaskCheck::CProblem> vecProblems;
    CTaskCheck::CheckDates(task, vecProblems);
    if (!vecProblems.empty()) {
        for (const auto& p : vecProblems)
            std::cerr << "quillory: " << strFile << ": task " << *nIndex << ": " << p.strField << ": " << p.strText
                      << '\n';
        return kExitData;
    }
    CFixedClock clock(tNow.value_or(0));
    if (const auto rPrinted = PrintNext(task, *nCount, clock, tNow.has_value()); !rPrinted) {
        std::cerr << "quillory: " << strFile << ": task " << *nIndex << ": " << rPrinted.Problem() << '\n';
        return kExitData;
    }
    return kExitOk;
}

// "YYYY-MM-DD HH:MM" in local time, at second 0.
std::optional<time_t> ParseNowArgument(const std::string& str) {
    int y, mo, d, h, mi;
    char cEnd;
    if (std::sscanf(str.c_str(), "%4d-%2d-%2d %2d:%2d%c", &y, &mo, &d, &h, &mi, &cEnd) != 5) return std::nullopt;
    TaskDateTime dt{y, mo, d, 0, h, mi, 0};
    if (!TaskTime::CheckGroup(dt).Ok() || d > CSchedule::DaysInMonth(y, mo)) return std::nullopt;
    const auto rNow = TaskTime::ToAbsolute(y, mo, d, h, mi, 0);
    if (!rNow) return std::nullopt;  // fields the C library cannot place are no valid local time
    return *rNow;
}
