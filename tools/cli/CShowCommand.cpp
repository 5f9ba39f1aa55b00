#include "CShowCommand.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <vector>

#include "CAttachmentEntry.h"
#include "CFileOps.h"
#include "CLocalZone.h"
#include "CMessageSummary.h"
#include "CPrintable.h"
#include "CRecurrenceText.h"
#include "CSendingPreview.h"
#include "CTaskArgument.h"
#include "CTaskHistoryFile.h"
#include "CTaskRulesBeside.h"
#include "CTaskRulesJson.h"
#include "CTemplateFile.h"
#include "TaskTime.h"
#include "ToolExitStatus.h"

namespace {

constexpr int kNextCount = 5;

void Line(const std::string& strLabel, const std::string& strValue) {
    // Every value may come from a task, a template or a server: shown escaped.
    std::printf("%-16s %s\n", (strLabel.empty() ? "" : strLabel + ":").c_str(), CPrintable::Escape(strValue).c_str());
}

std::string Ends(const CTaskItem& task) {
    if (task.Recurrence() == ERecurrence::Once) return "after its one sending";
    switch (task.EndKind()) {
        case EEndKind::AfterCount:
            return "after " + std::to_string(task.m_nEndAfterCount) + " sendings (" +
                   std::to_string(task.m_nOccurrenceCount) + " so far)";
        case EEndKind::EndDate: return CRecurrenceText::DescribeEnd(task);
        case EEndKind::NoEnd: break;
    }
    return "never";
}

void Message(const CTaskItem& task) {
    struct stat st {};
    const bool bThere = ::stat(task.m_strTemplateFile.c_str(), &st) == 0;
    Line("Template", task.m_strTemplateFile + (bThere ? "" : " (missing)"));
    CMailMessage msg;
    if (auto loaded = CTemplateFile::Load(task.m_strTemplateFile, msg); !loaded) {
        if (bThere) Line("Message", "cannot be read: " + loaded.Problem());
        return;
    }
    for (const auto& [strLabel, strValue] : CMessageSummary::Lines(msg)) Line(strLabel, strValue);
}

// What an entry names now: a mask's count of files, or that its folder or
// file is missing (legal: it is looked up again at each sending).
std::string NamesNow(const std::string& strEntry) {
    const size_t nFiles = CAttachmentEntry::Match(strEntry).size();
    if (!CAttachmentEntry::IsMask(strEntry)) return nFiles ? "" : " (missing now)";
    struct stat st {};
    const std::string strFolder = CAttachmentEntry::FolderOf(strEntry);
    if (::stat(strFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return " (its folder is missing now)";
    return " (" + std::to_string(nFiles) + (nFiles == 1 ? " file matches" : " files match") + " now)";
}

void Attachments(const CTaskItem& task) {
    bool bFirst = true;
    for (const std::string& strEntry : task.m_arrAttachments) {
        Line(bFirst ? "Attachments" : "", strEntry + NamesNow(strEntry));
        bFirst = false;
    }
    if (bFirst) Line("Attachments", "none");
}

// The task's scheduled occurrences the history holds, oldest first (extra messages sent now left out).
std::vector<CTaskOutcome> Occurrences(const CTaskItem& task, const CTaskHistory& history) {
    std::vector<CTaskOutcome> vec;
    for (const auto& outcome : history.Of(CTaskHistory::KeyOf(task.m_strTemplateFile)))
        if (!outcome.bSendNow) vec.push_back(outcome);
    return vec;
}

// "Last sent" names only an occurrence whose message went out: one whose
// template was missing was used up, not sent. Without a history the task's
// own record is all there is.
std::string LastSent(const CTaskItem& task, const CResult<CTaskHistory>& history) {
    const bool bRecorded = task.m_dtLastSent.IsSet() && task.m_nOccurrenceCount > 0;
    if (!history) return bRecorded ? TaskTime::Format(task.m_dtLastSent) : "never";
    const auto vec = Occurrences(task, *history);
    for (auto it = vec.rbegin(); it != vec.rend(); ++it)
        if (it->WentOut()) return it->strOccurrence;
    if (vec.empty()) return bRecorded ? TaskTime::Format(task.m_dtLastSent) : "never";
    if (static_cast<int>(vec.size()) >= task.m_nOccurrenceCount) return "never";
    return "not among the last " + std::to_string(vec.size()) + " recorded";
}

// How many occurrences were used and how many of them went out, with why
// the others did not: "2 so far, 0 sent (2 template missing)". Skips by the
// task's rules use none up: they are told apart ("1 so far, 1 sent; 3
// skipped by its rules"), and the recorded ones are weighed without them.
std::string Counts(const CTaskItem& task, const CResult<CTaskHistory>& history) {
    const std::string strSoFar = std::to_string(task.m_nOccurrenceCount) + " so far";
    if (!history) return strSoFar;
    const auto vec = Occurrences(task, *history);
    int nSent = 0, nCounted = 0, nByRule = 0;
    std::map<std::string, int> mapOthers;  // the result in words, without its reason, and how often
    for (const auto& outcome : vec) {
        if (outcome.kind == CTaskOutcome::EKind::SkippedByRule) {
            ++nByRule;
            continue;
        }
        ++nCounted;
        if (outcome.WentOut()) ++nSent;
        else ++mapOthers[CTaskOutcome{outcome.kind, {}, {}, {}, 0, false, {}}.ResultText()];
    }
    std::string str = strSoFar;
    if (nCounted > 0)
        str += nCounted >= task.m_nOccurrenceCount
                   ? ", " + std::to_string(nSent) + " sent"
                   : "; of the last " + std::to_string(nCounted) + " recorded, " + std::to_string(nSent) + " sent";
    std::string strOthers;
    for (const auto& [strWords, n] : mapOthers)
        strOthers += (strOthers.empty() ? "" : ", ") + std::to_string(n) + " " + strWords;
    if (!strOthers.empty()) str += " (" + strOthers + ")";
    return nByRule == 0 ? str : str + "; " + std::to_string(nByRule) + " skipped by its rules";
}

// The task's rules, one line each, in the words of the tool's options.
void Rules(const CResult<CTaskRules>& rRules) {
    if (!rRules) return Line("Rules", "not known (" + rRules.Problem() + ")");
    const CTaskRules& rules = *rRules;
    if (rules.IsEmpty()) return Line("Rules", "none");
    Line("Rules", rules.Summary());
    using R = CTaskRules;
    if (rules.eOnDayOff != R::EOnDayOff::Send) {
        Line("Working days", CWorkingDays::WeekdaysText(rules.nWorkingDays));
        std::string strFiles;
        for (const auto& str : rules.vecHolidayFiles) strFiles += (strFiles.empty() ? "" : ", ") + str;
        Line("Holidays", strFiles.empty() ? "none named" : strFiles);
        Line("On a day off", R::Word(rules.eOnDayOff, R::kOnDayOffWords));
    }
    if (!rules.strZone.empty()) Line("Zone", rules.strZone);
    if (rules.eNothingAttached == R::ENothingAttached::Wait)
        Line("No attachment", "wait, trying every " + std::to_string(rules.nWaitMinutes) + " minutes for " +
                                  std::to_string(rules.nWaitDeadlineMinutes) + " minutes");
    else if (rules.eNothingAttached != R::ENothingAttached::Send)
        Line("No attachment", R::Word(rules.eNothingAttached, R::kNothingAttachedWords));
    if (rules.eMissed != R::EMissed::Each) Line("Missed", R::Word(rules.eMissed, R::kMissedWords));
}

}  // namespace

int RunShow(const CTaskList& list, const std::string& strTask, const std::string& strTaskFile) {
    const auto index = CTaskArgument::Find(list, strTask);
    if (!index) {
        std::cerr << "quillory: " << index.Problem() << '\n';
        return kExitData;
    }
    const CTaskItem& task = list[*index];
    std::printf("Task %d: %s\n", *index + 1, CPrintable::Escape(task.m_strTaskName).c_str());
    Line("Active", task.m_bActive ? "yes" : "no (not sent until activated)");
    Line("Schedule", CRecurrenceText::Describe(task));
    Line("Ends", Ends(task));
    Line("Send overdue", task.m_bSendOverdue ? "yes" : "no");
    Line("Receive first", task.m_bReceiveBeforeSending ? "yes" : "no");
    const auto store = CTaskHistoryFile::ReadBeside(strTaskFile);
    const CResult<CTaskHistory> history =
        store ? CResult<CTaskHistory>(store->history) : CResult<CTaskHistory>(CProblem(store.Problem()));
    Rules(CTaskRulesJson::Of(store, strTaskFile, task));
    if (task.m_nOccurrenceCount > 0 || (history && !Occurrences(task, *history).empty()))
        Line("Occurrences", Counts(task, history));
    Line("Last sent", LastSent(task, history));
    const CTaskOutcome* pLast = history ? history->Last(CTaskHistory::KeyOf(task.m_strTemplateFile)) : nullptr;
    Line("Last result", !history ? "not known (" + history.Problem() + ")"
                        : pLast  ? pLast->FullText()
                                 : "none recorded");
    Message(task);
    Attachments(task);
    CTaskRulesBeside rules(strTaskFile, [](const std::string& str) { std::cerr << "quillory: " << str << '\n'; });
    const auto times = rules.Next(task, kNextCount);
    if (!times) {
        std::cerr << "quillory: task " << *index + 1 << ": " << times.Problem() << '\n';
        return kExitData;
    }
    const time_t tZoneAt = times->empty() ? std::time(nullptr) : times->front();
    std::printf("Next sendings (%s):\n", CLocalZone::Describe(tZoneAt).c_str());
    if (times->empty()) std::printf("  none: the schedule has ended\n");
    for (time_t t : *times)
        std::printf("  %s%s\n", TaskTime::Format(TaskTime::FromAbsolute(t)).c_str(), rules.ZoneNote(task, t).c_str());
    return kExitOk;
}
