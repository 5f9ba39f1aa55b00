#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CCatchUpCount.h"
#include "CTaskHistory.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "MailHostOM.h"
#include "SendTask.h"

class CTaskHistoryFile;
#include "INotifier.h"
class IClock;
class QTimer;

// Puts what became of each occurrence where the user looks: one line on
// stderr (the journal) for every outcome, the task's history (saved at
// once) for the Email Manager, and a desktop notification when a message
// fails for good, when a template is missing at sending time, when the
// host cannot store a message (once per occurrence), when an occurrence is
// not sent for want of its attachments, and once after the catch-up at
// start. Every call runs on the host's UI thread, between or inside
// scheduler ticks.
//
// The history file is written once per tick, however many occurrences the
// tick handled, and once per burst of send results (when the event loop
// next runs), rather than once per message: with a hundred messages due
// in one minute, a flush each would keep the disk from the messages
// themselves. The history in memory is always current; what a kill could
// lose is the file's last few outcomes, never a message.
class COutcomeRecorder {
public:
    using EKindAlias = CTaskOutcome::EKind;
    // How long a message may wait to be retried before the user is told.
    static constexpr int64_t kStuckSeconds = 5 * 60;
    struct CParts {
        CTaskHistoryFile* pHistory = nullptr;  // null: nothing is kept
        INotifier* pNotifier = nullptr;        // null: nothing is shown
        const IClock* pClock = nullptr;        // required
        std::function<const CTaskList*()> fnTaskList;
        std::string strHostName;  // for the texts, "Mail Host"
        // Why the task list could not be saved at the tick's end; "" when it was.
        std::function<std::string()> fnUnsaved;
    };
    explicit COutcomeRecorder(CParts parts);
    ~COutcomeRecorder();  // writes what is not written yet
    COutcomeRecorder(const COutcomeRecorder&) = delete;
    COutcomeRecorder& operator=(const COutcomeRecorder&) = delete;

    // Around a scheduler tick: the outcomes in between are written together
    // at OnTickEnd.
    void OnTickStart() { m_bInTick = true; }
    void OnTickEnd();
    // Writes what is not written yet; for the add-in before the task list goes.
    void Flush();

    // SendTask's answer for the occurrence in task.m_dtNextSending, or, with
    // strSendNow, for the extra message sent at that local time.
    void OnSendStart(const CTaskItem& task, const CSendStart& start, const std::string& strSendNow = {});
    // An overdue occurrence the scheduler skipped.
    void OnSkipped(const CTaskItem& task);
    // An occurrence one of the task's rules skipped, strReason saying which.
    // bSkipNextUsed: it used up "skip the next occurrence"; the flag is
    // cleared in the store and written with the record at once, before the
    // task list is saved past the occurrence, so that a stop in between
    // finds the record (SkippedByRuleBefore) and never skips a second one.
    void OnSkippedByRule(const CTaskItem& task, const std::string& strReason, bool bSkipNextUsed);
    // The task's rules as the store keeps them; none without a store.
    CResult<CTaskRules> RulesOf(const CTaskItem& task) const;
    // The last recorded result of the task is a skip by a rule of its next occurrence.
    bool SkippedByRuleBefore(const CTaskItem& task) const;
    // The last recorded result of the task is "not queued yet" or "waiting
    // for its attachments" for its next occurrence: it stays due.
    bool WaitsForHost(const CTaskItem& task) const;
    // ApplicationEvents::ItemSendResult. Matched by message id to the
    // occurrence handed over; one not known (the history was lost) by the
    // task name the message carries.
    void OnItemSendResult(IDispatch* pItem, int32_t nResult, const std::string& strText);
    // Part of OnItemSendResult, for every result of a scheduled message: a
    // message that cannot log in, or waits longer than kStuckSeconds, is told
    // once per new reason, and once more when a message goes out again.
    void NoteStuck(const std::string& strMessageId, EKindAlias kind, const std::string& strWhat,
                   const std::string& strText);
    // The catch-up after start is over.
    void OnCaughtUp(const std::vector<CCatchUpCount::CLine>& vecLines);

    // The notification's texts, for the user's eyes.
    static std::string CatchUpBody(const std::vector<CCatchUpCount::CLine>& vecLines);

private:
    void Record(const CTaskItem& task, CTaskOutcome outcome);
    // Writes now, at the end of the tick, or when the event loop next runs.
    void Save();
    void SaveNow();
    // A message that will not go (failed for good, its template unusable)
    // is critical: it stays on the desktop until the user dismisses it.
    static constexpr INotifier::EUrgency kCritical = INotifier::EUrgency::Critical;
    void Notify(const std::string& strSummary, const std::string& strBody,
                INotifier::EUrgency eUrgency = INotifier::EUrgency::Normal);
    // An occurrence the host could not store: told on stderr and, with the
    // others of the tick, in one notification.
    void NoteNotStored(const CTaskItem& task, const CTaskOutcome& outcome, const std::optional<std::string>& strSubject,
                       const std::string& strWhat);
    // One line on stderr (the journal under the service manager), escaped.
    static void Tell(const std::string& strLine);
    void NotifyNotStored();
    // A task list that cannot be saved: one notification per new reason, and one when it clears.
    void NoteUnsaved();
    // Whether the task's history has an outcome for the message.
    bool IsKnown(const CTaskItem& task, const std::string& strMessageId) const;
    // The last result recorded for the task, null without one or without a history.
    const CTaskOutcome* LastOf(const CTaskItem& task) const;
    const CTaskItem* TaskNamed(const std::string& strName) const;

    CParts m_parts;
    bool m_bInTick = false;
    bool m_bUnsaved = false;
    std::vector<std::string> m_vecNotStored;       // not told yet
    std::string m_strToldUnsaved;                  // the reason last told; "" when saving works
    std::string m_strToldStuck;                    // the reason last told of stuck messages; "" when none
    std::map<std::string, int64_t> m_mapFirstTry;  // message id -> when its first retry was learnt
    std::unique_ptr<QTimer> m_pSaveTimer;          // the deferred save of send results
};
