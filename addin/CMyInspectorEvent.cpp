#include "CMyInspectorEvent.h"

#include "CAddinBox.h"
#include "CAddinToolbar.h"
#include "COptionsDlg.h"
#include "COtherPage.h"
#include "CSharedListEdit.h"
#include "CTaskTemplate.h"
#include "CTemplateName.h"
#include "SharedState.h"

using CAddinBox::Fail;
using CAddinBox::Warn;

namespace {

CComQIPtr<_MailItem> CurrentMail(_Inspector* pInspector) {
    CComPtr<IDispatch> spItem;
    if (FAILED(pInspector->get_CurrentItem(&spItem)) || !spItem) return {};
    return CComQIPtr<_MailItem>(spItem.p);
}

// What a scheduled message needs before it is taken (the options button and
// an update on close ask the same); false after the warning was shown.
bool CheckScheduledMessage(_MailItem* pMail, std::string& strSubject) {
    std::string strBody;
    pMail->get_Subject(&strSubject);
    if (strSubject.empty()) {
        Warn("Please enter a subject into the email.");
        return false;
    }
    pMail->get_Body(&strBody);
    if (strBody.empty()) {
        Warn("Please enter the content into the email.");
        return false;
    }
    CComPtr<Recipients> spRecipients;
    if (FAILED(pMail->get_Recipients(&spRecipients)) || !spRecipients) return false;
    int32_t nCount = 0;
    if (FAILED(spRecipients->get_Count(&nCount))) nCount = 0;
    if (nCount < 1) {
        Warn(
            "There is not any email addresses in the To field.\n\nPlease select or enter the recipients into the To "
            "field.");
        return false;
    }
    return true;
}

// The tracker that holds the one click subscription of this process.
CMyInspectorEvent* g_pClickSubscriber = nullptr;

}  // namespace

CMyInspectorEvent::CMyInspectorEvent(_Inspector* pInspector, ITrackerOwner* pAddin, int32_t nTaskIndex)
    : m_spInspector(pInspector), m_nTaskIndex(nTaskIndex), m_pAddin(pAddin) {
    if (nTaskIndex >= 0 && g_pTaskList && nTaskIndex < g_pTaskList->GetSize())
        m_nTaskId = g_pTaskList->IdAt(nTaskIndex);
}

CMyInspectorEvent::~CMyInspectorEvent() { UnadviseAll(); }

HRESULT CMyInspectorEvent::AdviseInspector() {
    if (!m_spInspector) return S_OK;
    m_spInspectorSink = MakeComObject<CInspectorEventsSink>([this] { OnActivate(); }, [this] { OnDeactivate(); },
                                                            [this] { OnClose(); });
    m_spInspectorSink->SetBeforeClose([this](bool* pbHandled, bool* pbCancel) { OnBeforeClose(pbHandled, pbCancel); });
    if (FAILED(AtlAdvise(m_spInspector, m_spInspectorSink->GetUnknown(), InspectorEvents::iid, &m_dwInspectorCookie)))
        m_dwInspectorCookie = 0;
    return S_OK;
}

void CMyInspectorEvent::UnadviseAll() {
    if (m_spButton && m_dwButtonCookie) AtlUnadvise(m_spButton, _CommandBarButtonEvents::iid, m_dwButtonCookie);
    m_dwButtonCookie = 0;
    if (g_pClickSubscriber == this) g_pClickSubscriber = nullptr;
    if (m_spInspector && m_dwInspectorCookie) AtlUnadvise(m_spInspector, InspectorEvents::iid, m_dwInspectorCookie);
    m_dwInspectorCookie = 0;
    if (m_spButtonSink) m_spButtonSink->Detach();
    if (m_spInspectorSink) m_spInspectorSink->Detach();
    m_spButtonSink = nullptr;
    m_spInspectorSink = nullptr;
    m_spButton = nullptr;
    m_spInspector = nullptr;
}

void CMyInspectorEvent::OnActivate() {
    if (!m_spInspector) return;
    g_spCurInspector = m_spInspector;
    // Where the task stands now; -1 when it was removed (then the window's
    // message is scheduled as a new task).
    g_nCurTaskIndex = m_nTaskId != CTaskList::kNoId && g_pTaskList ? g_pTaskList->IndexOf(m_nTaskId) : -1;
    g_nCurTaskId = g_nCurTaskIndex < 0 ? CTaskList::kNoId : m_nTaskId;
    if (!CurrentMail(m_spInspector)) return;
    {
        CComPtr<_CommandBars> spBars;
        CComPtr<CommandBar> spExisting;
        if (SUCCEEDED(m_spInspector->get_CommandBars(&spBars)) && spBars &&
            SUCCEEDED(spBars->get_Item(CVariant(kToolbarName), &spExisting)) && spExisting)
            return;  // built on an earlier activation
    }
    CComPtr<_CommandBars> spBars;
    if (FAILED(m_spInspector->get_CommandBars(&spBars)) || !spBars) return;
    m_spButton = CAddinToolbar::Add(spBars, kToolbarName, {kButtonText, kButtonText, kButtonText});
    if (!m_spButton) return;
    // One subscription serves every window: a click reaches the subscribers
    // of every button with this tag, and the handler works on the current
    // window. The first window to build its button subscribes; a second
    // subscriber (two windows open at connection, say) would open the sheet
    // twice for one click.
    if (!g_pClickSubscriber) {
        m_spButtonSink = MakeComObject<CButtonEventsSink>(
            [this](IDispatch* pButton, bool* pbCancel) { OnOptionsClick(pButton, pbCancel); });
        if (FAILED(
                AtlAdvise(m_spButton, m_spButtonSink->GetUnknown(), _CommandBarButtonEvents::iid, &m_dwButtonCookie)))
            m_dwButtonCookie = 0;
        else g_pClickSubscriber = this;
    }
}

void CMyInspectorEvent::OnClose() {
    g_spCurInspector = nullptr;
    g_spCurMailItem = nullptr;
    g_nCurTaskIndex = -1;
    g_nCurTaskId = CTaskList::kNoId;
}

void CMyInspectorEvent::OnBeforeClose(bool* pbHandled, bool* pbCancel) {
    // A new message, or one whose task was removed meanwhile, is the host's
    // to offer to Drafts.
    const int nIndex = m_nTaskId != CTaskList::kNoId && g_pTaskList ? g_pTaskList->IndexOf(m_nTaskId) : -1;
    CComQIPtr<_MailItem> spMail = m_spInspector ? CurrentMail(m_spInspector) : CComQIPtr<_MailItem>();
    if (nIndex < 0 || !spMail) return;
    *pbHandled = true;
    const CTaskItem task = static_cast<const CTaskList&>(*g_pTaskList)[nIndex];
    const int nAnswer = CAddinBox::AskOrCancel("This message is sent by the scheduled task \"" + task.m_strTaskName +
                                               "\".\n\nDo you want to update the task with your changes? "
                                               "No discards them; the task keeps its message as it was.");
    if (nAnswer == CMessageBox::IDNO) return;
    *pbCancel = true;  // until the task holds the changes
    std::string strSubject;
    if (nAnswer != CMessageBox::IDYES || !CheckScheduledMessage(spMail, strSubject)) return;
    // The question's event loop lets the tool or the Email Manager change
    // or remove the task: only the task as it is now is written for.
    const int nNow = g_pTaskList ? g_pTaskList->IndexOf(m_nTaskId) : -1;
    if (nNow < 0)
        return Fail("The task \"" + task.m_strTaskName +
                    "\" was removed meanwhile, so there is no task to update.\n\nPress \"Quillory Options\" to "
                    "schedule the message as a new task.");
    const CTaskItem current = static_cast<const CTaskList&>(*g_pTaskList)[nNow];
    if (current.m_strTemplateFile != task.m_strTemplateFile)
        return Fail("The task \"" + current.m_strTaskName +
                    "\" was given another message meanwhile; yours is not written over it.\n\nPress \"Quillory "
                    "Options\" to schedule this message again.");
    // Only the task's own file in the data directory is ever written.
    if (!CTemplateName::IsOwnTemplate(g_strDataDir, task.m_strTemplateFile))
        return Fail("The task \"" + task.m_strTaskName + "\" could not be updated: its template " +
                    task.m_strTemplateFile + " is not in the data directory " + g_strDataDir +
                    ".\n\nPress \"Quillory Options\" to schedule the message again.");
    if (const auto rWritten = CTaskTemplate::Write(spMail, task.m_strTemplateFile); !rWritten)
        return Fail("The task \"" + task.m_strTaskName + "\" could not be updated: " + rWritten.Problem());
    *pbCancel = false;
}

void CMyInspectorEvent::OnOptionsClick(IDispatch*, bool*) {
    CComPtr<_Inspector> spInspector = g_spCurInspector;
    if (!spInspector) return Warn("Invalid Inspector!");
    CComQIPtr<_MailItem> spMail = CurrentMail(spInspector);
    if (!spMail) return Warn("This is not an email message.");
    // Cleared first, so that an error object left by an earlier call is not
    // shown as this failure's reason.
    (void)TakeErrorDescription();  // only the clearing matters
    if (FAILED(spMail->Save())) {
        // The host's reason (a bad address, a full disk) on a line of its own.
        const std::string strWhy = TakeErrorDescription();
        return Fail(strWhy.empty() ? "Failed to save the email!" : "Failed to save the email!\n" + strWhy);
    }
    std::string strSubject;
    if (!CheckScheduledMessage(spMail, strSubject)) return;
    g_spCurMailItem = spMail;

    // The task is held by its identity: the sheet's event loop lets the list
    // be reordered. A task removed meanwhile makes the message a new task.
    const CTaskList::Id nId = g_nCurTaskId;
    const int32_t i = nId != CTaskList::kNoId && g_pTaskList ? g_pTaskList->IndexOf(nId) : -1;
    COptionsDlg dlg(nullptr, AddinClock());
    if (i < 0) {
        dlg.m_bNewTask = 1;
        dlg.m_nMode = COptionsDlg::kModeNewMessage;
        dlg.m_nEditIndex = -1;
        dlg.OtherPage().m_strTaskName = strSubject;
    } else {
        dlg.m_bNewTask = 0;
        dlg.m_nMode = COptionsDlg::kModeMessage;
        dlg.m_nEditIndex = i;
        dlg.m_nEditId = nId;
        const CTaskItem& task = static_cast<const CTaskList&>(*g_pTaskList)[i];
        dlg.SetTask(task);
        // Rules that cannot be read are told; the page then starts from none.
        if (const auto rRules = SharedTaskRules(task); rRules) dlg.SetRules(*rRules);
        else
            CAddinBox::Warn("The rules kept for this task cannot be read (" + rRules.Problem() +
                            "); its Rules page starts from none.");
    }
    if (dlg.exec() != COptionsDlg::kResultOK || !g_pTaskList) return;
    CTaskListEdit::CEdit edit;
    edit.eCommand = CTaskListEdit::ECommand::Store;
    edit.nIndex = i < 0 ? -1 : g_pTaskList->IndexOf(nId);
    edit.task = dlg.GetTask();
    edit.optRules = dlg.GetRules();
    // The template is written and the draft gone: a store that cannot be
    // saved stays in the list, and the user is told (CSharedListEdit).
    if (const auto rStored = CSharedListEdit::Apply(edit); !rStored)
        CAddinBox::Fail("Failed to store the task: " + rStored.Problem());
    spInspector->Close(1);
}
