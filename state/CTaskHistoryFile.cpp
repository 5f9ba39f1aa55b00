#include "CTaskHistoryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "CDamagedCopy.h"
#include "IClock.h"
#include "TaskTime.h"

CTaskHistoryFile* g_pTaskHistory = nullptr;

namespace {

using EKind = CTaskOutcome::EKind;

// The names the file stores the kinds by, in the enum's order.
constexpr const char* kKindNames[] = {"handed-over",      "sent",      "sent-with-refusals", "retrying",
                                      "failed",           "in-doubt",  "skipped-overdue",    "template-missing",
                                      "template-damaged", "not-stored"};
static_assert(std::size(kKindNames) == CTaskOutcome::kLastKind + 1);

CResult<> WriteWhole(const std::string& strPath, const std::string& strText) {
    std::string strTmp = strPath + ".tmp-XXXXXX";
    const int fd = ::mkostemp(strTmp.data(), O_CLOEXEC);
    if (fd < 0) return ErrnoProblem("cannot create a temporary file beside " + strPath);
    auto fail = [&](CProblem problem) {
        ::close(fd);
        ::unlink(strTmp.c_str());
        return problem;
    };
    if (::fchmod(fd, 0644) != 0) return fail(ErrnoProblem("cannot set the mode of " + strTmp));
    for (size_t nDone = 0; nDone < strText.size();) {
        const ssize_t n = ::write(fd, strText.data() + nDone, strText.size() - nDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(ErrnoProblem("cannot write " + strTmp));
        nDone += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(ErrnoProblem("cannot write " + strTmp));
    if (::close(fd) != 0) {
        CProblem err = ErrnoProblem("cannot close " + strTmp);
        ::unlink(strTmp.c_str());
        return err;
    }
    if (::rename(strTmp.c_str(), strPath.c_str()) != 0) {
        CProblem err = ErrnoProblem("cannot replace " + strPath);
        ::unlink(strTmp.c_str());
        return err;
    }
    return {};
}

}  // namespace

std::string CTaskHistoryFile::ToJsonText(const CTaskHistory& history) {
    nlohmann::json jsonTasks = nlohmann::json::object();
    for (const auto& [strKey, deq] : history.All()) {
        nlohmann::json jsonList = nlohmann::json::array();
        for (const auto& o : deq) {
            nlohmann::json jsonOne = {{"kind", kKindNames[static_cast<int>(o.kind)]},
                                      {"occurrence", o.strOccurrence},
                                      {"messageId", o.strMessageId},
                                      {"text", o.strText},
                                      {"when", o.tWhen}};
            if (o.bSendNow) jsonOne["sendNow"] = true;  // absent for an occurrence, as in older files
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
    const nlohmann::json json = nlohmann::json::parse(strText, nullptr, false);
    if (json.is_discarded()) return CProblem("not JSON");
    if (!json.is_object() || json.value("version", 0) != 1 || !json.contains("tasks") || !json["tasks"].is_object())
        return CProblem("not a version 1 task history");
    CTaskHistory history;
    for (const auto& [strKey, jsonList] : json["tasks"].items()) {
        if (!jsonList.is_array()) return CProblem("task " + strKey + ": not a list");
        for (const auto& jsonOne : jsonList) {
            if (!jsonOne.is_object()) return CProblem("task " + strKey + ": an entry is not an object");
            CTaskOutcome o;
            const std::string strKind = jsonOne.value("kind", "");
            const auto* pKind = std::find(std::begin(kKindNames), std::end(kKindNames), strKind);
            if (pKind == std::end(kKindNames)) return CProblem("task " + strKey + ": unknown kind \"" + strKind + "\"");
            try {
                o.kind = static_cast<EKind>(pKind - std::begin(kKindNames));
                o.bSendNow = jsonOne.value("sendNow", false);
                o.strOccurrence = jsonOne.value("occurrence", "");
                o.strMessageId = jsonOne.value("messageId", "");
                o.strText = jsonOne.value("text", "");
                o.tWhen = jsonOne.value("when", int64_t{0});
            } catch (const nlohmann::json::exception&) {
                return CProblem("task " + strKey + ": a field has the wrong type");
            }
            history.Record(strKey, std::move(o));
        }
    }
    return history;
}

CResult<> CTaskHistoryFile::Load() {
    m_history = {};
    m_bKeepOriginal = false;
    std::ifstream in(m_strPath, std::ios::binary);
    if (!in) {
        struct stat st {};
        if (::stat(m_strPath.c_str(), &st) != 0 && errno == ENOENT) return {};  // none yet
        m_bKeepOriginal = true;
        return ErrnoProblem(m_strPath + ": cannot be read");
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    auto rHistory = FromJsonText(ss.str());
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
    return WriteWhole(m_strPath, ToJsonText(m_history));
}
