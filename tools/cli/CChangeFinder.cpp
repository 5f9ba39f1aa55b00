#include "CChangeFinder.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CFileOps.h"
#include "CHostProtocol.h"
#include "CTaskArgument.h"
#include "CTaskJson.h"
#include "CTaskListEdit.h"
#include "CTaskRulesJson.h"

namespace {

using EFound = CChangeRoute::EFound;
using json = CChangeFinder::json;

int IndexNamed(const CTaskList& list, const std::string& strName) {
    for (int i = 0; i < list.GetSize(); ++i)
        if (list[i].m_strTaskName == strName) return i;
    return -1;
}

EFound Found(const CTaskList& after, int nIndex, json& jAnswer) {
    jAnswer = {{CHostProtocol::kOk, true}};
    jAnswer[CHostProtocol::kIndex] = nIndex + 1;
    jAnswer[CHostProtocol::kTask] = CTaskJson::ToJson(after[nIndex]);
    return EFound::kApplied;
}

// What the list shows of its order and switches, which the sender never changes.
std::vector<std::pair<std::string, int32_t>> Shape(const CTaskList& list) {
    std::vector<std::pair<std::string, int32_t>> vec;
    for (const CTaskItem& task : list) vec.emplace_back(task.m_strTaskName, task.m_bActive);
    return vec;
}

std::string NewName(const json& jRequest) {
    const auto itChanges = jRequest.find(CHostProtocol::kChanges);
    if (itChanges == jRequest.end() || !itChanges->contains("taskName") || !(*itChanges)["taskName"].is_string())
        return {};
    return CTaskListEdit::TrimmedName((*itChanges)["taskName"].get<std::string>());
}

// Whether the task's entry after holds the rules a set asks for over
// those it had; unknown (nullopt) when a store cannot be read.
std::optional<bool> HasRules(const json& jRules, const CTaskItem& was, const CTaskItem& now,
                             const CChangeFinder::CStores* pStores) {
    if (!pStores) return std::nullopt;
    const auto rHad = CTaskRulesJson::Of(pStores->rBefore, pStores->strTaskFile, was);
    const auto rNow = CTaskRulesJson::Of(pStores->rAfter, pStores->strTaskFile, now);
    if (!rHad || !rNow) return std::nullopt;
    const auto rAsked = CTaskRulesJson::FromJson(nlohmann::json::parse(jRules.dump()), *rHad);
    return rAsked && CTaskRulesJson::ToJson(*rAsked) == CTaskRulesJson::ToJson(*rNow);
}

EFound FindSet(const json& jRequest, const CTaskItem& was, const CTaskList& before, const CTaskList& after,
               const std::string* pNewMessage, json& jAnswer, const CChangeFinder::CStores* pStores) {
    const std::string strNew = NewName(jRequest);
    // A name another task had: the host refuses it, and the task found by
    // it is that other one.
    if (!strNew.empty() && strNew != was.m_strTaskName && IndexNamed(before, strNew) >= 0) return EFound::kNotApplied;
    const int nIndex = IndexNamed(after, strNew.empty() ? was.m_strTaskName : strNew);
    if (nIndex < 0) return EFound::kNotApplied;
    CTaskItem asked = after[nIndex];
    CProblems ignored;  // the tool made the changes; they overlay cleanly
    if (const auto itChanges = jRequest.find(CHostProtocol::kChanges); itChanges != jRequest.end())
        CTaskJson::Overlay(*itChanges, asked, ignored, "set");
    asked.m_strTaskName = CTaskListEdit::TrimmedName(asked.m_strTaskName);
    bool bValues = CTaskJson::ToJson(asked) == CTaskJson::ToJson(after[nIndex]);
    // Rules kept beside the list count as values: they go with the list's
    // record (see CSettingsAhead), so a stop never shows one without the other.
    if (const auto it = jRequest.find(CHostProtocol::kRules); it != jRequest.end()) {
        const std::optional<bool> optRules = HasRules(*it, was, after[nIndex], pStores);
        if (!optRules) return EFound::kUnknown;
        bValues = bValues && *optRules;
    }
    if (!jRequest.contains(CHostProtocol::kTemplate))
        return bValues ? Found(after, nIndex, jAnswer) : EFound::kNotApplied;
    // A changed message may keep its file name, so its bytes tell. The list
    // is saved only after the message is in place; a host stopped between
    // the two leaves the message without the other values.
    if (!pNewMessage) return EFound::kUnknown;
    const auto rNow = CFileOps::ReadFile(after[nIndex].m_strTemplateFile, pNewMessage->size() + 1);
    if (!rNow || *rNow != *pNewMessage) return EFound::kNotApplied;
    return bValues ? Found(after, nIndex, jAnswer) : EFound::kUnknown;
}

}  // namespace

CChangeRoute::EFound CChangeFinder::Find(const json& jRequest, const CTaskList& before, const CTaskList& after,
                                         const CTextCodec& codec, const std::string* pNewMessage, json& jAnswer,
                                         const CStores* pStores) {
    const std::string strCommand = jRequest.value(CHostProtocol::kCommand, "");
    if (strCommand == CHostProtocol::kAdd) {
        const std::string strName = NewName(jRequest);
        const int nIndex = IndexNamed(after, strName);
        if (strName.empty() || IndexNamed(before, strName) >= 0 || nIndex < 0) return EFound::kNotApplied;
        return Found(after, nIndex, jAnswer);
    }
    if (strCommand == CHostProtocol::kSendNow) return EFound::kUnknown;
    const auto rIndex = CTaskArgument::Find(before, jRequest.value(CHostProtocol::kTask, ""));
    if (!rIndex) return EFound::kNotApplied;  // the host refuses what names no task
    const CTaskItem& was = before[*rIndex];
    if (strCommand == CHostProtocol::kSet) return FindSet(jRequest, was, before, after, pNewMessage, jAnswer, pStores);
    if (strCommand == CHostProtocol::kCopy) {
        const int nLast = after.GetSize() - 1;
        if (after.GetSize() == before.GetSize() + 1 &&
            after[nLast].m_strTaskName.rfind("Copy of " + was.m_strTaskName, 0) == 0)
            return Found(after, nLast, jAnswer);
        return after.GetSize() == before.GetSize() ? EFound::kNotApplied : EFound::kUnknown;
    }
    // The others change only the list's order and switches: made again on
    // the list before, they give what the file must show.
    CTaskList expected = before;
    const CTaskListEdit::CContext ctx{{}, 0, &codec, {}, nullptr, {}};
    const auto rDone = CTaskListEdit::Apply(expected, jRequest, ctx);
    if (!rDone) return EFound::kNotApplied;
    if (Shape(after) == Shape(expected)) {
        if (rDone->nIndex < 0) {
            jAnswer = {{CHostProtocol::kOk, true}, {CHostProtocol::kIndex, 0}};
            jAnswer[CHostProtocol::kTask] = CTaskJson::ToJson(was);
            return EFound::kApplied;
        }
        return Found(after, rDone->nIndex, jAnswer);
    }
    return Shape(after) == Shape(before) ? EFound::kNotApplied : EFound::kUnknown;
}
