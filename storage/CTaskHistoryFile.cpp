#include "CTaskHistoryFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <set>

#include <nlohmann/json.hpp>

#include "CDamagedCopy.h"
#include "CFileOps.h"
#include "IClock.h"
#include "TaskTime.h"

CTaskHistoryFile* g_pTaskHistory = nullptr;

std::string CTaskHistoryFile::ToJsonText(const CTaskHistory& history) {
    nlohmann::json jsonTasks = nlohmann::json::object();
    for (const auto& [strKey, deq] : history.All()) {
        nlohmann::json jsonList = nlohmann::json::array();
        for (const auto& o : deq) {
            nlohmann::json jsonOne = {{"kind", CTaskOutcome::KindName(o.kind)},
                                      {"occurrence", o.strOccurrence},
                                      {"messageId", o.strMessageId},
                                      {"text", o.strText},
                                      {"when", o.tWhen}};
            if (o.bSendNow) jsonOne["sendNow"] = true;  // absent for an occurrence, as in older files
            if (!o.strNote.empty()) jsonOne["note"] = o.strNote;
            jsonList.push_back(std::move(jsonOne));
        }
        jsonTasks[strKey] = std::move(jsonList);
    }
    // Invalid UTF-8 from a server's reply must not stop the save.
    return nlohmann::json{{"version", 1}, {"tasks", std::move(jsonTasks)}}.dump(
               2, ' ', false, nlohmann::json::error_handler_t::replace) +
           "\n";
}

CResult<CTaskHistory> CTaskHistoryFile::FromJsonText(const std::string& strText) {
    // Anything that is not exactly a history is damage, never an exception:
    // a wrongly typed member must not stop the add-in from connecting.
    try {
        return FromJson(nlohmann::json::parse(strText));
    } catch (const nlohmann::json::parse_error&) {
        return CProblem("not JSON");
    } catch (const std::exception& e) {
        return CProblem(std::string("not a task history: ") + e.what());
    }
}

CResult<CTaskHistory> CTaskHistoryFile::FromJson(const nlohmann::json& json) {
    const auto itVersion = json.is_object() ? json.find("version") : json.end();
    if (itVersion == json.end() || !itVersion->is_number_integer() || *itVersion != 1 || !json.contains("tasks") ||
        !json["tasks"].is_object())
        return CProblem("not a version 1 task history");
    // A member that is there must have its type; a missing one has its default.
    auto text = [](const nlohmann::json& jsonOne, const char* pszName, std::string& strOut) {
        const auto it = jsonOne.find(pszName);
        if (it == jsonOne.end()) return true;
        if (!it->is_string()) return false;
        strOut = it->get<std::string>();
        return true;
    };
    CTaskHistory history;
    for (const auto& [strKey, jsonList] : json["tasks"].items()) {
        if (!jsonList.is_array()) return CProblem("task " + strKey + ": not a list");
        for (const auto& jsonOne : jsonList) {
            if (!jsonOne.is_object()) return CProblem("task " + strKey + ": an entry is not an object");
            CTaskOutcome o;
            std::string strKind;
            const auto itWhen = jsonOne.find("when");
            if (!text(jsonOne, "kind", strKind) || !text(jsonOne, "occurrence", o.strOccurrence) ||
                !text(jsonOne, "messageId", o.strMessageId) || !text(jsonOne, "text", o.strText) ||
                !text(jsonOne, "note", o.strNote) || (itWhen != jsonOne.end() && !itWhen->is_number_integer()))
                return CProblem("task " + strKey + ": a field has the wrong type");
            const auto kind = CTaskOutcome::KindNamed(strKind);
            if (!kind) return CProblem("task " + strKey + ": unknown kind \"" + strKind + "\"");
            o.kind = *kind;
            if (itWhen != jsonOne.end()) o.tWhen = itWhen->get<int64_t>();
            if (const auto itSendNow = jsonOne.find("sendNow"); itSendNow != jsonOne.end()) {
                if (!itSendNow->is_boolean()) return CProblem("task " + strKey + ": a field has the wrong type");
                o.bSendNow = itSendNow->get<bool>();
            }
            history.Record(strKey, std::move(o));
        }
    }
    return history;
}

CResult<CTaskHistory> CTaskHistoryFile::ReadBeside(const std::string& strTaskFile) {
    const std::string strPath = (std::filesystem::path(strTaskFile).parent_path() / kFileName).string();
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0) return CProblem("no " + std::string(kFileName));
    const auto rText = CFileOps::ReadFile(strPath, kMaxBytes, CFileOps::ELinks::Refuse);
    if (!rText) return rText.TakeProblem();
    auto history = FromJsonText(*rText);
    if (!history) return CProblem(strPath + ": " + history.Problem());
    return history;
}

CResult<> CTaskHistoryFile::Load() {
    m_history = {};
    m_bKeepOriginal = false;
    auto rText = CFileOps::ReadFile(m_strPath, kMaxBytes, CFileOps::ELinks::Refuse);
    if (!rText) {
        struct stat st {};
        if (::lstat(m_strPath.c_str(), &st) != 0 && errno == ENOENT) return {};  // none yet
        m_bKeepOriginal = true;
        return CProblem(m_strPath + ": cannot be read: " + rText.Problem());
    }
    auto rHistory = FromJsonText(*rText);
    if (!rHistory) {
        m_bKeepOriginal = true;
        return CProblem(m_strPath + ": " + rHistory.Problem());
    }
    m_history = std::move(*rHistory);
    return {};
}

CResult<> CTaskHistoryFile::Save(const CTaskList& list) {
    std::set<std::string> setKeys;
    for (const auto& task : list) setKeys.insert(CTaskHistory::KeyOf(task.m_strTemplateFile));
    m_history.KeepOnly(setKeys);
    if (m_bKeepOriginal) {
        const auto rCopy = CDamagedCopy::Keep(m_strPath, TaskTime::FromAbsolute(m_clock.Now()));
        if (!rCopy)
            return CProblem(m_strPath +
                            ": not replaced, the unreadable original could not be kept: " + rCopy.Problem());
        m_bKeepOriginal = false;
    }
    return CFileOps::ReplaceFile(m_strPath, ToJsonText(m_history));
}
