#pragma once
#include <ctime>
#include <string>
#include <vector>

// The add-in's tasks that come due soon, read from the lines of
// `quillory list` ("INDEX MARK NAME YYYY-MM-DD HH:MM", MARK '*' when active,
// or "Completed" for the time). The host cannot read the task list itself:
// the add-in owns its format.
class CDueTasks {
public:
    struct CTask {
        std::string strWhen;  // "YYYY-MM-DD HH:MM", local time, as listed
        std::string strName;
        bool bOverdue = false;  // its time has passed: sent, or skipped, when a host runs
    };
    // The active tasks whose next sending time is before tNow + nSeconds,
    // in list order. Times are local, read with the zone's daylight-saving
    // rules (TZ).
    static std::vector<CTask> Within(const std::string& strList, std::time_t tNow, long nSeconds);
    // The active tasks that still have a sending time, whenever it is.
    static int CountActive(const std::string& strList);
    // "YYYY-MM-DD HH:MM" as local time; -1 when it is not one.
    static std::time_t ParseLocal(const std::string& strWhen);
};
