#pragma once
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "CProblems.h"
#include "CTaskItem.h"

class CTextCodec;

// The task list as JSON, for export and import. Stored values go out as
// they stand; import checks everything before anything is written.
class CTaskJson {
public:
    static nlohmann::ordered_json ToJson(const CTaskItem& task);
    static nlohmann::ordered_json ToJson(const CTaskList& list);

    // Fills list from a JSON array. Every problem found is added to
    // problems as "task N: key" and what ("task 3: minuteInterval", "must be
    // at least 1, not 0"); list is valid only when none is. Each task must
    // give its start and pass CTaskCheck, its texts measured in codec, the
    // code page of the file it is meant for. A date group's dayOfWeek left
    // out or 0 is filled in from its date.
    static void FromJson(const nlohmann::ordered_json& j, CTaskList& list, CProblems& problems,
                         const CTextCodec& codec);
    // Sets the members jChanges names, by the keys ToJson gives them, and
    // keeps every other; a key that cannot be read is a problem as in
    // FromJson, "strWhere: key". Nothing is checked beyond the types.
    static void Overlay(const nlohmann::ordered_json& jChanges, CTaskItem& task, CProblems& problems,
                        const std::string& strWhere);
};
