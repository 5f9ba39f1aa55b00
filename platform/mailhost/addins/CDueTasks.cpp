#include "CDueTasks.h"

#include <ctime>

#include <nlohmann/json.hpp>

#include "CDateText.h"

CResult<std::time_t> CDueTasks::ParseLocal(const std::string& strWhen) {
    QUILLORY_TRY_VALUE(const CDateText::CFields f, CDateText::ParseDateTime(strWhen));
    std::tm tm{};
    tm.tm_year = f.nYear - 1900;
    tm.tm_mon = f.nMonth - 1;
    tm.tm_mday = f.nDay;
    tm.tm_hour = f.nHour;
    tm.tm_min = f.nMinute;
    tm.tm_isdst = -1;  // the zone decides
    return std::mktime(&tm);
}

CResult<std::vector<CDueTasks::CTask>> CDueTasks::Parse(const std::string& strJson, std::string* pstrUnsaved) {
    nlohmann::json json = nlohmann::json::parse(strJson, nullptr, false);
    if (json.is_object()) {
        const auto itAddin = json.find("addin");
        if (pstrUnsaved && itAddin != json.end() && itAddin->is_object())
            if (const auto it = itAddin->find("unsaved"); it != itAddin->end() && it->is_string()) *pstrUnsaved = *it;
        json = json.value("tasks", nlohmann::json());
    }
    if (json.is_discarded() || !json.is_array()) return CProblem("the tool's listing is not a JSON array");
    auto text = [](const nlohmann::json& jsonObject, const char* pszKey) {
        const auto it = jsonObject.find(pszKey);
        return it != jsonObject.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    std::vector<CTask> vec;
    for (const auto& jsonTask : json) {
        if (!jsonTask.is_object()) return CProblem("the tool's listing holds an entry that is not a task");
        CTask task;
        task.strName = text(jsonTask, "name");
        task.bActive = jsonTask.value("active", false);
        task.strWhen = text(jsonTask, "nextSending");
        task.strProblem = text(jsonTask, "problem");
        if (const auto it = jsonTask.find("lastResult"); it != jsonTask.end() && it->is_object()) {
            task.strLastKind = text(*it, "kind");
            task.strLastResult = text(*it, "result");
        }
        vec.push_back(std::move(task));
    }
    return vec;
}

std::vector<CDueTasks::CTask> CDueTasks::Within(const std::vector<CTask>& vecTasks, std::time_t tNow, long nSeconds) {
    std::vector<CTask> vec;
    for (const auto& task : vecTasks) {
        const auto rWhen = task.bActive ? ParseLocal(task.strWhen) : CResult<std::time_t>(CProblem("not active"));
        if (!rWhen || *rWhen >= tNow + nSeconds) continue;
        vec.push_back(task);
        vec.back().bOverdue = *rWhen < tNow;
    }
    return vec;
}

int CDueTasks::CountActive(const std::vector<CTask>& vecTasks) {
    int n = 0;
    for (const auto& task : vecTasks) n += task.bActive && ParseLocal(task.strWhen).Ok();
    return n;
}
