#include "CShowCommand.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "CAttachmentEntry.h"
#include "CFileOps.h"
#include "CLocalZone.h"
#include "CMessageSummary.h"
#include "CPrintable.h"
#include "CRecurrenceText.h"
#include "CSendingPreview.h"
#include "CTaskArgument.h"
#include "CTaskHistoryFile.h"
#include "CTemplateFile.h"
#include "ExitStatus.h"
#include "TaskTime.h"

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
                   std::to_string(task.m_nOccurrenceCount) + " sent so far)";
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

// The last occurrence's result, as the add-in recorded it in the history
// beside the task list; read only, so a damaged history is named, not kept aside.
std::string LastResult(const CTaskItem& task, const std::string& strTaskFile) {
    const std::string strPath =
        (std::filesystem::path(strTaskFile).parent_path() / CTaskHistoryFile::kFileName).string();
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0) return "not known (no " + std::string(CTaskHistoryFile::kFileName) + ")";
    const auto rText = CFileOps::ReadFile(strPath, CTaskHistoryFile::kMaxBytes, CFileOps::ELinks::Refuse);
    if (!rText) return "not known (" + rText.Problem() + ")";
    const auto history = CTaskHistoryFile::FromJsonText(*rText);
    if (!history) return "not known (" + strPath + ": " + history.Problem() + ")";
    const CTaskOutcome* pLast = history->Last(CTaskHistory::KeyOf(task.m_strTemplateFile));
    return pLast ? pLast->FullText() : "none recorded";
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
    Line("Last sent",
         task.m_dtLastSent.IsSet() && task.m_nOccurrenceCount > 0 ? TaskTime::Format(task.m_dtLastSent) : "never");
    Line("Last result", LastResult(task, strTaskFile));
    Message(task);
    Attachments(task);
    const auto times = CSendingPreview::Next(task, kNextCount);
    if (!times) {
        std::cerr << "quillory: task " << *index + 1 << ": " << times.Problem() << '\n';
        return kExitData;
    }
    const time_t tZoneAt = times->empty() ? std::time(nullptr) : times->front();
    std::printf("Next sendings (%s):\n", CLocalZone::Describe(tZoneAt).c_str());
    if (times->empty()) std::printf("  none: the schedule has ended\n");
    for (time_t t : *times) std::printf("  %s\n", TaskTime::Format(TaskTime::FromAbsolute(t)).c_str());
    return kExitOk;
}
