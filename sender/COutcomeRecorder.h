#pragma once
#include <functional>
#include <string>
#include <vector>

#include "CCatchUpCount.h"
#include "CTaskHistory.h"
#include "CTaskItem.h"
#include "MailHostOM.h"
#include "SendTask.h"

class CTaskHistoryFile;
class INotifier;
class IClock;

// Puts what became of each occurrence where the user looks: the task's
// history (saved at once) for the Email Manager, and a desktop notification
// when a message fails for good, when a template is missing at sending
// time, and once after the catch-up at start. Every call runs on the
// host's UI thread, between or inside scheduler ticks.
class COutcomeRecorder {
public:
    struct CParts {
        CTaskHistoryFile* pHistory = nullptr;  // null: nothing is kept
        INotifier* pNotifier = nullptr;        // null: nothing is shown
        const IClock* pClock = nullptr;        // required
        std::function<const CTaskList*()> fnTaskList;
        std::string strHostName;  // for the texts, "Mail Host"
    };
    explicit COutcomeRecorder(CParts parts) : m_parts(std::move(parts)) {}

    // SendTask's answer for the occurrence in task.m_dtNextSending.
    void OnSendStart(const CTaskItem& task, const CSendStart& start);
    // An overdue occurrence the scheduler skipped.
    void OnSkipped(const CTaskItem& task);
    // ApplicationEvents::ItemSendResult. Matched by message id to the
    // occurrence handed over; one not known (the history was lost) by the
    // task name the message carries.
    void OnItemSendResult(IDispatch* pItem, int32_t nResult, const std::string& strText);
    // The catch-up after start is over.
    void OnCaughtUp(const std::vector<CCatchUpCount::CLine>& vecLines);

    // The notification's texts, for the user's eyes.
    static std::string CatchUpBody(const std::vector<CCatchUpCount::CLine>& vecLines);

private:
    void Record(const CTaskItem& task, CTaskOutcome outcome);
    void Save();
    void Notify(const std::string& strSummary, const std::string& strBody);
    const CTaskItem* TaskNamed(const std::string& strName) const;

    CParts m_parts;
};
