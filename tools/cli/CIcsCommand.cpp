#include "CIcsCommand.h"

#include <fstream>
#include <iostream>

#include "CCalendarExport.h"
#include "CMessageSummary.h"
#include "CPrintable.h"
#include "CTaskArgument.h"
#include "CTaskRulesBeside.h"
#include "CTemplateFile.h"
#include "ToolExitStatus.h"

namespace {

// "Subject: Weekly report\nTo: a@example.org, b@example.org".
std::string Description(const CTaskItem& task) {
    CMailMessage msg;
    if (auto loaded = CTemplateFile::Load(task.m_strTemplateFile, msg); !loaded)
        return "The message template cannot be read: " + loaded.Problem();
    std::string str;
    for (const auto& [strLabel, strValue] : CMessageSummary::Lines(msg))
        str += (str.empty() ? "" : "\n") + strLabel + ": " + strValue;
    return str;
}

std::string Uid(const CTaskItem& task, int nIndex) {
    const std::string& strPath = task.m_strTemplateFile;
    const std::string strBase = strPath.substr(strPath.find_last_of('/') + 1);
    return (strBase.empty() ? "task-" + std::to_string(nIndex + 1) : strBase) + "@quillory";
}

}  // namespace

int RunIcs(const CTaskList& list, const std::vector<std::string>& vecTasks, time_t tNow, const std::string& strOut,
           const std::string& strTaskFile) {
    std::vector<int> vecIndexes;
    if (vecTasks.empty()) {
        for (int i = 0; i < list.GetSize(); ++i)
            if (list[i].m_bActive) vecIndexes.push_back(i);
    }
    for (const std::string& strArg : vecTasks) {
        auto index = CTaskArgument::Find(list, strArg);
        if (!index) {
            std::cerr << "quillory: " << index.Problem() << '\n';
            return kExitData;
        }
        if (!list[*index].m_bActive)
            std::cerr << "quillory: task \"" << CPrintable::Escape(list[*index].m_strTaskName)
                      << "\" is not active; it is left out\n";
        else vecIndexes.push_back(*index);
    }
    std::vector<CCalendarExport::CEntry> vecEntries;
    CTaskRulesBeside rules(strTaskFile, [](const std::string& str) { std::cerr << "quillory: " << str << '\n'; });
    for (int i : vecIndexes) {
        CTaskRules taskRules = rules.RulesOf(list[i]);
        CWorkingDays days = rules.DaysOf(taskRules, tNow);
        vecEntries.push_back({list[i], Uid(list[i], i), Description(list[i]), std::move(taskRules), std::move(days)});
    }
    auto calendar = CCalendarExport::Build(vecEntries, tNow);
    if (!calendar) {
        std::cerr << "quillory: " << calendar.Problem() << '\n';
        return kExitData;
    }
    if (strOut.empty() || strOut == "-") {
        std::cout << *calendar;
        return std::cout.flush() ? kExitOk : kExitData;
    }
    std::ofstream out(strOut, std::ios::binary | std::ios::trunc);
    if (!(out << *calendar) || !out.flush()) {
        std::cerr << "quillory: " << strOut << ": cannot be written\n";
        return kExitData;
    }
    return kExitOk;
}
