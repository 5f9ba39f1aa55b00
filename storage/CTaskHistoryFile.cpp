#include "CTaskHistoryFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iomanip>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "CDamagedCopy.h"
#include "CFileOps.h"
#include "IClock.h"
#include "MoveKey.h"
#include "TaskTime.h"

CTaskHistoryFile* g_pTaskHistory = nullptr;

namespace {

nlohmann::json OutcomesToJson(const std::deque<CTaskOutcome>& deq) {
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
    return jsonList;
}

// A time in seconds that fits: a larger count read as one would wrap to a
// time long before the task existed.
bool IsSeconds(const nlohmann::json& j) {
    return j.is_number_integer() && (!j.is_number_unsigned() || j.get<uint64_t>() <= INT64_MAX);
}

// One task's results, newest last; the problem names the task.
CResult<> OutcomesFromJson(const std::string& strKey, const nlohmann::json& jsonList, CTaskHistory& history) {
    // A member that is there must have its type; a missing one has its default.
    auto text = [](const nlohmann::json& jsonOne, const char* pszName, std::string& strOut) {
        const auto it = jsonOne.find(pszName);
        if (it == jsonOne.end()) return true;
        if (!it->is_string()) return false;
        strOut = it->get<std::string>();
        return true;
    };
    if (!jsonList.is_array()) return CProblem("task " + strKey + ": not a list");
    for (const auto& jsonOne : jsonList) {
        if (!jsonOne.is_object()) return CProblem("task " + strKey + ": an entry is not an object");
        CTaskOutcome o;
        std::string strKind;
        const auto itWhen = jsonOne.find("when");
        if (!text(jsonOne, "kind", strKind) || !text(jsonOne, "occurrence", o.strOccurrence) ||
            !text(jsonOne, "messageId", o.strMessageId) || !text(jsonOne, "text", o.strText) ||
            !text(jsonOne, "note", o.strNote) || (itWhen != jsonOne.end() && !IsSeconds(*itWhen)))
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
    return {};
}

bool HoldsAhead(const CTaskHistoryFile::CContent& content) {
    return std::any_of(content.mapEntries.begin(), content.mapEntries.end(),
                       [](const auto& entry) { return !entry.second.jAhead.is_null(); });
}

// An identity is 16 hexadecimal digits: enough that two tasks never share
// one, short enough to read in a file or a message header.
bool IsId(const std::string& str) {
    return str.size() == 16 && str.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

std::string CTaskHistoryFile::ToJsonText(const CContent& content) {
    nlohmann::json jsonTasks = nlohmann::json::object();
    for (const auto& [strKey, deq] : content.history.All()) jsonTasks[strKey] = {{"history", OutcomesToJson(deq)}};
    for (const auto& [strKey, entry] : content.mapEntries) {
        nlohmann::json& jsonTask = jsonTasks[strKey];
        if (!entry.strId.empty()) jsonTask["id"] = entry.strId;
        jsonTask["history"] = OutcomesToJson(content.history.Of(strKey));
        jsonTask["settings"] = entry.jSettings;
        if (!entry.jAhead.is_null()) jsonTask["ahead"] = entry.jAhead;
    }
    // Invalid UTF-8 from a server's reply must not stop the save.
    return nlohmann::json{{"version", 2}, {"tasks", std::move(jsonTasks)}}.dump(
               2, ' ', false, nlohmann::json::error_handler_t::replace) +
           "\n";
}

CResult<CTaskHistoryFile::CContent> CTaskHistoryFile::FromJsonText(const std::string& strText) {
    // Anything that is not exactly a store is damage, never an exception:
    // a wrongly typed member must not stop the add-in from connecting.
    try {
        return FromJson(nlohmann::json::parse(strText));
    } catch (const nlohmann::json::parse_error&) {
        return CProblem("not JSON");
    } catch (const std::exception& e) {
        return CProblem(std::string("not a task store: ") + e.what());
    }
}

CResult<CTaskHistoryFile::CContent> CTaskHistoryFile::FromJson(const nlohmann::json& json) {
    const auto itVersion = json.is_object() ? json.find("version") : json.end();
    const bool bVersioned =
        itVersion != json.end() && itVersion->is_number_integer() && (*itVersion == 1 || *itVersion == 2);
    if (!bVersioned || !json.contains("tasks") || !json["tasks"].is_object())
        return CProblem("not a version 1 or 2 task store");
    const bool bEarlier = *itVersion == 1;  // results alone, by key
    CContent content;
    for (const auto& [strKey, jsonTask] : json["tasks"].items()) {
        CEntry entry;
        if (bEarlier) {
            QUILLORY_TRY(OutcomesFromJson(strKey, jsonTask, content.history));
            entry.strId = NewId();
        } else {
            if (!jsonTask.is_object()) return CProblem("task " + strKey + ": not an object");
            // One without an identity gets one; a wrong one is damage.
            const auto itId = jsonTask.find("id");
            if (itId != jsonTask.end() && (!itId->is_string() || !IsId(itId->get<std::string>())))
                return CProblem("task " + strKey + ": the identity is not 16 hexadecimal digits");
            entry.strId = itId != jsonTask.end() ? itId->get<std::string>() : NewId();
            if (const auto it = jsonTask.find("history"); it != jsonTask.end())
                QUILLORY_TRY(OutcomesFromJson(strKey, *it, content.history));
            if (const auto it = jsonTask.find("settings"); it != jsonTask.end()) {
                if (!it->is_object()) return CProblem("task " + strKey + ": settings are not an object");
                entry.jSettings = *it;
            }
            if (const auto it = jsonTask.find("ahead"); it != jsonTask.end()) {
                const bool bWhole = it->is_object() && it->size() == 2 && it->contains("settings") &&
                                    (*it)["settings"].is_object() && it->contains("record") &&
                                    (*it)["record"].is_object();
                if (!bWhole) return CProblem("task " + strKey + ": ahead is not settings with a record");
                entry.jAhead = *it;
            }
        }
        content.mapEntries[strKey] = std::move(entry);
    }
    return content;
}

std::string CTaskHistoryFile::NewId() {
    static std::mt19937_64 g_random{std::random_device{}()};
    std::ostringstream out;
    out << std::hex << std::setw(16) << std::setfill('0') << g_random();
    return out.str();
}

std::string CTaskHistoryFile::EarlierPath(const std::string& strPath) {
    return (std::filesystem::path(strPath).parent_path() / kEarlierFileName).string();
}

const std::string& CTaskHistoryFile::IdOf(const std::string& strKey) {
    CEntry& entry = m_content.mapEntries[strKey];
    if (entry.strId.empty()) entry.strId = NewId();
    return entry.strId;
}

const nlohmann::json& CTaskHistoryFile::SettingsOf(const std::string& strKey) const {
    static const nlohmann::json g_jNone = nlohmann::json::object();
    const auto it = m_content.mapEntries.find(strKey);
    return it == m_content.mapEntries.end() ? g_jNone : it->second.jSettings;
}

void CTaskHistoryFile::SetSettings(const std::string& strKey, nlohmann::json jSettings) {
    IdOf(strKey);
    m_content.mapEntries[strKey].jSettings = std::move(jSettings);
}

void CTaskHistoryFile::Follow(const std::string& strFrom, const std::string& strTo) {
    m_content.history.Rename(strFrom, strTo);
    MoveKey(m_content.mapEntries, strFrom, strTo);
}

void CTaskHistoryFile::CopySettings(const std::string& strFrom, const std::string& strTo) {
    if (strFrom == strTo) return;
    nlohmann::json jSettings = SettingsOf(strFrom);
    m_content.history.Forget(strTo);
    m_content.mapEntries[strTo] = CEntry{NewId(), std::move(jSettings)};
}

CTaskHistoryFile::CKept CTaskHistoryFile::Kept(const std::string& strKey) const {
    const auto it = m_content.mapEntries.find(strKey);
    const auto& results = m_content.history.Of(strKey);
    return CKept{it == m_content.mapEntries.end() ? CEntry{} : it->second, {results.begin(), results.end()}};
}

void CTaskHistoryFile::PutBack(const std::string& strKey, const CKept& kept) {
    if (m_content.mapEntries.count(strKey) || !m_content.history.Of(strKey).empty()) return;
    if (!kept.entry.strId.empty()) m_content.mapEntries[strKey] = kept.entry;
    for (const CTaskOutcome& outcome : kept.results) m_content.history.Record(strKey, outcome);
}

bool CTaskHistoryFile::IsBeside(const std::string& strTaskFile) {
    const std::filesystem::path folder = std::filesystem::path(strTaskFile).parent_path();
    struct stat st {};
    return ::lstat((folder / kFileName).c_str(), &st) == 0 || ::lstat((folder / kEarlierFileName).c_str(), &st) == 0;
}

CResult<CTaskHistoryFile::CContent> CTaskHistoryFile::ReadBeside(const std::string& strTaskFile) {
    const std::filesystem::path folder = std::filesystem::path(strTaskFile).parent_path();
    std::string strPath = (folder / kFileName).string();
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0) {
        strPath = (folder / kEarlierFileName).string();
        if (::lstat(strPath.c_str(), &st) != 0) return CProblem("no " + std::string(kFileName));
    }
    const auto rText = CFileOps::ReadFile(strPath, kMaxBytes, CFileOps::ELinks::Refuse);
    if (!rText) return rText.TakeProblem();
    auto content = FromJsonText(*rText);
    if (!content) return CProblem(strPath + ": " + content.Problem());
    return content;
}

CResult<CTaskHistory> CTaskHistoryFile::HistoryBeside(const std::string& strTaskFile) {
    auto rContent = ReadBeside(strTaskFile);
    if (!rContent) return rContent.TakeProblem();
    return std::move(rContent->history);
}

CResult<> CTaskHistoryFile::Load() {
    m_content = {};
    m_bKeepOriginal = false;
    m_bAheadOnDisk = false;
    m_bEarlierRead = false;
    std::string strPath = m_strPath;
    auto rText = CFileOps::ReadFile(strPath, kMaxBytes, CFileOps::ELinks::Refuse);
    if (!rText && CFileOps::IsAbsent(strPath)) {
        // None yet: the earlier file's results, if any, are carried over.
        strPath = EarlierPath(m_strPath);
        rText = CFileOps::ReadFile(strPath, kMaxBytes, CFileOps::ELinks::Refuse);
        if (!rText && CFileOps::IsAbsent(strPath)) return {};
        // A damaged earlier file is left where it is: the new one has another name.
        if (!rText) return CProblem(strPath + ": cannot be read: " + rText.Problem() + "; it is left as it is");
        auto rContent = FromJsonText(*rText);
        if (!rContent) return CProblem(strPath + ": " + rContent.Problem() + "; it is left as it is");
        m_content = std::move(*rContent);
        m_bEarlierRead = true;
        return {};
    }
    if (!rText) {
        m_bKeepOriginal = true;
        return CProblem(m_strPath + ": cannot be read: " + rText.Problem());
    }
    auto rContent = FromJsonText(*rText);
    if (!rContent) {
        m_bKeepOriginal = true;
        return CProblem(m_strPath + ": " + rContent.Problem());
    }
    m_content = std::move(*rContent);
    m_bAheadOnDisk = HoldsAhead(m_content);
    return {};
}

CResult<> CTaskHistoryFile::Save(const CTaskList& list, const std::string& strAlsoKey) {
    std::set<std::string> setKeys;
    if (!strAlsoKey.empty()) setKeys.insert(strAlsoKey);
    for (const auto& task : list) setKeys.insert(CTaskHistory::KeyOf(task.m_strTemplateFile));
    m_content.history.KeepOnly(setKeys);
    std::erase_if(m_content.mapEntries, [&](const auto& entry) { return !setKeys.count(entry.first); });
    for (const auto& strKey : setKeys) IdOf(strKey);
    if (m_bKeepOriginal) {
        const auto rCopy = CDamagedCopy::Keep(m_strPath, TaskTime::FromAbsolute(m_clock.Now()));
        if (!rCopy)
            return CProblem(m_strPath +
                            ": not replaced, the unreadable original could not be kept: " + rCopy.Problem());
        m_bKeepOriginal = false;
    }
    QUILLORY_TRY(CFileOps::ReplaceFile(m_strPath, ToJsonText(m_content)));
    m_bAheadOnDisk = HoldsAhead(m_content);
    if (m_bEarlierRead) {
        // Its results are in the new file now; a copy left over would
        // come back, out of date, if the new file went missing.
        std::error_code ec;
        std::filesystem::remove(EarlierPath(m_strPath), ec);
        if (ec) return CProblem(EarlierPath(m_strPath) + ": cannot be removed: " + ec.message());
        m_bEarlierRead = false;
    }
    return {};
}
