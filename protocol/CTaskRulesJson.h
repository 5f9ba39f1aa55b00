#pragma once
#include <nlohmann/json.hpp>

#include "CProblems.h"
#include "CResult.h"
#include "CTaskHistoryFile.h"
#include "CTaskRules.h"

// A task's rules as JSON, as they are kept in the task's entry beside the
// list ("settings": {"rules": ...}), sent by the tool and shown by
// `list --json` and `show`. Members at their defaults are left out, so a
// task without rules is {}:
//
//   {"workingDays": "sun-thu", "holidays": ["/home/u/holidays.ics"],
//    "onHoliday": "before", "zone": "America/New_York",
//    "ifNothingAttached": "wait", "waitMinutes": 10, "waitDeadlineMinutes": 120,
//    "waitThen": "send" (past the deadline: send without; "skip", the default, does not send),
//    "missed": "latest", "pauseUntil": "2027-01-11", "skipNext": true}
class CTaskRulesJson {
public:
    static nlohmann::json ToJson(const CTaskRules& rules);
    // The rules j holds, over base (members not named keep base's). Every
    // problem is "rules.<key>: what"; an unknown key is one, as a typo must
    // not pass for a rule that is not there.
    static CResult<CTaskRules> FromJson(const nlohmann::json& j, CTaskRules base = {});
    // The rules kept in a task's settings in the store ({"rules": {...}});
    // none kept are the defaults.
    static CResult<CTaskRules> FromSettings(const nlohmann::json& jSettings);
    // The rules the live store keeps for task: none without a store.
    static CResult<CTaskRules> InStore(const CTaskHistoryFile* pStore, const CTaskItem& task);
    // The rules of task as the store beside strTaskFile keeps them, read
    // as CTaskHistoryFile::ReadBeside gave it: none when there is no store.
    static CResult<CTaskRules> Of(const CResult<CTaskHistoryFile::CContent>& rStore, const std::string& strTaskFile,
                                  const CTaskItem& task);

    // A zone's name as tzdata spells it ("America/New_York", "UTC"); whether
    // the zone is there is for whoever reads tzdata.
    static bool IsZoneName(const std::string& str);
    // How long a task may wait for its attachments, in minutes: a week.
    static constexpr int kMaxWaitMinutes = 7 * 24 * 60;
};
