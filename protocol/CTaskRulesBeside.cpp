#include "CTaskRulesBeside.h"

#include "CRuledSchedule.h"
#include "CSchedule.h"
#include "CSendingPreview.h"
#include "CSettingsAhead.h"
#include "CTaskRulesJson.h"
#include "CTaskZone.h"
#include "TaskTime.h"

CTaskRulesBeside::CTaskRulesBeside(const std::string& strTaskFile, std::function<void(const std::string&)> fnTell)
    : m_fnTell(std::move(fnTell)), m_holidays(m_fnTell) {
    auto rContent = CTaskHistoryFile::ReadBeside(strTaskFile);
    // No store yet is a list whose tasks have no rules; one that is there
    // but unusable is told, as the tasks' times may then differ.
    if (rContent) m_content = std::move(*rContent);
    else if (m_fnTell && rContent.Problem() != std::string("no ") + CTaskHistoryFile::kFileName)
        m_fnTell("the tasks' rules are not known: " + rContent.Problem());
}

CTaskRules CTaskRulesBeside::RulesOf(const CTaskItem& task) {
    const auto it = m_content.mapEntries.find(CTaskHistory::KeyOf(task.m_strTemplateFile));
    if (it == m_content.mapEntries.end()) return {};
    auto rRules = CTaskRulesJson::FromSettings(CSettingsAhead::For(it->second, task));
    if (rRules) return std::move(*rRules);
    if (m_fnTell) m_fnTell("task \"" + task.m_strTaskName + "\" is shown as without rules: " + rRules.Problem());
    return {};
}

CWorkingDays CTaskRulesBeside::DaysOf(const CTaskRules& rules, time_t tFrom) {
    return m_holidays.WorkingDaysAround(rules, tFrom);
}

CResult<std::vector<time_t>> CTaskRulesBeside::Next(const CTaskItem& task, int nCount) {
    const CTaskRules rules = RulesOf(task);
    if (rules.IsEmpty() || !task.m_dtNextSending.IsSet()) return CSendingPreview::Next(task, nCount, rules);
    QUILLORY_TRY_VALUE(const time_t tFrom, TaskTime::ToAbsolute(task.m_dtNextSending));
    // The stored time as the host places it again when a holiday file
    // changed after it was stored (the host may not have run since).
    CTaskItem placed = task;
    const CFixedClock clock(tFrom);
    const CSchedule schedule(clock);
    const CWorkingDays days = DaysOf(rules, tFrom);
    QUILLORY_TRY_VALUE(const bool bMoved, CRuledSchedule(schedule, rules, days).PlaceAgain(placed));
    (void)bMoved;  // the preview starts from where it stands either way
    QUILLORY_TRY_VALUE(const time_t tPlaced, TaskTime::ToAbsolute(placed.m_dtNextSending));
    return m_holidays.Coming(placed, nCount, rules, tPlaced);
}

std::string CTaskRulesBeside::ZoneNote(const CTaskItem& task, time_t t) {
    const std::string strZone = RulesOf(task).strZone;
    if (strZone.empty()) return {};
    const auto rWall = CTaskZone::WallTime(strZone, t);
    if (!rWall) return " (" + rWall.Problem() + ")";
    const std::string strWall = TaskTime::Format(*rWall);
    const bool bSameDay = strWall.compare(0, 10, TaskTime::Format(TaskTime::FromAbsolute(t)), 0, 10) == 0;
    return " (" + (bSameDay ? strWall.substr(11) : strWall) + " " + strZone + ")";
}
