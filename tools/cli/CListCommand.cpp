#include "CListCommand.h"

#include <iostream>

#include <nlohmann/json.hpp>

#include "CChangeRoute.h"
#include "CHostClient.h"
#include "CHostProtocol.h"
#include "CJsonText.h"
#include "CPrintable.h"
#include "CRecurrenceText.h"
#include "CTaskHistoryFile.h"
#include "CTaskListLock.h"
#include "CTaskRulesJson.h"
#include "TaskTime.h"

namespace {

// What the add-in of a running host on this file says of itself: its pid
// and why it cannot save the list; null when none answers.
nlohmann::ordered_json AddinState(const std::string& strTaskFile) {
    const auto rSocket = CTaskListLock::SocketPathOf(strTaskFile);
    if (!rSocket) return nullptr;
    const auto rReply = CHostClient::Request(*rSocket, {{CHostProtocol::kCommand, CHostProtocol::kPing}},
                                             CHostClient::kConnectTimeoutMs);
    if (!rReply || rReply->eOutcome != CHostClient::EOutcome::kAnswered) return nullptr;
    const auto& jAnswer = rReply->jAnswer;
    nlohmann::ordered_json jState = {{"pid", jAnswer.value(CHostProtocol::kPid, 0)}};
    const auto it = jAnswer.find(CHostProtocol::kUnsaved);
    jState["unsaved"] = it != jAnswer.end() && it->is_string() ? *it : nlohmann::ordered_json();
    return jState;
}

}  // namespace

int RunList(const CTaskList& list, const std::vector<std::string>& vecArgs, bool bWhole,
            const std::string& strTaskFile) {
    bool bJson = false, bNames = false, bAddin = false;
    for (const std::string& strArg : vecArgs) {
        if (strArg == "--json") bJson = true;
        else if (strArg == "--addin") bAddin = true;
        else if (strArg == "--names") bNames = true;
        else {
            std::cerr << "quillory: " << (strArg.rfind('-', 0) == 0 ? "unknown option " : "unexpected argument ")
                      << strArg << "\n";
            return kExitUsage;
        }
    }
    if (bJson && bNames) {
        std::cerr << "quillory: --json does not go with --names\n";
        return kExitUsage;
    }
    if (bAddin && !bJson) {
        std::cerr << "quillory: --addin goes with --json\n";
        return kExitUsage;
    }
    nlohmann::ordered_json arr = nlohmann::ordered_json::array();
    // The last results, for the machines that watch the add-in (`mailhost status`).
    const CResult<CTaskHistoryFile::CContent> store =
        bJson ? CTaskHistoryFile::ReadBeside(strTaskFile)
              : CResult<CTaskHistoryFile::CContent>(CProblem("not asked for"));
    int i = 0;
    for (const CTaskItem& t : list) {
        ++i;
        const bool bNext = t.m_dtNextSending.IsSet();
        const std::string strNext = bNext ? TaskTime::Format(t.m_dtNextSending) : "Completed";
        std::string strSchedule = CRecurrenceText::Describe(t);
        if (const std::string strEnd = CRecurrenceText::DescribeEnd(t); !strEnd.empty()) strSchedule += ", " + strEnd;
        if (bNames) {
            std::cout << t.m_strTaskName << '\n';
        } else if (bJson) {
            nlohmann::ordered_json jsonTask = {
                {"index", i},
                {"active", t.m_bActive != 0},
                {"name", t.m_strTaskName},
                {"nextSending", bNext ? nlohmann::ordered_json(strNext) : nlohmann::ordered_json()},
                {"schedule", strSchedule}};
            const CTaskOutcome* pLast = store ? store->history.Last(CTaskHistory::KeyOf(t.m_strTemplateFile)) : nullptr;
            if (pLast)
                jsonTask["lastResult"] = {{"kind", CTaskOutcome::KindName(pLast->kind)},
                                          {"occurrence", pLast->strOccurrence},
                                          {"result", pLast->ResultText()}};
            std::string strProblem = t.LastSentWarning();
            // Rules that cannot be read: the task goes as its schedule alone says, and this says why.
            const auto rules = CTaskRulesJson::Of(store, strTaskFile, t);
            jsonTask["rules"] = nlohmann::ordered_json::parse(
                (rules ? CTaskRulesJson::ToJson(*rules) : nlohmann::json::object()).dump());
            if (!rules)
                strProblem += std::string(strProblem.empty() ? "" : "; ") + "rules not known: " + rules.Problem();
            if (!strProblem.empty()) jsonTask["problem"] = strProblem;
            arr.push_back(std::move(jsonTask));
        } else {
            // An escaped name cannot start a row of its own or colour the terminal.
            std::cout << i << ' ' << (t.m_bActive ? '*' : ' ') << ' ' << CPrintable::Escape(t.m_strTaskName) << ' '
                      << strNext << '\n'
                      << "      " << strSchedule << '\n';
        }
    }
    if (bJson && bAddin) {
        std::cout << CJsonText::Dump(
                         nlohmann::ordered_json{{"tasks", std::move(arr)}, {"addin", AddinState(strTaskFile)}}, 2)
                  << '\n';
    } else if (bJson) {
        std::cout << CJsonText::Dump(arr, 2) << '\n';
    }
    return bWhole ? kExitOk : kExitData;
}
