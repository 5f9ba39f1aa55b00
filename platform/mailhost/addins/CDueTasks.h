#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "CResult.h"

// The add-in's tasks, read from `quillory list --json`, the tool's
// structured listing (the host cannot read the task list itself: the
// add-in owns its format):
//     [{"index": 1, "active": true, "name": "Weekly report",
//       "nextSending": "2026-12-07 09:00", "schedule": "...",
//       "lastResult": {"kind": "failed", "occurrence": "...", "result": "failed: 550 ..."}}]
// "nextSending" is null for a completed task; "lastResult" is there when the
// add-in recorded one.
class CDueTasks {
public:
    struct CTask {
        std::string strName;
        bool bActive = false;
        std::string strWhen;        // "YYYY-MM-DD HH:MM", local time; "" when completed
        std::string strLastKind;    // the last result's kind ("sent", "failed", ...); "" when none
        std::string strLastResult;  // in words, "failed: 550 no such user"
        std::string strProblem;     // what keeps the task from going as it should; "" when nothing
        bool bOverdue = false;      // set by Within: its time has passed
    };
    // The tasks of the listing, in list order; a problem when it is not one.
    // Also takes `quillory list --json --addin`'s {"tasks": [...], "addin": {...}},
    // whose add-in's reason for not saving the list goes to *pstrUnsaved.
    static CResult<std::vector<CTask>> Parse(const std::string& strJson, std::string* pstrUnsaved = nullptr);
    // The active tasks whose next sending time is before tNow + nSeconds,
    // in list order. Times are local, read with the zone's daylight-saving
    // rules (TZ).
    static std::vector<CTask> Within(const std::vector<CTask>& vecTasks, std::time_t tNow, long nSeconds);
    // The active tasks that still have a sending time, whenever it is.
    static int CountActive(const std::vector<CTask>& vecTasks);
    // "YYYY-MM-DD HH:MM" as local time; the problem says what is wrong with it.
    static CResult<std::time_t> ParseLocal(const std::string& strWhen);
};
