#pragma once
#include <ctime>
#include <optional>
#include <string>

#include "CTaskItem.h"

// quillory next INDEX: the coming sending times of one task, each counted as
// sent before the following one is worked out; with a present given, from
// the first one at or after it. Returns the tool's exit status.
int RunNext(const CTaskList& list, const std::string& strIndex, const std::string& strCount, const std::string& strNow,
            const std::string& strFile);

// "YYYY-MM-DD HH:MM" in local time, at second 0 (next and ics --now).
std::optional<time_t> ParseNowArgument(const std::string& str);
