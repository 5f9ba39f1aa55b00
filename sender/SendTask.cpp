#include "SendTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "CAttachmentEntry.h"
#include "CMailMessage.h"
#include "TaskTime.h"
#include "TemplateAccess.h"

namespace {

constexpr int kReceiveWaitMs = 3000;

// Waits with the event loop running where there is one, so the host stays
// responsive; the scheduler's busy flag keeps its own ticks out meanwhile.
void DefaultWait(int nMilliseconds) {
    if (QCoreApplication::instance()) {
        QEventLoop loop;
        QTimer::singleShot(nMilliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMilliseconds));
    }
}

}  // namespace

CResult<std::vector<std::string>> AddAttachments(_MailItem* pMailItem, const CTaskItem& task) {
    std::vector<std::string> vecUnmatched;
    CComPtr<Attachments> spAttachments;
    if (FAILED(pMailItem->get_Attachments(&spAttachments)) || !spAttachments)
        return CProblem("the message's attachments cannot be had");
    for (const auto& strEntry : task.m_arrAttachments) {
        const auto vecFiles = CAttachmentEntry::Match(strEntry);
        if (vecFiles.empty()) vecUnmatched.push_back(strEntry);
        for (const auto& strFile : vecFiles) {
            (void)TakeErrorDescription();  // a reason left from an earlier call is not Add's
            if (FAILED(spAttachments->Add(CVariant(strFile), CVariant(olByValue), vtMissing, vtMissing))) {
                const std::string strWhy = TakeErrorDescription();
                return CProblem("the attachment " + strFile + " cannot be attached" +
                                (strWhy.empty() ? "" : ": " + strWhy));
            }
        }
    }
    return vecUnmatched;
}

void ReceiveEmails(_Application* pApplication, const CWaitFn& fnWait) {
    CComPtr<_Explorer> spExplorer;
    if (FAILED(pApplication->ActiveExplorer(&spExplorer)) || !spExplorer) return;
    CComPtr<_CommandBars> spBars;
    if (FAILED(spExplorer->get_CommandBars(&spBars)) || !spBars) return;
    CComPtr<CommandBarControl> spControl;
    if (FAILED(spBars->FindControl(vtMissing, CVariant(kSendReceiveControlId), vtMissing, vtMissing, &spControl)) ||
        !spControl)
        return;
    bool bEnabled = false;
    if (FAILED(spControl->get_Enabled(&bEnabled)) || !bEnabled) return;
    // Receiving first is a courtesy: the host tells its own failure, and the message goes anyway.
    (void)spControl->Execute();
    (fnWait ? fnWait : CWaitFn(DefaultWait))(kReceiveWaitMs);
}

CSendStart SendTask(_Application* pApplication, const CTaskItem& task, const CWaitFn& fnWait,
                    const std::string& strSendNow) {
    using EKind = CSendStart::EKind;
    if (!pApplication) return {EKind::Failed, "", "no host to send with", {}, {}};
    if (task.m_strTemplateFile.empty() || !CanOpenTemplate(task.m_strTemplateFile))
        return {EKind::TemplateMissing, "", task.m_strTemplateFile, {}, {}};
    CComPtr<IDispatch> spItem;
    if (FAILED(pApplication->CreateItemFromTemplate(task.m_strTemplateFile, vtMissing, &spItem)) || !spItem)
        return {EKind::TemplateDamaged, "", task.m_strTemplateFile, {}, {}};
    CComQIPtr<_MailItem> spMail(spItem.p);
    if (!spMail) return {EKind::TemplateDamaged, "", task.m_strTemplateFile, {}, {}};
    std::string strSubject;
    (void)spMail->get_Subject(&strSubject);  // for the journal only
    // An entry that matches nothing leaves the message as the template has
    // it, and its result says so; a file that is there but cannot be read
    // stops the occurrence, named in its result and a notification, rather
    // than go out without it while the result says sent.
    std::string strNote;
    if (task.m_arrAttachments.GetSize() > 0) {
        const auto rAttached = AddAttachments(spMail, task);
        if (!rAttached) return {EKind::Failed, "", rAttached.Problem(), strSubject, {}};
        for (const auto& strEntry : *rAttached) strNote += (strNote.empty() ? "nothing matched " : ", ") + strEntry;
    }
    // A sent copy is the host's default; a refusal here would lose only that copy, never the message.
    (void)spMail->put_DeleteAfterSubmit(false);
    // Without them the result cannot be matched, but the message still goes.
    (void)spMail->SetHeader(kTaskHeader, task.m_strTaskName);
    if (strSendNow.empty()) (void)spMail->SetHeader(kOccurrenceHeader, TaskTime::Format(task.m_dtNextSending));
    else (void)spMail->SetHeader(kSendNowHeader, strSendNow);
    // Send stores the message itself: a save that cannot be made now (no space) shows in its result.
    (void)spMail->Save();
    if (task.m_bReceiveBeforeSending) ReceiveEmails(pApplication, fnWait);
    (void)TakeErrorDescription();  // a reason left from an earlier call is not Send's
    const HRESULT hr = spMail->Send();
    if (FAILED(hr)) {
        const std::string strWhy = TakeErrorDescription();
        return {hr == kSendNotStoredNow ? EKind::NotStored : EKind::Failed, "",
                strWhy.empty() ? "the host did not take the message" : strWhy, strSubject, strNote};
    }
    std::string strId;
    (void)spMail->get_MessageId(&strId);  // without it the result is matched by the task's name
    return {EKind::HandedOver, strId, "", strSubject, strNote, hr == kSendAlreadyQueued};
}
