#pragma once
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CResult.h"
#include "TaskCalendarFields.h"

// The options of `quillory add` and `quillory set`: the schedule, its start
// and end, the task's options and its message, read into the task members
// they set (by the keys the task list JSON gives them), as the options
// sheet's panels set them. Every value the sheet would refuse is refused
// here, naming the option ("--interval: Please enter a number between 1 and
// 999999.").
// Example: --weekly --days mon,thu --start "2026-12-14 09:00" gives
// recurrence 3, weeklyMode 0, weeklyInterval 1, weekDays Monday and
// Thursday, and the start 2026-12-14 09:00.
class CScheduleOptions {
public:
    // Task members to set; for add, every member the sheet writes.
    nlohmann::ordered_json jChanges = nlohmann::ordered_json::object();
    // The task's rules to change (CRuleOptions); empty: none.
    nlohmann::json jRules = nlohmann::json::object();
    // The message, when any message option was given (add needs one).
    bool bMessage = false;
    std::string strEml;  // "-": standard input
    std::vector<std::string> vecTo, vecCc, vecBcc;
    std::optional<std::string> optSubject, optBody, optBodyFile;
    std::vector<std::string> vecAttach;  // files embedded in the template
    std::vector<std::string> vecOperands;

    // Whether the options give a whole message (--eml, or recipients, a
    // subject and a body), which set need not take any part of the old from.
    bool WholeMessage() const {
        return !strEml.empty() ||
               ((!vecTo.empty() || !vecCc.empty() || !vecBcc.empty()) && optSubject && (optBody || optBodyFile));
    }

    // bAdd: the defaults of a new task apply and a message is required;
    // tClock is the present, against which a new start is checked.
    static CResult<CScheduleOptions> Parse(const std::vector<std::string>& vecArgs, bool bAdd, time_t tClock);

    // A problem line of the task check ("endAfterCount: must be at least
    // 1, not 0") with the option that sets the member in place of its key.
    static std::string InOptionWords(const std::string& strProblem);

    // --start as typed: "YYYY-MM-DD HH:MM"; or "HH:MM", the next such time
    // from tNow; or "today HH:MM", "tomorrow HH:MM", "mon HH:MM" (a day of
    // the week: the next such day whose time is still ahead). The fields
    // are as typed, read as TaskTime::ParseDateTime reads them.
    // Example: at Friday 2026-12-11 08:00, "07:30" is 2026-12-12 07:30 and
    // "mon 07:30" 2026-12-14 07:30.
    static CResult<TaskDateTime> ParseStart(const std::string& str, time_t tNow);
};
