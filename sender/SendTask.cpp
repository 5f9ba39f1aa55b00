#include "SendTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "CAttachmentEntry.h"
#include "CMailMessage.h"
#include "CPlaceholders.h"
#include "CTaskZone.h"
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

// What the occurrence fills in: its own time, or the time an extra message
// was asked for, as the task's zone reads it.
CPlaceholders::CValues PlaceholderValues(const CTaskItem& task, const std::string& strSendNow,
                                         const std::string& strZone) {
    CPlaceholders::CValues values{task.m_dtNextSending, task.m_nOccurrenceCount + 1, task.m_strTaskName};
    if (!strSendNow.empty())
        if (const auto rAsked = TaskTime::ParseDateTime(strSendNow)) values.dtOccurrence = *rAsked;
    values.dtOccurrence = CTaskZone::OccurrenceInZone(strZone, values.dtOccurrence);
    return values;
}

// The text filled in; one that cannot be goes as written, and strUnfilled says why.
std::string FilledText(const std::string& strText, const CPlaceholders::CValues& values, const std::string& strWhere,
                       bool bHtml, std::string& strUnfilled) {
    if (!CPlaceholders::Has(strText)) return strText;
    const auto rFilled =
        bHtml ? CPlaceholders::FillHtml(strText, values, strWhere) : CPlaceholders::Fill(strText, values, strWhere);
    if (rFilled) return *rFilled;
    for (const auto& strLine : rFilled.ProblemLines()) strUnfilled += (strUnfilled.empty() ? "" : "; ") + strLine;
    return strText;
}

}  // namespace

CResult<std::vector<std::string>> AddAttachments(_MailItem* pMailItem, const std::vector<std::string>& vecEntries) {
    std::vector<std::string> vecUnmatched;
    CComPtr<Attachments> spAttachments;
    if (FAILED(pMailItem->get_Attachments(&spAttachments)) || !spAttachments)
        return CProblem("the message's attachments cannot be had");
    for (const auto& strEntry : vecEntries) {
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
                    const std::string& strSendNow, const CTaskRules& rules, time_t tNow) {
    using EKind = CSendStart::EKind;
    using ENothing = CTaskRules::ENothingAttached;
    if (!pApplication) return {EKind::Failed, "", "no host to send with", {}, {}};
    if (task.m_strTemplateFile.empty() || !CanOpenTemplate(task.m_strTemplateFile))
        return {EKind::TemplateMissing, "", task.m_strTemplateFile, {}, {}};
    CComPtr<IDispatch> spItem;
    if (FAILED(pApplication->CreateItemFromTemplate(task.m_strTemplateFile, vtMissing, &spItem)) || !spItem)
        return {EKind::TemplateDamaged, "", task.m_strTemplateFile, {}, {}};
    CComQIPtr<_MailItem> spMail(spItem.p);
    if (!spMail) return {EKind::TemplateDamaged, "", task.m_strTemplateFile, {}, {}};
    const CPlaceholders::CValues values = PlaceholderValues(task, strSendNow, rules.strZone);
    std::string strUnfilled;
    std::string strSubject;
    (void)spMail->get_Subject(&strSubject);
    if (CPlaceholders::Has(strSubject)) {
        strSubject = FilledText(strSubject, values, "subject", false, strUnfilled);
        // A refusal leaves the subject as the template has it, which is what went out before placeholders.
        (void)spMail->put_Subject(strSubject);
    }
    std::string strBody;
    int32_t nFormat = olFormatPlain;
    if (SUCCEEDED(spMail->get_Body(&strBody)) && CPlaceholders::Has(strBody)) {
        (void)spMail->get_BodyFormat(&nFormat);  // a host that cannot say has plain text
        (void)spMail->put_Body(FilledText(strBody, values, "body", nFormat == olFormatHTML, strUnfilled));
    }
    std::vector<std::string> vecEntries;
    for (const auto& strEntry : task.m_arrAttachments)
        vecEntries.push_back(FilledText(strEntry, values, "attachment " + strEntry, false, strUnfilled));
    // An entry that matches nothing is for the task's rules to decide (by
    // default the message goes as the template has it, and its result says
    // so); a file that is there but cannot be read stops the occurrence,
    // named in its result and a notification, rather than go out without it
    // while the result says sent.
    std::string strNote;
    if (!vecEntries.empty()) {
        const auto rAttached = AddAttachments(spMail, vecEntries);
        if (!rAttached) return {EKind::Failed, "", rAttached.Problem(), strSubject, {}};
        for (const auto& strEntry : *rAttached) strNote += (strNote.empty() ? "nothing matched " : ", ") + strEntry;
    }
    ENothing eNothing = rules.eNothingAttached;
    if (!strNote.empty() && eNothing == ENothing::Wait) {
        eNothing = rules.eWaitThen;
        const auto rOccurrence = TaskTime::ToAbsolute(task.m_dtNextSending);
        if (!tNow) tNow = std::time(nullptr);
        const time_t tDeadline = rOccurrence ? *rOccurrence + time_t{rules.nWaitDeadlineMinutes} * 60 : 0;
        if (strSendNow.empty() && tNow < tDeadline) {
            CSendStart waiting{EKind::WaitingForAttachments, "", strNote, strSubject, {}};
            waiting.strText += "; tried again until " + TaskTime::Format(TaskTime::FromAbsolute(tDeadline));
            waiting.nRetrySeconds =
                static_cast<int>(std::min<time_t>(time_t{std::max(rules.nWaitMinutes, 1)} * 60, tDeadline - tNow));
            waiting.strUnfilled = strUnfilled;
            return waiting;
        }
        if (strSendNow.empty()) strNote += " by " + TaskTime::Format(TaskTime::FromAbsolute(tDeadline));
    }
    if (!strNote.empty() && eNothing == ENothing::Skip) {
        CSendStart skipped{EKind::SkippedByRule, "", strNote, strSubject, {}};
        skipped.strUnfilled = strUnfilled;
        return skipped;
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
    CSendStart start{EKind::HandedOver, "", "", strSubject, strNote, hr == kSendAlreadyQueued};
    start.strUnfilled = strUnfilled;
    if (FAILED(hr)) {
        const std::string strWhy = TakeErrorDescription();
        start.kind = hr == kSendNotStoredNow ? EKind::NotStored : EKind::Failed;
        start.strText = strWhy.empty() ? "the host did not take the message" : strWhy;
        return start;
    }
    (void)spMail->get_MessageId(&start.strMessageId);  // without it the result is matched by the task's name
    return start;
}
