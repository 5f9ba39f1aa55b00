#pragma once
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CTaskItem.h"

// The task list as JSON, for export and import. Stored values go out as
// they stand; import checks everything before anything is written.
class CTaskJson {
public:
    static nlohmann::ordered_json ToJson(const CTaskItem& task);
    static nlohmann::ordered_json ToJson(const CTaskList& list);

    // Fills list from a JSON array. Every problem found is appended to
    // vecProblems as "task N: key: what"; list is valid only when none is.
    static void FromJson(const nlohmann::ordered_json& j, CTaskList& list, std::vector<std::string>& vecProblems);
};
