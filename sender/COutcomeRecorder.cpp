#include "COutcomeRecorder.h"

#include <QCoreApplication>
#include <QTimer>
#include <iostream>
#include <optional>

#include "CHostProtocol.h"
#include "CMailMessage.h"
#include "CPrintable.h"
#include "CTaskHistoryFile.h"
#include "CTaskRulesJson.h"
#include "IClock.h"
#include "INotifier.h"
#include "TaskTime.h"

using EKind = CTaskOutcome::EKind;

namespace {

constexpr const char* kFailedSummary = "A scheduled message failed";
constexpr const char* kNotSentSummary = "A scheduled message was not sent";

// The history's kind for the host's result; none for a value it does not know.
std::optional<EKind> KindOf(int32_t nResult) {
    switch (nResult) {
        case olSendSent: return EKind::Sent;
        case olSendSentWithRefusals: return EKind::SentWithRefusals;
        case olSendRetrying:
        case olSendNoWay: return EKind::Retrying;  // it waits in the Outbox either way
        case olSendFailed: return EKind::Failed;
        case olSendInDoubt: return EKind::InDoubt;
        default: return std::nullopt;
    }
}

}  // namespace

COutcomeRecorder::COutcomeRecorder(CParts parts) : m_parts(std::move(parts)) {
    m_pSaveTimer = std::make_unique<QTimer>();
    m_pSaveTimer->setSingleShot(true);
    m_pSaveTimer->setInterval(0);
    QObject::connect(m_pSaveTimer.get(), &QTimer::timeout, [this] { SaveNow(); });
}

COutcomeRecorder::~COutcomeRecorder() { Flush(); }

void COutcomeRecorder::OnTickEnd() {
    m_bInTick = false;
    NotifyNotStored();  // one notification for all the tick's messages
    NoteUnsaved();
    Flush();
}

void COutcomeRecorder::NoteStuck(const std::string& strMessageId, EKind kind, const std::string& strWhat,
                                 const std::string& strText) {
    if (kind != EKind::Retrying) {
        m_mapFirstTry.erase(strMessageId);
        if (kind == EKind::Sent && !m_strToldStuck.empty()) {
            Notify("Scheduled messages go out again", strWhat + " was sent.");
            m_strToldStuck.clear();
        }
        return;
    }
    const int64_t tNow = m_parts.pClock->Now();
    const int64_t tFirst = m_mapFirstTry.try_emplace(strMessageId, tNow).first->second;
    // The reason without the time of the next try, which changes at every try.
    const std::string strReason = strText.substr(0, strText.find("; trying again at "));
    const bool bLogin = strReason.find("refused the login") != std::string::npos;
    if ((!bLogin && tNow - tFirst < kStuckSeconds) || strReason == m_strToldStuck) return;
    m_strToldStuck = strReason;
    Notify(bLogin ? "Scheduled messages cannot go out: the server refused the login"
                  : "Scheduled messages wait to be sent",
           strWhat + ": " + strText + "\nThey are tried again by themselves; you are told when they go out.",
           kCritical);
}

void COutcomeRecorder::NoteUnsaved() {
    const std::string strUnsaved = m_parts.fnUnsaved ? m_parts.fnUnsaved() : std::string();
    if (strUnsaved == m_strToldUnsaved) return;
    if (!strUnsaved.empty())
        Notify("The task list cannot be saved",
               strUnsaved +
                   "\nMessages still go out at their times, and none goes twice; what was sent is "
                   "recorded once the file can be written again.",
               kCritical);
    else Notify("The task list is saved again", "What was sent meanwhile is recorded.");
    m_strToldUnsaved = strUnsaved;
}

void COutcomeRecorder::Flush() {
    if (m_bUnsaved) SaveNow();
}

void COutcomeRecorder::OnSendStart(const CTaskItem& task, const CSendStart& start, const std::string& strSendNow) {
    CTaskOutcome outcome;
    outcome.bSendNow = !strSendNow.empty();
    outcome.strOccurrence = outcome.bSendNow ? strSendNow : TaskTime::Format(task.m_dtNextSending);
    outcome.strMessageId = start.strMessageId;
    outcome.strText = start.strText;
    outcome.strNote = start.strNote;
    const std::string strWhat =
        task.m_strTaskName + " (" + (outcome.bSendNow ? "sent now " : "") + outcome.strOccurrence + "): ";
    // A template that cannot be read has no subject to tell.
    const std::optional<std::string> strSubject =
        start.strSubject.empty() && start.kind != EKind::HandedOver ? std::nullopt : std::optional(start.strSubject);
    outcome.kind = start.kind;
    if (start.bAlreadyQueued) {
        // Its result may have been told before the stop: that one stands.
        Tell(outcome.JournalLine(task.m_strTaskName, strSubject,
                                 "the host holds its message already, handed over before the host stopped; "
                                 "it is not sent again"));
        if (IsKnown(task, start.strMessageId)) return;
    }
    if (!start.strUnfilled.empty())
        Tell(outcome.JournalLine(task.m_strTaskName, strSubject,
                                 "placeholders not filled, the text goes as written: " + start.strUnfilled));
    // A message handed over is told with its result, when the host reports
    // it; one that waits, once per occurrence rather than at every try.
    const CTaskOutcome* pLast = LastOf(task);
    const bool bWaitedBefore = outcome.kind == EKind::WaitingForAttachments && pLast && pLast->kind == outcome.kind &&
                               pLast->strOccurrence == outcome.strOccurrence;
    if (outcome.kind != EKind::HandedOver && outcome.kind != EKind::NotStored && !bWaitedBefore)
        Tell(outcome.JournalLine(task.m_strTaskName, strSubject));
    if (outcome.kind == EKind::TemplateMissing)
        Notify(kNotSentSummary, strWhat + "its template is missing or cannot be read: " + start.strText, kCritical);
    else if (outcome.kind == EKind::TemplateDamaged)
        Notify(kNotSentSummary, strWhat + "its template is damaged: " + start.strText, kCritical);
    else if (outcome.kind == EKind::Failed) Notify(kFailedSummary, strWhat + start.strText, kCritical);
    else if (outcome.kind == EKind::NotStored) NoteNotStored(task, outcome, strSubject, strWhat);
    else if (outcome.kind == EKind::SkippedByRule) Notify(kNotSentSummary, strWhat + start.strText);
    Record(task, std::move(outcome));
}

const CTaskOutcome* COutcomeRecorder::LastOf(const CTaskItem& task) const {
    return m_parts.pHistory ? m_parts.pHistory->History().Last(CTaskHistory::KeyOf(task.m_strTemplateFile)) : nullptr;
}

bool COutcomeRecorder::WaitsForHost(const CTaskItem& task) const {
    const CTaskOutcome* pLast = LastOf(task);
    return pLast && (pLast->kind == EKind::NotStored || pLast->kind == EKind::WaitingForAttachments) &&
           !pLast->bSendNow && pLast->strOccurrence == TaskTime::Format(task.m_dtNextSending);
}

void COutcomeRecorder::NoteNotStored(const CTaskItem& task, const CTaskOutcome& outcome,
                                     const std::optional<std::string>& strSubject, const std::string& strWhat) {
    // Told once per occurrence, not at every try (whose words name another temporary file).
    const CTaskOutcome* pLast = LastOf(task);
    if (pLast && pLast->kind == EKind::NotStored && pLast->strOccurrence == outcome.strOccurrence) return;
    Tell(outcome.JournalLine(
        task.m_strTaskName, strSubject,
        "not queued yet, the host cannot store the message now; tried again each minute: " + outcome.strText));
    m_vecNotStored.push_back(strWhat + outcome.strText);
    if (!m_bInTick) NotifyNotStored();
}

void COutcomeRecorder::Tell(const std::string& strLine) {
    std::cerr << "Quillory: " << CPrintable::Escape(strLine) << '\n';
}

void COutcomeRecorder::NotifyNotStored() {
    if (m_vecNotStored.empty()) return;
    std::string strBody;
    for (const auto& str : m_vecNotStored) strBody += (strBody.empty() ? "" : "\n") + str;
    Notify(m_vecNotStored.size() == 1
               ? "A scheduled message waits: the host cannot store it"
               : std::to_string(m_vecNotStored.size()) + " scheduled messages wait: the host cannot store them",
           strBody + "\nThey are tried again every minute.");
    m_vecNotStored.clear();
}

bool COutcomeRecorder::IsKnown(const CTaskItem& task, const std::string& strMessageId) const {
    if (!m_parts.pHistory || strMessageId.empty()) return false;
    for (const auto& outcome : m_parts.pHistory->History().Of(CTaskHistory::KeyOf(task.m_strTemplateFile)))
        if (outcome.strMessageId == strMessageId) return true;
    return false;
}

void COutcomeRecorder::OnSkipped(const CTaskItem& task) {
    CTaskOutcome outcome;
    outcome.kind = EKind::SkippedOverdue;
    outcome.strOccurrence = TaskTime::Format(task.m_dtNextSending);
    Tell(outcome.JournalLine(task.m_strTaskName, std::nullopt));  // its template is not opened to skip it
    Record(task, std::move(outcome));
}

void COutcomeRecorder::OnSkippedByRule(const CTaskItem& task, const std::string& strReason, bool bSkipNextUsed) {
    CTaskOutcome outcome;
    outcome.kind = EKind::SkippedByRule;
    outcome.strOccurrence = TaskTime::Format(task.m_dtNextSending);
    outcome.strText = strReason;
    Tell(outcome.JournalLine(task.m_strTaskName, std::nullopt));
    Record(task, std::move(outcome));
    if (!bSkipNextUsed || !m_parts.pHistory) return;
    const std::string strKey = CTaskHistory::KeyOf(task.m_strTemplateFile);
    nlohmann::json jSettings = m_parts.pHistory->SettingsOf(strKey);
    if (auto rRules = CTaskRulesJson::FromJson(jSettings.value(CHostProtocol::kRules, nlohmann::json::object()))) {
        rRules->bSkipNext = false;
        jSettings[CHostProtocol::kRules] = CTaskRulesJson::ToJson(*rRules);
        m_parts.pHistory->SetSettings(strKey, std::move(jSettings));
    }
    SaveNow();
}

CResult<CTaskRules> COutcomeRecorder::RulesOf(const CTaskItem& task) const {
    return CTaskRulesJson::InStore(m_parts.pHistory, task);
}

bool COutcomeRecorder::SkippedByRuleBefore(const CTaskItem& task) const {
    const CTaskOutcome* pLast = LastOf(task);
    return pLast && pLast->kind == EKind::SkippedByRule && !pLast->bSendNow &&
           pLast->strOccurrence == TaskTime::Format(task.m_dtNextSending);
}

void COutcomeRecorder::OnItemSendResult(IDispatch* pItem, int32_t nResult, const std::string& strText) {
    const auto kind = KindOf(nResult);
    CComQIPtr<_MailItem> spMail(pItem);
    if (!kind || !spMail) return;
    std::string strId, strTask, strOccurrence, strSendNow, strSubject;
    // Each read that fails leaves its value empty, and the result is then matched by what is left.
    (void)spMail->get_MessageId(&strId);
    (void)spMail->get_Subject(&strSubject);
    (void)spMail->GetHeader(kTaskHeader, &strTask);
    (void)spMail->GetHeader(kOccurrenceHeader, &strOccurrence);
    if (strOccurrence.empty()) (void)spMail->GetHeader(kSendNowHeader, &strSendNow);
    if (strTask.empty() && strOccurrence.empty() && strSendNow.empty()) return;  // not a scheduled message
    const std::string strFor = strSendNow.empty() ? strOccurrence : "sent now " + strSendNow;
    if (*kind == EKind::Failed) Notify(kFailedSummary, strTask + " (" + strFor + "): " + strText, kCritical);
    const int64_t tNow = m_parts.pClock->Now();
    NoteStuck(strId, *kind, strTask + " (" + strFor + ")", strText);
    CTaskOutcome outcome;
    outcome.kind = *kind;
    outcome.bSendNow = !strSendNow.empty();
    outcome.strOccurrence = outcome.bSendNow ? strSendNow : strOccurrence;
    outcome.strMessageId = strId;
    outcome.strText = strText;
    outcome.tWhen = tNow;
    const CTaskOutcome* pKnown =
        m_parts.pHistory ? m_parts.pHistory->History().Update(strId, *kind, strText, tNow) : nullptr;
    // The journal hears of it even when no history keeps it; the known one carries what the sending left out.
    Tell((pKnown ? *pKnown : outcome).JournalLine(strTask, strSubject));
    if (pKnown) return Save();
    const CTaskItem* pTask = m_parts.pHistory ? TaskNamed(strTask) : nullptr;
    if (!pTask) return;  // removed meanwhile: nowhere to show it
    Record(*pTask, std::move(outcome));
}

std::string COutcomeRecorder::CatchUpBody(const std::vector<CCatchUpCount::CLine>& vecLines) {
    std::string str;
    for (const auto& line : vecLines) {
        std::string strCounts;
        if (line.nSentLate > 0) strCounts = std::to_string(line.nSentLate) + " sent late";
        if (line.nSkipped > 0)
            strCounts += (strCounts.empty() ? "" : ", ") + std::to_string(line.nSkipped) + " skipped";
        str += (str.empty() ? "" : "\n") + line.strTaskName + ": " + strCounts;
    }
    return str;
}

void COutcomeRecorder::OnCaughtUp(const std::vector<CCatchUpCount::CLine>& vecLines) {
    if (vecLines.empty()) return;
    for (const auto& line : vecLines) {
        const int nMissed = line.nSentLate + line.nSkipped;
        Tell("task \"" + line.strTaskName + "\": caught up " + std::to_string(nMissed) + " missed occurrence" +
             (nMissed == 1 ? "" : "s") + " (" + std::to_string(line.nSentLate) + " sent late, " +
             std::to_string(line.nSkipped) + " skipped)");
    }
    Notify("Messages were due while " + m_parts.strHostName + " was not running", CatchUpBody(vecLines));
}

void COutcomeRecorder::Record(const CTaskItem& task, CTaskOutcome outcome) {
    if (!m_parts.pHistory) return;
    if (outcome.tWhen == 0) outcome.tWhen = m_parts.pClock->Now();
    m_parts.pHistory->History().Record(CTaskHistory::KeyOf(task.m_strTemplateFile), std::move(outcome));
    Save();
}

void COutcomeRecorder::Save() {
    m_bUnsaved = true;
    if (m_bInTick) return;
    // Results come in bursts, one posted event each: the timer fires after
    // the burst. Without an event loop nothing would ever fire it.
    if (QCoreApplication::instance()) return m_pSaveTimer->start();
    SaveNow();
}

void COutcomeRecorder::SaveNow() {
    m_pSaveTimer->stop();
    m_bUnsaved = false;
    const CTaskList* pList = m_parts.fnTaskList ? m_parts.fnTaskList() : nullptr;
    if (!pList || !m_parts.pHistory) return;
    // The history is a convenience: a save that fails is told, and sending goes on.
    if (const auto rSaved = m_parts.pHistory->Save(*pList); !rSaved)
        std::cerr << "Quillory: the task history is not saved: " << rSaved.Problem() << '\n';
}

void COutcomeRecorder::Notify(const std::string& strSummary, const std::string& strBody, INotifier::EUrgency eUrgency) {
    if (m_parts.pNotifier) m_parts.pNotifier->Notify(strSummary, strBody, eUrgency);
}

const CTaskItem* COutcomeRecorder::TaskNamed(const std::string& strName) const {
    const CTaskList* pList = m_parts.fnTaskList ? m_parts.fnTaskList() : nullptr;
    if (!pList || strName.empty()) return nullptr;
    for (const auto& task : *pList)
        if (task.m_strTaskName == strName) return &task;
    return nullptr;
}
