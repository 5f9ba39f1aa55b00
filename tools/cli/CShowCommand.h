#pragma once
#include <string>

#include "CTaskItem.h"

// quillory show TASK: every setting of one task in words, its message, its
// attachment entries as they stand now, the last occurrence's result (from
// the history beside strTaskFile), and its coming sending times.
// Returns the tool's exit status.
int RunShow(const CTaskList& list, const std::string& strTask, const std::string& strTaskFile);
