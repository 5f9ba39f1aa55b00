#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "CTaskItem.h"

// quillory ics: the active tasks (or the ones named) as an iCalendar file,
// on standard output or into strOut. Returns the tool's exit status.
// strTaskFile: the list's file, beside which the tasks' rules are kept.
int RunIcs(const CTaskList& list, const std::vector<std::string>& vecTasks, time_t tNow, const std::string& strOut,
           const std::string& strTaskFile);
