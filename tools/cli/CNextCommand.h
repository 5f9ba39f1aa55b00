#pragma once
#include <ctime>
#include <optional>
#include <string>

#include "CResult.h"
#include "CTaskItem.h"

// quillory next TASK (its index from 1 or its exact name): the coming sending times of one task, each counted as
// sent before the following one is worked out; with a present given, from
// the first one at or after it. Returns the tool's exit status.
int RunNext(const CTaskList& list, const std::string& strTask, const std::string& strCount, const std::string& strNow,
            const std::string& strFile);

// A present typed as "YYYY-MM-DD HH:MM" in local time, at second 0 (next
// and ics --now), read by TaskTime::ParseDateTime.
CResult<time_t> ParseNowArgument(const std::string& str);
