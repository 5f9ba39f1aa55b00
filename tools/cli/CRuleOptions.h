#pragma once
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CResult.h"

// The options of `quillory add` and `quillory set` that change a task's
// rules, taken out of the arguments before the schedule's options are read.
// They make the request's "rules" object: only the rules named change, and
// each --no-... form puts its rule back to what a task without rules does.
// Every value is checked here, naming the option; a holiday file is read
// once, so that a file that is missing or not iCalendar is refused now
// and not found out at the first sending.
// Example: --working-days sun-thu --holidays il.ics --on-holiday before
// gives {"workingDays": "sun-thu", "holidays": ["/home/u/il.ics"],
// "onHoliday": "before"}.
class CRuleOptions {
public:
    // The rule options of vecArgs, which keeps the others in their order;
    // an empty object when none was given.
    static CResult<nlohmann::json> Take(std::vector<std::string>& vecArgs);
    // Whether strOption is one of them (for the usage text and completion).
    static bool IsRuleOption(const std::string& strOption);
};
