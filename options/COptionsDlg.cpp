#include "COptionsDlg.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <QWindow>
#include <algorithm>
#include <iostream>
#include <optional>

#include "CAddinBox.h"
#include "CAddinSettings.h"
#include "CAttachmentsPage.h"
#include "CDataExchange.h"
#include "CEnterPresses.h"
#include "CGeneralPage.h"
#include "CHolidayCache.h"
#include "CHolidayFile.h"
#include "COptionsIds.h"
#include "COtherPage.h"
#include "CPlaceholders.h"
#include "CRuledSchedule.h"
#include "CRulesPage.h"
#include "CSchedule.h"
#include "CSchedulePreview.h"
#include "CSendingHold.h"
#include "CTaskCheck.h"
#include "CTaskListEdit.h"
#include "CTaskTemplate.h"
#include "CTemplateName.h"
#include "CZoneHold.h"
#include "CZoneRules.h"
#include "HostName.h"
#include "SharedState.h"
#include "TaskTime.h"
#include "ui_OptionsDlg.h"

using namespace COptionsIds;

namespace {

static_assert(std::char_traits<char>::length(COptionsDlg::kMarkerSubject) == 57);

}  // namespace

const IClock& COptionsDlg::SystemClock() {
    static const CSystemClock g_clock;
    return g_clock;
}

COptionsDlg::COptionsDlg(QWidget* pParent, const IClock& clock)
    : QDialog(pParent),
      m_clock(clock),
      m_pOwner(pParent ? pParent : QApplication::activeWindow()),
      m_pSheet(new QTabWidget(this)),
      m_pGeneralPage(new CGeneralPage),
      m_pAttachmentsPage(new CAttachmentsPage),
      m_pOtherPage(new COtherPage),
      m_pRulesPage(new CRulesPage) {
    Ui::OptionsDlg().setupUi(this);
    for (QWidget* pPage : {static_cast<QWidget*>(m_pGeneralPage), static_cast<QWidget*>(m_pAttachmentsPage),
                           static_cast<QWidget*>(m_pOtherPage)})
        pPage->setMinimumSize(pPage->size());
    m_pSheet->addTab(m_pGeneralPage, "General");
    m_pSheet->addTab(m_pAttachmentsPage, "Attachments");
    m_pSheet->addTab(m_pOtherPage, "Other");
    // Laid out by its layouts rather than a template: it scrolls where the
    // sheet, sized from the General page, is too small for it.
    auto* pRulesScroll = new QScrollArea;
    pRulesScroll->setWidget(m_pRulesPage);
    pRulesScroll->setWidgetResizable(true);
    pRulesScroll->setFrameShape(QFrame::NoFrame);
    m_pSheet->addTab(pRulesScroll, "Rules");
    // The pages are laid out by hand, so the sheet is sized from them: the
    // page, its frame and the tab row.
    const QSize sizePage = m_pGeneralPage->size();
    m_pSheet->resize(sizePage.width() + 4, sizePage.height() + m_pSheet->tabBar()->sizeHint().height() + 4);
    m_pSheet->move(3, 3);
    // The General page is taller than its template by the preview; the
    // buttons below the sheet move down with it.
    resize(width(), height() + CGeneralPage::kPreviewHeight);
    for (int nId : {IDC_SCHEDULE, IDC_CANCEL}) {
        QWidget* pButton = CDataExchange::Control<QPushButton>(this, nId);
        pButton->move(pButton->x(), pButton->y() + CGeneralPage::kPreviewHeight);
    }
    m_previewTimer.setSingleShot(true);
    connect(&m_previewTimer, &QTimer::timeout, this, [this] { UpdatePreview(); });
    connect(m_pGeneralPage, &CGeneralPage::Edited, this, [this] { m_previewTimer.start(0); });
    connect(m_pRulesPage, &CRulesPage::Edited, this, [this] { m_previewTimer.start(0); });
    // Enter must not commit: only the Schedule button does. The Attachments
    // page's default button is the default only while that page is shown.
    for (QPushButton* pButton : findChildren<QPushButton*>()) pButton->setAutoDefault(false);
    auto* pAdd = CDataExchange::Control<QPushButton>(m_pAttachmentsPage, IDC_ADD_FILES);
    pAdd->setDefault(false);
    connect(m_pSheet, &QTabWidget::currentChanged, this,
            [this, pAdd] { pAdd->setDefault(m_pSheet->currentWidget() == m_pAttachmentsPage); });
    connect(CDataExchange::Control<QPushButton>(this, IDC_SCHEDULE), &QPushButton::clicked, this,
            [this] { OnSchedule(); });
    connect(CDataExchange::Control<QPushButton>(this, IDC_CANCEL), &QPushButton::clicked, this, [this] { reject(); });
    CEnterPresses::Attach(this);
    // Laid out by hand: a smaller window would hide Schedule and Cancel.
    setFixedSize(size());
}

void COptionsDlg::CentreOverOwner() {
    if (!m_pOwner || !m_pOwner->isVisible()) return;
    QWidget* pOwner = m_pOwner->window();
    if (!parentWidget()) {
        // Kept above the message window without being owned by it: the
        // message window may close while the sheet is open.
        winId();
        if (windowHandle() && pOwner->windowHandle()) windowHandle()->setTransientParent(pOwner->windowHandle());
    }
    const QRect rcOwner = pOwner->frameGeometry();
    move(rcOwner.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
}

int COptionsDlg::exec() {
    const CSendingHold hold(m_nEditId);  // the task it edits is not sent meanwhile
    return QDialog::exec() == kResultOK ? kResultOK : kResultCancel;
}

void COptionsDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialized) {
        m_bInitialized = true;
        CentreOverOwner();
        OnInitDialog();
    }
    QDialog::showEvent(pEvent);
}

void COptionsDlg::OnInitDialog() {
    // Every page once, so that each has its controls; General is shown.
    m_pSheet->setCurrentWidget(m_pAttachmentsPage);
    m_pSheet->setCurrentWidget(m_pOtherPage);
    m_pSheet->setCurrentWidget(m_pGeneralPage);

    CRangeNotes notes;
    if (m_bNewTask) {
        const time_t tNow = m_clock.Now();
        const TaskDateTime start = TaskTime::FromAbsolute(tNow + 60);
        const TaskDateTime end = TaskTime::FromAbsolute(tNow + 86460);
        m_pGeneralPage->SetStartingDate(QDate(start.nYear, start.nMonth, start.nDay));
        m_pGeneralPage->SetSendingTime(QTime(start.nHour, start.nMinute, start.nSecond));
        m_pGeneralPage->SetEndDate(QDate(end.nYear, end.nMonth, end.nDay));
        m_pOtherPage->m_bReceiveBeforeSending = 0;
        m_pOtherPage->m_bSendOverdue = 1;
        m_pOtherPage->m_bActive = 1;
        m_pOtherPage->UpdateData(false);
    } else {
        m_pGeneralPage->LoadFromTask(m_task, notes);
        m_pAttachmentsPage->Load(m_task.m_arrAttachments);
        m_pOtherPage->m_strTaskName = m_task.m_strTaskName;
        m_pOtherPage->m_bReceiveBeforeSending = m_task.m_bReceiveBeforeSending != 0;
        m_pOtherPage->m_bSendOverdue = m_task.m_bSendOverdue != 0;
        m_pOtherPage->m_bActive = m_task.m_bActive != 0;
        m_pOtherPage->UpdateData(false);
        m_pGeneralPage->LoadRecurrence(m_task, notes);
    }
    m_pRulesPage->Load(m_rules);
    m_pGeneralPage->UpdateData(false);
    UpdatePreview();
    if (!notes.IsEmpty()) CAddinBox::Warn(notes.Message());
}

void COptionsDlg::UpdatePreview() {
    m_previewTimer.stop();
    CTaskItem task = m_task;
    QString strTimes = "Shown once the dates and counts on this page are valid.";
    if (m_pGeneralPage->UpdateData(true, true)) {
        switch (m_pGeneralPage->WriteRecurrence(task, true)) {
            case CGeneralPage::kPanelRejected: break;
            case CGeneralPage::kNoWeekday: strTimes = "Shown once a day of the week is ticked."; break;
            case CGeneralPage::kWritten: {
                m_pGeneralPage->WriteStart(task);
                m_pGeneralPage->WriteEnd(task);
                const auto rRules = m_pRulesPage->Rules();
                m_pRulesPage->ShowZoneNote(rRules ? CSchedulePreview::ZoneNote(task, *rRules).toStdString() : "");
                if (!rRules) {
                    strTimes = "Shown once the choices on the Rules page are valid.";
                    break;
                }
                strTimes = CSchedulePreview::Times(task, m_bNewTask != 0, m_clock, *rRules, m_holidays);
                if (const std::string strSubject = MessageSubject(); !strSubject.empty()) {
                    task.m_strTaskName = m_pOtherPage->m_strTaskName;
                    const QString strNext =
                        CSchedulePreview::NextSubject(task, m_bNewTask != 0, m_clock, strSubject, *rRules, m_holidays);
                    if (!strNext.isEmpty()) strTimes += "\n" + strNext;
                }
                break;
            }
        }
    }
    m_pGeneralPage->ShowPreview(strTimes, CSchedulePreview::Zone(m_clock));
}

void COptionsDlg::Stop(const std::string& strMessage, QWidget* pPage, unsigned nIcon) {
    CAddinBox::Tell(strMessage, nIcon);
    if (pPage) m_pSheet->setCurrentWidget(pPage);
}

bool COptionsDlg::ReadPages(CTaskItem& task, time_t tNow) {
    // Asked again below; this first pass must not report twice.
    m_pOtherPage->UpdateData(true);
    m_pGeneralPage->UpdateData(true, true);

    switch (m_pGeneralPage->WriteRecurrence(task)) {
        case CGeneralPage::kPanelRejected: return false;
        case CGeneralPage::kNoWeekday: Stop("Please select at least one of the day.", m_pGeneralPage); return false;
        case CGeneralPage::kWritten: break;
    }
    if (!m_pGeneralPage->UpdateData(true)) return false;
    m_pGeneralPage->WriteStart(task);
    m_pGeneralPage->WriteEnd(task);
    CProblems problems;
    CTaskCheck::CheckStartAndEnd(task, m_bNewTask != 0, tNow, problems);
    if (!problems.Empty()) {
        Stop(problems.Front().strText, m_pGeneralPage);
        return false;
    }
    if (m_bNewTask) task.m_dtLastSent.Empty();
    task.m_arrAttachments = m_pAttachmentsPage->Entries();
    return m_pOtherPage->UpdateData(true);
}

int COptionsDlg::EditIndexNow() const {
    if (m_nEditId == CTaskList::kNoId || !g_pTaskList) return m_nEditIndex;
    return g_pTaskList->IndexOf(m_nEditId);
}

bool COptionsDlg::CheckName(CTaskItem& task) {
    const std::string strName = CTaskListEdit::TrimmedName(m_pOtherPage->m_strTaskName);
    m_pOtherPage->m_strTaskName = strName;
    m_pOtherPage->UpdateData(false);
    CProblems problems;
    CTaskCheck::CheckName(g_pTaskList ? *g_pTaskList : CTaskList(), EditIndexNow(), strName, problems);
    if (!problems.Empty()) {
        Stop(problems.Front().strText, m_pOtherPage);
        return false;
    }
    task.m_strTaskName = strName;
    task.m_bReceiveBeforeSending = m_pOtherPage->m_bReceiveBeforeSending;
    task.m_bSendOverdue = m_pOtherPage->m_bSendOverdue;
    task.m_bActive = m_pOtherPage->m_bActive;
    return true;
}

bool COptionsDlg::CheckSize(const CTaskItem& task, time_t tNow) {
    // Measured with the template path it is about to get; the task list
    // file's reader refuses a longer record and every task after it.
    CTaskItem measured = task;
    if (m_nMode != kModeSchedule && !g_strDataDir.empty()) {
        // A path that cannot be had measures as none; the save says so.
        const auto rPath = TemplatePath(task, tNow);
        measured.m_strTemplateFile = rPath ? *rPath : std::string();
    }
    const auto rCodec = TaskListCodec();
    if (!rCodec) {
        Stop("The task list cannot be written: " + rCodec.Problem(), nullptr, CMessageBox::MB_ICONERROR);
        return false;
    }
    CProblems problems;
    CTaskCheck::CheckSize(measured, **rCodec, problems);
    if (problems.Empty()) return true;
    if (problems.Front().strWhere == "attachments") {
        Stop("The attachment list is too long, please remove some of the attachments.", m_pAttachmentsPage);
        if (auto* pList = CDataExchange::Control<QWidget>(m_pAttachmentsPage, IDC_ATTACHMENT_LIST)) pList->setFocus();
    } else {
        Stop("The task name is too long, please shorten it.", m_pOtherPage);
        if (auto* pName = CDataExchange::Control<QWidget>(m_pOtherPage, IDC_TASK_NAME)) pName->setFocus();
    }
    return false;
}

bool COptionsDlg::CheckPlaceholders(const CTaskItem& task) {
    CProblems problems;
    CTaskCheck::CheckPlaceholders(task, m_bNewTask ? nullptr : &m_task, problems);
    if (!problems.Empty()) {
        Stop("The attachment entry " + problems.Front().strText +
                 ".\n\nA placeholder is written as {date}, {date:%Y-%m-%d}, {month-1:%B %Y}, {n} or {name}; "
                 "a brace alone is written twice.",
             m_pAttachmentsPage);
        return false;
    }
    std::string strSubject, strBody;
    int32_t nFormat = olFormatPlain;
    // Without the message at hand (a task edited from the manager) its texts were checked when it was made.
    if (m_nMode == kModeSchedule || !g_spCurMailItem) return true;
    (void)g_spCurMailItem->get_Subject(&strSubject);  // what cannot be read is not checked; sending says the same
    (void)g_spCurMailItem->get_Body(&strBody);
    (void)g_spCurMailItem->get_BodyFormat(&nFormat);
    CPlaceholders::Check(strSubject, "The subject", problems);
    CPlaceholders::Check(strBody, "The message text", problems, nFormat == olFormatHTML);
    if (problems.Empty()) return true;
    Stop(problems.Front().Line() +
             ".\n\nA placeholder is written as {date}, {date:%Y-%m-%d}, {month-1:%B %Y}, {n} or {name}; "
             "a brace alone is written twice. Please correct the message.",
         nullptr);
    return false;
}

CResult<bool> COptionsDlg::Commit(CTaskItem& task) {
    const time_t tNow = m_clock.Now();
    if (!ReadRules()) return false;
    // A task with a zone of its own has its start and end in that zone.
    std::optional<CZoneHold> zone;
    if (!m_rules.strZone.empty()) {
        QUILLORY_TRY_VALUE(CZoneRules* const pZone, CZoneRules::Named(m_rules.strZone));
        zone.emplace(*pZone);
    }
    const bool bRead = ReadPages(task, tNow);
    zone.reset();
    if (!bRead || !CheckName(task) || !CheckSize(task, tNow) || !CheckPlaceholders(task)) return false;
    const CSchedule schedule(m_clock);
    const CWorkingDays days = m_holidays.WorkingDaysAround(m_rules, tNow);
    QUILLORY_TRY(CRuledSchedule(schedule, m_rules, days).ScheduleAnew(task, m_bNewTask != 0, tNow));

    if (m_nMode != kModeSchedule) {
        if (!g_spCurMailItem) {
            Stop("Failed to read the current email message!", nullptr, CMessageBox::MB_ICONERROR);
            return false;
        }
        g_spCurMailItem->Save();
        if (!SaveTemplate(task, tNow)) return false;
        RemoveDraft();
    }
    return true;
}

bool COptionsDlg::ReadRules() {
    auto rRules = m_pRulesPage->Rules();
    if (!rRules) {
        Stop(rRules.Problem(), m_pRulesPage->parentWidget()->parentWidget());
        return false;
    }
    // A holiday file that cannot be read now would only be found out at a sending.
    const int64_t nToday = TaskTime::DayNumber(TaskTime::FromAbsolute(m_clock.Now()).nYear, 1, 1);
    for (const std::string& strFile : rRules->vecHolidayFiles) {
        if (auto r = CHolidayFile::Read(strFile, nToday, nToday); !r) {
            Stop("Holidays: " + r.Problem(), m_pRulesPage->parentWidget()->parentWidget());
            return false;
        }
    }
    m_rules = *rRules;
    return true;
}

std::string COptionsDlg::ScheduledNotice(const std::string& strHostName) {
    return "This email message has been scheduled.\n\nIt is sent while " + strHostName +
           " runs, also from the tray or as a service.";
}

void COptionsDlg::OnSchedule() {
    CTaskItem task = m_task;
    const auto rCommitted = Commit(task);
    // A date group the schedule cannot convert must not end the host.
    if (!rCommitted)
        return Stop("The schedule of this task cannot be computed: " + rCommitted.Problem(), m_pGeneralPage,
                    CMessageBox::MB_ICONERROR);
    if (!*rCommitted) return;
    m_task = task;
    if (!task.m_bActive)
        CAddinBox::Inform(
            "This email message has been scheduled.\n\nThe task is not active: it will not be sent until you "
            "activate it in the Email Manager.");
    else if (!CAddinSettings::IsNoticeOff(kScheduledNoticeKey) &&
             CAddinBox::InformUnlessTurnedOff(ScheduledNotice(HostName())))
        CAddinSettings::TurnNoticeOff(kScheduledNoticeKey);
    done(kResultOK);
}

CResult<std::string> COptionsDlg::TemplatePath(const CTaskItem& task, time_t tNow) const {
    // Another task's template is never written over.
    const int nSelf = EditIndexNow();
    auto fnTaken = [nSelf](const std::string& strPath) {
        if (!g_pTaskList) return false;
        for (int i = 0; i < g_pTaskList->GetSize(); ++i)
            if (i != nSelf && g_pTaskList->GetAt(i).m_strTemplateFile == strPath) return true;
        return false;
    };
    // A task keeps its template path, as long as that is its own file in
    // the data directory; a damaged entry must not make us replace any
    // other file.
    if (m_nMode == kModeMessage && CTemplateName::IsOwnTemplate(g_strDataDir, task.m_strTemplateFile) &&
        !fnTaken(task.m_strTemplateFile))
        return task.m_strTemplateFile;
    const std::string strName = CTemplateName::FileName(task.m_strTaskName, TaskTime::FromAbsolute(tNow));
    return CTemplateName::UniquePath(g_strDataDir, strName, fnTaken);
}

bool COptionsDlg::SaveTemplate(CTaskItem& task, time_t tNow) {
    const char* pszFailed =
        "Failed to save the email template.\n\nPlease close the email and then open it and try again.";
    // Without a data directory the file would land wherever the host runs;
    // an empty path means the directory could not be looked into.
    const auto rPath =
        g_strDataDir.empty() ? CResult<std::string>(CProblem("there is no data directory")) : TemplatePath(task, tNow);
    if (!rPath) {
        Stop(pszFailed, nullptr);
        return false;
    }
    const std::string& strPath = *rPath;
    if (!CTaskTemplate::Write(g_spCurMailItem, strPath)) {
        Stop(pszFailed, nullptr);
        return false;
    }
    task.m_strTemplateFile = strPath;
    return true;
}

std::string COptionsDlg::MessageSubject() {
    std::string strSubject;
    if (m_nMode != kModeSchedule) {
        if (g_spCurMailItem) (void)g_spCurMailItem->get_Subject(&strSubject);  // unreadable: no subject line
        return strSubject;
    }
    if (m_optTemplateSubject) return *m_optTemplateSubject;
    CComPtr<IDispatch> spItem;
    if (g_spApplication && !m_task.m_strTemplateFile.empty() &&
        SUCCEEDED(g_spApplication->CreateItemFromTemplate(m_task.m_strTemplateFile, vtMissing, &spItem)) && spItem)
        if (CComQIPtr<_MailItem> spMail(spItem.p); spMail) (void)spMail->get_Subject(&strSubject);
    m_optTemplateSubject = strSubject;
    return strSubject;
}

void COptionsDlg::RemoveDraft() {
    CComPtr<_MailItem> spMail = g_spCurMailItem;
    spMail->put_Subject(kMarkerSubject);
    CComPtr<_NameSpace> spNameSpace;
    CComPtr<MAPIFolder> spDeleted;
    if (g_spApplication && SUCCEEDED(g_spApplication->GetNamespace("MAPI", &spNameSpace)) && spNameSpace)
        spNameSpace->GetDefaultFolder(olFolderDeletedItems, &spDeleted);
    if (spDeleted) spMail->Move(spDeleted, nullptr);
    else spMail->Delete();
    CComPtr<_Items> spItems;
    if (spDeleted && SUCCEEDED(spDeleted->get_Items(&spItems)) && spItems) {
        int32_t nCount = 0;
        spItems->get_Count(&nCount);
        for (int32_t i = nCount; i >= 1; --i) {
            CComPtr<IDispatch> spItem;
            if (FAILED(spItems->Item(CVariant(i), &spItem)) || !spItem) continue;
            CComQIPtr<_MailItem> spFound(spItem.p);
            std::string strSubject;
            if (spFound && SUCCEEDED(spFound->get_Subject(&strSubject)) && strSubject == kMarkerSubject)
                spFound->Delete();
        }
    }
    g_spCurMailItem.Release();
}
