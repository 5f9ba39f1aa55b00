#include "CListCommand.h"

#include <iostream>

#include <nlohmann/json.hpp>

#include "CJsonText.h"
#include "CListWriter.h"
#include "CPrintable.h"
#include "CRecurrenceText.h"
#include "CTaskHistoryFile.h"
#include "TaskTime.h"

int RunList(const CTaskList& list, const std::vector<std::string>& vecArgs, bool bWhole,
            const std::string& strTaskFile) {
    bool bJson = false, bNames = false;
    for (const std::string& strArg : vecArgs) {
        if (strArg == "--json") bJson = true;
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
    nlohmann::ordered_json arr = nlohmann::ordered_json::array();
    // The last results, for the machines that watch the add-in (`mailhost status`).
    const CResult<CTaskHistory> history =
        bJson ? CTaskHistoryFile::ReadBeside(strTaskFile) : CResult<CTaskHistory>(CProblem("not asked for"));
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
            const CTaskOutcome* pLast = history ? history->Last(CTaskHistory::KeyOf(t.m_strTemplateFile)) : nullptr;
            if (pLast)
                jsonTask["lastResult"] = {{"kind", CTaskOutcome::KindName(pLast->kind)},
                                          {"occurrence", pLast->strOccurrence},
                                          {"result", pLast->ResultText()}};
            if (const std::string strProblem = t.LastSentProblem(); !strProblem.empty())
                jsonTask["problem"] = "its last sending time cannot be read (" + strProblem +
                                      "); it is sent by its next time all the same";
            arr.push_back(std::move(jsonTask));
        } else {
            // An escaped name cannot start a row of its own or colour the terminal.
            std::cout << i << ' ' << (t.m_bActive ? '*' : ' ') << ' ' << CPrintable::Escape(t.m_strTaskName) << ' '
                      << strNext << '\n'
                      << "      " << strSchedule << '\n';
        }
    }
    if (bJson) std::cout << CJsonText::Dump(arr, 2) << '\n';
    return bWhole ? kExitOk : kExitData;
}
