#include "CNextCommand.h"

#include <iostream>

#include "CChangeRoute.h"
#include "CRuledSchedule.h"
#include "CSchedule.h"
#include "CSendingPreview.h"
#include "CTaskArgument.h"
#include "CTaskCheck.h"
#include "CTaskRulesBeside.h"
#include "CTaskZone.h"
#include "Digits.h"
#include "TaskTime.h"

namespace {

// A whole number within [nMin, nMax], or nothing.
std::optional<int> ParseCount(const std::string& str, int nMin, int nMax) {
    if (!IsDigits(str, 9)) return std::nullopt;
    const int n = std::stoi(str);
    if (n < nMin || n > nMax) return std::nullopt;
    return n;
}

// Writes the next nCount sending times of task, as the preview of the
// options sheet shows them, from the present tNow on when given.
// The task's rules move and skip occurrences as the host will.
CResult<> PrintNext(CTaskItem task, int nCount, std::optional<time_t> tNow, CTaskRulesBeside& rules) {
    if (tNow) {
        CFixedClock clock(*tNow);
        const CSchedule schedule(clock);
        const CTaskRules taskRules = rules.RulesOf(task);
        QUILLORY_TRY(CTaskZone::Run(taskRules.strZone, task, [&](CTaskItem& t) { return schedule.AdvancePastNow(t); }));
        const CWorkingDays days = rules.DaysOf(taskRules, *tNow);
        QUILLORY_TRY(CRuledSchedule(schedule, taskRules, days).Place(task, *tNow));
    }
    QUILLORY_TRY_VALUE(const std::vector<time_t> vecTimes, rules.Next(task, nCount));
    for (const time_t t : vecTimes)
        std::cout << TaskTime::Format(TaskTime::FromAbsolute(t)) << rules.ZoneNote(task, t) << '\n';
    if (static_cast<int>(vecTimes.size()) < nCount) std::cout << "Completed\n";
    return {};
}

}  // namespace

int RunNext(const CTaskList& list, const std::string& strTask, const std::string& strCount, const std::string& strNow,
            const std::string& strFile) {
    if (strTask.empty()) {
        std::cerr << "quillory: next needs a TASK: its index from 1 or its exact name\n";
        return kExitUsage;
    }
    const auto nCount = strCount.empty() ? std::optional<int>(10) : ParseCount(strCount, 1, 100000);
    if (!nCount) {
        std::cerr << "quillory: --count must be a whole number from 1 to 100000, not \"" << strCount << "\"\n";
        return kExitUsage;
    }
    std::optional<time_t> tNow;
    if (!strNow.empty()) {
        const auto rNow = ParseNowArgument(strNow);
        if (!rNow) {
            std::cerr << "quillory: --now must be a local time as \"YYYY-MM-DD HH:MM\": " << rNow.Problem()
                      << ", not \"" << strNow << "\"\n";
            return kExitUsage;
        }
        tNow = *rNow;
    }
    const auto rIndex = CTaskArgument::Find(list, strTask);
    if (!rIndex) {
        std::cerr << "quillory: " << strFile << ": " << rIndex.Problem() << '\n';
        return kExitData;
    }
    const CTaskItem& task = list[*rIndex];
    CProblems problems;
    CTaskCheck::CheckDates(task, problems);
    for (const auto& p : problems)
        std::cerr << "quillory: " << strFile << ": task " << *rIndex + 1 << ": " << p.Line() << '\n';
    if (!problems.Empty()) return kExitData;
    CTaskRulesBeside rules(strFile, [](const std::string& str) { std::cerr << "quillory: " << str << '\n'; });
    if (const auto rPrinted = PrintNext(task, *nCount, tNow, rules); !rPrinted) {
        std::cerr << "quillory: " << strFile << ": task " << *rIndex + 1 << ": " << rPrinted.Problem() << '\n';
        return kExitData;
    }
    return kExitOk;
}

CResult<time_t> ParseNowArgument(const std::string& str) {
    QUILLORY_TRY_VALUE(const TaskDateTime dt, TaskTime::ParseDateTime(str));
    return TaskTime::ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute, 0);
}
