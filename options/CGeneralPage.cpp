#include "CGeneralPage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLineEdit>
#include <QTimeEdit>
#include <algorithm>
#include <utility>
#include <vector>

#include "CGeneralDailyDlg.h"
#include "CGeneralMinutelyDlg.h"
#include "CGeneralMonthlyDlg.h"
#include "CGeneralNonrecurDlg.h"
#include "CGeneralWeeklyDlg.h"
#include "CGeneralYearlyDlg.h"
#include "COptionsIds.h"
#include "CTimeTyping.h"
#include "ScheduleRanges.h"
#include "TaskTime.h"
#include "ui_GeneralPage.h"

using namespace COptionsIds;

namespace {

// A stored date group as the pickers can show it: fields brought into
// range, days past the month's end carried into the next month as the
// schedule itself reads them.
QDate ShownDate(int32_t nYear, int32_t nMonth, int32_t nDay, const std::string& strWhat, CRangeNotes& notes) {
    notes.Clamp(nYear, TaskTime::kFirstYear, TaskTime::kLastYear, strWhat + " year");
    notes.Clamp(nMonth, 1, 12, strWhat + " month");
    notes.Clamp(nDay, 1, 31, strWhat + " day");
    return QDate(nYear, nMonth, 1).addDays(nDay - 1);
}

}  // namespace

CGeneralPage::CGeneralPage(QWidget* pParent) : QWidget(pParent) {
    Ui::GeneralPage().setupUi(this);
    CDataExchange::PrepareControls(this);
    OnInitDialog();
    AddPreview();
    WatchEdits();
}

void CGeneralPage::AddPreview() {
    const int nTop = height();
    resize(width(), nTop + kPreviewHeight);
    auto* pGroup = new QGroupBox("Coming sending times", this);
    pGroup->setGeometry(16, nTop - 10, 549, kPreviewHeight - 4);
    m_pPreviewTimes = new QLabel(pGroup);
    m_pPreviewTimes->setObjectName("previewTimes");
    m_pPreviewTimes->setGeometry(16, 22, 520, 34);
    m_pPreviewTimes->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pPreviewZone = new QLabel(pGroup);
    m_pPreviewZone->setObjectName("previewZone");
    m_pPreviewZone->setGeometry(16, 56, 520, 16);
}

void CGeneralPage::WatchEdits() {
    auto edited = [this] { emit Edited(); };
    for (auto* p : findChildren<QAbstractButton*>()) connect(p, &QAbstractButton::toggled, this, edited);
    for (auto* p : findChildren<QLineEdit*>()) connect(p, &QLineEdit::textChanged, this, edited);
    for (auto* p : findChildren<QComboBox*>())
        connect(p, qOverload<int>(&QComboBox::currentIndexChanged), this, edited);
    for (auto* p : findChildren<QDateTimeEdit*>()) connect(p, &QDateTimeEdit::dateTimeChanged, this, edited);
}

void CGeneralPage::ShowPreview(const QString& strTimes, const QString& strZone) {
    m_pPreviewTimes->setText(strTimes);
    m_pPreviewZone->setText(strZone);
}

QString CGeneralPage::PreviewTimes() const { return m_pPreviewTimes->text(); }
QString CGeneralPage::PreviewZone() const { return m_pPreviewZone->text(); }

void CGeneralPage::OnInitDialog() {
    m_arrPanels[CodeOf(ERecurrence::Once)] = new CGeneralNonrecurDlg(this);
    m_arrPanels[CodeOf(ERecurrence::Minutely)] = new CGeneralMinutelyDlg(this);
    m_arrPanels[CodeOf(ERecurrence::Daily)] = new CGeneralDailyDlg(this);
    m_arrPanels[CodeOf(ERecurrence::Weekly)] = new CGeneralWeeklyDlg(this);
    m_arrPanels[CodeOf(ERecurrence::Monthly)] = new CGeneralMonthlyDlg(this);
    m_arrPanels[CodeOf(ERecurrence::Yearly)] = new CGeneralYearlyDlg(this);
    // The panels lie side by side with the type buttons, just right of the
    // dividing line.
    const QRect rcLine = Item(IDC_PANEL_LINE)->geometry();
    for (CRecurrencePanel* pPanel : m_arrPanels) pPanel->move(rcLine.left() + 10, rcLine.top());
    m_arrPanels[CodeOf(ERecurrence::Once)]->show();
    OrderTabs();

    // The schedule's dates start in 1900.
    for (int nId : {IDC_START_DATE, IDC_END_DATE})
        qobject_cast<QDateEdit*>(Item(nId))->setMinimumDate(QDate(1900, 1, 1));
    CTimeTyping::Attach(qobject_cast<QDateTimeEdit*>(Item(IDC_SENDING_TIME)));
    SetCheck(IDC_NO_RECURRENCE, true);
    SetCheck(IDC_NO_END, true);
    Item(IDC_END_AFTER_COUNT)->setEnabled(false);
    Item(IDC_END_DATE)->setEnabled(false);

    for (int nType = 0; nType < 6; ++nType) {
        if (auto* p = qobject_cast<QAbstractButton*>(Item(kRecurrenceIds[nType])))
            connect(p, &QAbstractButton::clicked, this, [this, nType] { ShowPanel(nType); });
    }
    const std::pair<int, EEndKind> arrEndIds[3] = {
        {IDC_NO_END, EEndKind::NoEnd}, {IDC_END_AFTER, EEndKind::AfterCount}, {IDC_END_BY_DATE, EEndKind::EndDate}};
    for (const auto& [nId, eKind] : arrEndIds) {
        if (auto* p = qobject_cast<QAbstractButton*>(Item(nId)))
            connect(p, &QAbstractButton::clicked, this, [this, eKind] { OnEndChoice(eKind); });
    }
}

// The panels are made after the page's own controls, so Tab would reach
// them last; they belong between the type buttons and the end of the
// recurrence. Only the shown panel's controls are ever reached, as hidden
// ones are passed over.
void CGeneralPage::OrderTabs() {
    std::vector<QWidget*> vecChain;
    for (QWidget* p = nextInFocusChain(); p && p != this; p = p->nextInFocusChain()) {
        const bool bInPanel = std::any_of(m_arrPanels.begin(), m_arrPanels.end(),
                                          [p](const CRecurrencePanel* pPanel) { return pPanel->isAncestorOf(p); });
        if (bInPanel && (p->focusPolicy() & Qt::TabFocus)) vecChain.push_back(p);
    }
    QWidget* pPrevious = Item(kRecurrenceIds[CodeOf(ERecurrence::Yearly)]);
    for (QWidget* p : vecChain) {
        QWidget::setTabOrder(pPrevious, p);
        pPrevious = p;
    }
    QWidget::setTabOrder(pPrevious, Item(IDC_NO_END));
}

void CGeneralPage::DoDataExchange(CDataExchange& dx) {
    dx.Date(IDC_START_DATE, m_dateStart);
    dx.Time(IDC_SENDING_TIME, m_timeSending);
    dx.Count(IDC_END_AFTER_COUNT, m_nOccurrences, ScheduleRanges::kOccurrences.nMax);
    dx.Date(IDC_END_DATE, m_dateEnd);
}

bool CGeneralPage::UpdateData(bool bSaveAndValidate, bool bQuiet) {
    CDataExchange dx(this, bSaveAndValidate, bQuiet);
    DoDataExchange(dx);
    return !dx.Failed();
}

void CGeneralPage::SetCheck(int nId, bool bCheck) {
    if (auto* p = qobject_cast<QAbstractButton*>(Item(nId))) p->setChecked(bCheck);
}

void CGeneralPage::ShowPanel(int nType) {
    for (int i = 0; i < 6; ++i) m_arrPanels[i]->setVisible(i == nType);
}

void CGeneralPage::OnEndChoice(EEndKind eKind) {
    Item(IDC_END_AFTER_COUNT)->setEnabled(eKind == EEndKind::AfterCount);
    Item(IDC_END_DATE)->setEnabled(eKind == EEndKind::EndDate);
}

CRecurrencePanel* CGeneralPage::Panel(int nType) const {
    return nType >= 0 && nType < 6 ? m_arrPanels[nType] : nullptr;
}

int CGeneralPage::RecurrenceType() const {
    for (int nType = CodeOf(ERecurrence::Minutely); nType <= CodeOf(ERecurrence::Yearly); ++nType) {
        auto* p = qobject_cast<QAbstractButton*>(Item(kRecurrenceIds[nType]));
        if (p && p->isChecked()) return nType;
    }
    return CodeOf(ERecurrence::Once);
}

void CGeneralPage::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    const TaskDateTime& s = task.m_dtStart;
    m_dateStart = ShownDate(s.nYear, s.nMonth, s.nDay, "start", notes);
    int32_t nHour = s.nHour, nMinute = s.nMinute, nSecond = s.nSecond;
    notes.Clamp(nHour, 0, 23, "start hour");
    notes.Clamp(nMinute, 0, 59, "start minute");
    notes.Clamp(nSecond, 0, 59, "start second");
    m_timeSending = QTime(nHour, nMinute, nSecond);
    // An end that was never set matters only when the task ends on a date.
    if (task.m_dtEnd.IsSet() || task.EndKind() == EEndKind::EndDate)
        m_dateEnd = ShownDate(task.m_dtEnd.nYear, task.m_dtEnd.nMonth, task.m_dtEnd.nDay, "end date", notes);
    else m_dateEnd = m_dateStart;

    if (task.EndKind() == EEndKind::AfterCount) {
        SetCheck(IDC_END_AFTER, true);
        OnEndChoice(EEndKind::AfterCount);
        m_nOccurrences = task.m_nEndAfterCount;
        notes.Clamp(m_nOccurrences, ScheduleRanges::kOccurrences.nMin, ScheduleRanges::kOccurrences.nMax,
                    "occurrences");
    } else if (task.EndKind() == EEndKind::EndDate) {
        SetCheck(IDC_END_BY_DATE, true);
        OnEndChoice(EEndKind::EndDate);
    } else if (task.EndKind() != EEndKind::NoEnd) {
        notes.Add("end: kind " + std::to_string(task.m_nEndKind) + " does not exist, no end date is shown");
    }
}

void CGeneralPage::LoadRecurrence(const CTaskItem& task, CRangeNotes& notes) {
    int nType = task.m_nRecurrence;
    if (nType < CodeOf(ERecurrence::Once) || nType > CodeOf(ERecurrence::Yearly)) {
        notes.Add("recurrence: type " + std::to_string(nType) + " does not exist, no recurrence is shown");
        nType = CodeOf(ERecurrence::Once);
    }
    if (nType == CodeOf(ERecurrence::Once)) return;
    SetCheck(kRecurrenceIds[nType], true);
    ShowPanel(nType);
    m_arrPanels[nType]->LoadFromTask(task, notes);
}

CGeneralPage::ERecurrenceResult CGeneralPage::WriteRecurrence(CTaskItem& task, bool bQuiet) {
    const int nType = RecurrenceType();
    if (nType != CodeOf(ERecurrence::Once) && !m_arrPanels[nType]->UpdateData(true, bQuiet)) return kPanelRejected;
    const int nWeekly = CodeOf(ERecurrence::Weekly);
    if (nType == nWeekly && !static_cast<CGeneralWeeklyDlg*>(m_arrPanels[nWeekly])->AnyDayChecked()) return kNoWeekday;
    task.m_nRecurrence = nType;
    m_arrPanels[nType]->WriteToTask(task);
    return kWritten;
}

void CGeneralPage::WriteStart(CTaskItem& task) const {
    task.m_dtStart.nYear = m_dateStart.year();
    task.m_dtStart.nMonth = m_dateStart.month();
    task.m_dtStart.nDay = m_dateStart.day();
    task.m_dtStart.nDayOfWeek = m_dateStart.dayOfWeek() % 7 + 1;  // Qt: Monday 1 .. Sunday 7
    task.m_dtStart.nHour = m_timeSending.hour();
    task.m_dtStart.nMinute = m_timeSending.minute();
    task.m_dtStart.nSecond = m_timeSending.second();
}

void CGeneralPage::WriteEnd(CTaskItem& task) const {
    if (Item(IDC_END_AFTER_COUNT)->isEnabledTo(this)) {
        task.m_nEndKind = CodeOf(EEndKind::AfterCount);
        task.m_nEndAfterCount = m_nOccurrences;
    } else if (Item(IDC_END_DATE)->isEnabledTo(this)) {
        task.m_nEndKind = CodeOf(EEndKind::EndDate);
        task.m_dtEnd.nDayOfWeek = m_dateEnd.dayOfWeek() % 7 + 1;
    } else {
        task.m_nEndKind = CodeOf(EEndKind::NoEnd);
    }
    task.m_dtEnd.nYear = m_dateEnd.year();
    task.m_dtEnd.nMonth = m_dateEnd.month();
    task.m_dtEnd.nDay = m_dateEnd.day();
}
