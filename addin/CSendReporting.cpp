#include "CSendReporting.h"

#include <QCoreApplication>
#include <iostream>

#include "CAddinBox.h"
#include "CApplicationEventsSink.h"
#include "CDesktopNotifier.h"
#include "COutcomeRecorder.h"
#include "CSettingsAhead.h"
#include "CTaskHistoryFile.h"
#include "CTaskRulesJson.h"
#include "HostName.h"
#include "SendTask.h"
#include "SharedState.h"
#include "TaskTime.h"

namespace {

INotifier*& NotifierOverride() {
    static INotifier* g_p = nullptr;
    return g_p;
}

// Told once at connection; the box waits for the event loop, as the task
// list's damage does, so that it does not hold up the connection.
void WarnUnreadableHistory(const std::string& strProblem) {
    std::cerr << "Quillory: the task history starts empty: " << strProblem << '\n';
    if (QCoreApplication::instance() && QCoreApplication::instance()->inherits("QApplication"))
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [strText = "The history of sent messages could not be read: " + strProblem +
                       "\n\nIt starts empty; the original file is kept beside the new one."] {
                CAddinBox::Warn(strText);
            },
            Qt::QueuedConnection);
}

// The task's rules as its entry in the store keeps them; rules that
// cannot be read are told, and the task is sent as if it had none.
CTaskRules StoredRules(const CTaskItem& task) {
    auto rRules = SharedTaskRules(task);
    if (rRules) return *rRules;
    std::cerr << "Quillory: task \"" << task.m_strTaskName << "\" is sent without its rules: " << rRules.Problem()
              << '\n';
    return {};
}

}  // namespace

void CSendReporting::SetNotifierForTests(INotifier* pNotifier) { NotifierOverride() = pNotifier; }

CSendReporting::CSendReporting(_Application* pApplication) : m_spApplication(pApplication) {
    m_pHistory = std::make_unique<CTaskHistoryFile>(g_strDataDir + CTaskHistoryFile::kFileName, AddinClock());
    if (const auto rLoaded = m_pHistory->Load(); !rLoaded) WarnUnreadableHistory(rLoaded.Problem());
    // Settings a stopped writer left ahead of the list go by the list as it
    // was read, before the sender moves it on.
    if (const auto rSettled = g_pTaskList ? CSettingsAhead::Settle(*m_pHistory, *g_pTaskList) : CResult<>(); !rSettled)
        std::cerr << "Quillory: the task store is not saved: " << rSettled.Problem() << '\n';
    g_pTaskHistory = m_pHistory.get();
    INotifier* pNotifier = NotifierOverride();
    if (!pNotifier) {
        m_pDesktop = std::make_unique<CDesktopNotifier>();
        pNotifier = m_pDesktop.get();
    }
    m_pRecorder = std::make_unique<COutcomeRecorder>(COutcomeRecorder::CParts{
        m_pHistory.get(), pNotifier, &AddinClock(), [] { return static_cast<const CTaskList*>(g_pTaskList); },
        HostName(), [] { return g_strTaskListUnsaved; }});
    m_spSink = MakeComObject<CApplicationEventsSink>(
        [pRecorder = m_pRecorder.get()](IDispatch* pItem, int32_t nResult, const std::string& strText) {
            pRecorder->OnItemSendResult(pItem, nResult, strText);
        });
    // A host without these events still sends; only the later results stay unknown.
    if (!m_spApplication ||
        FAILED(AtlAdvise(m_spApplication, m_spSink->GetUnknown(), ApplicationEvents::iid, &m_dwCookie)))
        m_dwCookie = 0;
}

CSendReporting::~CSendReporting() {
    if (m_dwCookie) (void)AtlUnadvise(m_spApplication, ApplicationEvents::iid, m_dwCookie);  // a host gone ended it
    m_spSink->Detach();
    if (g_pTaskHistory == m_pHistory.get()) g_pTaskHistory = nullptr;
}

void CSendReporting::Flush() { m_pRecorder->Flush(); }

void CSendReporting::Wire(CSendContext& ctx) {
    COutcomeRecorder* pRecorder = m_pRecorder.get();
    ctx.fnSend = [pRecorder](const CTaskItem& task) -> CSendVerdict {
        const CSendStart start =
            SendTask(g_spApplication, task, {}, {}, StoredRules(task), static_cast<time_t>(AddinClock().Now()));
        pRecorder->OnSendStart(task, start);
        if (start.kind == CSendStart::EKind::WaitingForAttachments) return {false, start.nRetrySeconds};
        return start.Counts();
    };
    ctx.fnSendNow = [pRecorder](const CTaskItem& task) {
        const std::string strNow = TaskTime::Format(TaskTime::FromAbsolute(AddinClock().Now()));
        pRecorder->OnSendStart(task, SendTask(g_spApplication, task, {}, strNow, StoredRules(task)), strNow);
    };
    ctx.fnSkipped = [pRecorder](const CTaskItem& task) { pRecorder->OnSkipped(task); };
    ctx.fnWaitsForHost = [pRecorder](const CTaskItem& task) { return pRecorder->WaitsForHost(task); };
    ctx.fnTickStart = [pRecorder] { pRecorder->OnTickStart(); };
    ctx.fnTickEnd = [pRecorder] { pRecorder->OnTickEnd(); };
    ctx.fnCaughtUp = [pRecorder](const std::vector<CCatchUpCount::CLine>& vecLines) {
        pRecorder->OnCaughtUp(vecLines);
    };
    ctx.fnRulesOf = [pRecorder](const CTaskItem& task) { return pRecorder->RulesOf(task); };
    ctx.fnSkippedByRuleBefore = [pRecorder](const CTaskItem& task) { return pRecorder->SkippedByRuleBefore(task); };
    ctx.fnSkippedByRule = [pRecorder](const CTaskItem& task, const std::string& strReason, bool bSkipNextUsed) {
        pRecorder->OnSkippedByRule(task, strReason, bSkipNextUsed);
    };
}
