#pragma once
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "CHolidayCache.h"
#include "CResult.h"
#include "CTaskHistoryFile.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "CWorkingDays.h"

// The rules of the tasks of one list as the store beside it keeps them
// ("settings": {"rules": ...}), with the working days their holiday files
// give, for the readers beside the host: `quillory next`, `show` and `ics`
// see the times the tick will send at. Read once; nothing is written.
// A store that cannot be read, rules that cannot be parsed and holiday
// files that cannot be read are told (fnTell, once each) and count as none,
// as the host then sends the task as without them.
//
// Example: a weekly Saturday task whose rules say "before", with
// Friday 2027-12-24 in its holidays: Next gives Thursday 2027-12-23.
class CTaskRulesBeside {
public:
    CTaskRulesBeside(const std::string& strTaskFile, std::function<void(const std::string&)> fnTell);

    // The task's rules; none when the store has none for it.
    CTaskRules RulesOf(const CTaskItem& task);
    // The working days of rules around the day of tFrom.
    CWorkingDays DaysOf(const CTaskRules& rules, time_t tFrom);
    // CSendingPreview::Next under the task's rules, with the holidays of as
    // many years as the times reach (CHolidayCache::Coming).
    CResult<std::vector<time_t>> Next(const CTaskItem& task, int nCount);
    // For a task with a zone of its own, the time t reads there, after the
    // machine's: " (09:00 America/New_York)", with its date where that
    // differs; empty for a task without one.
    std::string ZoneNote(const CTaskItem& task, time_t t);

private:
    std::function<void(const std::string&)> m_fnTell;
    CTaskHistoryFile::CContent m_content;
    CHolidayCache m_holidays;
};
