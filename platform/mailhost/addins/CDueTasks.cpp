#include "CDueTasks.h"

#include <cstdio>

#include <nlohmann/json.hpp>

std::time_t CDueTasks::ParseLocal(const std::string& strWhen) {
    std::tm tm{};
    char cEnd = 0;
    if (strWhen.size() != 16 || std::sscanf(strWhen.c_str(), "%4d-%2d-%2d %2d:%2d%c", &tm.tm_year, &tm.tm_mon,
                                            &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &cEnd) != 5)
        return -1;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
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
        const std::time_t t = task.bActive ? ParseLocal(task.strWhen) : -1;
        if (t == -1 || t >= tNow + nSeconds) continue;
        vec.push_back(task);
        vec.back().bOverdue = t < tNow;
    }
    return vec;
}

int CDueTasks::CountActive(const std::vector<CTask>& vecTasks) {
    int n = 0;
    for (const auto& task : vecTasks) n += task.bActive && ParseLocal(task.strWhen) != -1;
    return n;
}
