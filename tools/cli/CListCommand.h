#pragma once
#include <string>
#include <vector>

#include "CTaskItem.h"

// quillory list: one line per task (index from 1, '*' when active, name,
// next sending time or "Completed"), each followed by an indented line with
// its schedule in words; --names: the names alone, one a line (for
// completion); --json: the same facts as a JSON array, with each task's
// last result from the history beside strTaskFile ("lastResult": kind,
// occurrence, result in words) and what keeps it from going as it should
// ("problem"), for programs such as `mailhost status`. bWhole is false for
// a damaged file, whose readable tasks are still listed. Returns the tool's
// exit status.
int RunList(const CTaskList& list, const std::vector<std::string>& vecArgs, bool bWhole,
            const std::string& strTaskFile);
