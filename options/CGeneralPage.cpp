#include "CGeneralPage.h"

#include <QAbstractButton>
#include <QDateEdit>
#include <QTimeEdit>
#include <algorithm>

#include "CGeneralDailyDlg.h"
#include "CGeneralMinutelyDlg.h"
#include "CGeneralMonthlyDlg.h"
#include "CGeneralNonrecurDlg.h"
#include "CGeneralWeeklyDlg.h"
#include "CGeneralYearlyDlg.h"
#include "ui_GeneralPage.h"

namespace {

// A stored date group as the pickers can show it: fields brought into
// range, days past the month's end carried into the next month as the
// schedule itself reads them.
QDate ShownDate(int32_t nYear, int32_t nMonth, int32_t nDay, const std::string& strWhat, CRangeNotes& notes) {
    notes.Clamp(nYear, 1900, 9999, strWhat + " year");
    notes.Clamp(nMonth, 1, 12, strWhat + " month");
    notes.Clamp(nDay, 1, 31, strWhat + " day");
    return QDate(nYear, nMonth, 1).addDays(nDay - 1);
}

}  // namespace

CGeneralPage::CGeneralPage(QWidget* pParent) : QWidget(pParent) {
    Ui::GeneralPage().setupUi(this);
    CDataExchange::PrepareControls(this);
    OnInitDialog();
}

void CGeneralPage::OnInitDialog() {
    m_arrPanels[0] = new CGeneralNonrecurDlg(this);
    m_arrPanels[1] = new CGeneralMinutelyDlg(this);
    m_arrPanels[2] = new CGeneralDailyDlg(this);
    m_arrPanels[3] = new CGeneralWeeklyDlg(this);
    m_arrPanels[4] = new CGeneralMonthlyDlg(this);
    m_arrPanels[5] = new CGeneralYearlyDlg(this);
    // The panels lie side by side with the type buttons, just right of the
    // dividing line.
    const QRect rcLine = Item(11006)->geometry();
    for (CRecurrencePanel* pPanel : m_arrPanels) pPanel->move(rcLine.left() + 10, rcLine.top());
    m_arrPanels[0]->show();

    // The schedule's dates start in 1900.
    for (int nId : {1037, 1036}) qobject_cast<QDateEdit*>(Item(nId))->setMinimumDate(QDate(1900, 1, 1));
    SetCheck(1004, true);
    SetCheck(1039, true);
    Item(1042)->setEnabled(false);
    Item(1036)->setEnabled(false);

    for (int nType = 0; nType < 6; ++nType) {
        if (auto* p = qobject_cast<QAbstractButton*>(Item(kRecurrenceIds[nType])))
            connect(p, &QAbstractButton::clicked, this, [this, nType] { ShowPanel(nType); });
    }
    const int arrEndIds[3] = {1039, 1040, 1041};
    for (int nKind = 0; nKind < 3; ++nKind) {
        if (auto* p = qobject_cast<QAbstractButton*>(Item(arrEndIds[nKind])))
            connect(p, &QAbstractButton::clicked, this, [this, nKind] { OnEndChoice(nKind); });
    }
}

void CGeneralPage::DoDataExchange(CDataExchange& dx) {
    dx.Date(1037, m_dateStart);
    dx.Time(1038, m_timeSending);
    dx.Count(1042, m_nOccurrences, 999999);
    dx.Date(1036, m_dateEnd);
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

void CGeneralPage::OnEndChoice(int nKind) {
    Item(1042)->setEnabled(nKind == 1);
    Item(1036)->setEnabled(nKind == 2);
}

CRecurrencePanel* CGeneralPage::Panel(int nType) const {
    return nType >= 0 && nType < 6 ? m_arrPanels[nType] : nullptr;
}

int CGeneralPage::RecurrenceType() const {
    for (int nType = 1; nType < 6; ++nType) {
        auto* p = qobject_cast<QAbstractButton*>(Item(kRecurrenceIds[nType]));
        if (p && p->isChecked()) return nType;
    }
    return 0;
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
    if (task.m_dtEnd.IsSet() || task.m_nEndKind == 2)
        m_dateEnd = ShownDate(task.m_dtEnd.nYear, task.m_dtEnd.nMonth, task.m_dtEnd.nDay, "end date", notes);
    else
        m_dateEnd = m_dateStart;

    if (task.m_nEndKind == 1) {
        SetCheck(1040, true);
        OnEndChoice(1);
        m_nOccurrences = task.m_nEndAfterCount;
        notes.Clamp(m_nOccurrences, 1, 999999, "occurrences");
    } else if (task.m_nEndKind == 2) {
        SetCheck(1041, true);
        OnEndChoice(2);
    } else if (task.m_nEndKind != 0) {
        notes.Add("end: kind " + std::to_string(task.m_nEndKind) + " does not exist, no end date is shown");
    }
}

void CGeneralPage::LoadRecurrence(const CTaskItem& task, CRangeNotes& notes) {
    int nType = task.m_nRecurrence;
    if (nType < 0 || nType > 5) {
        notes.Add("recurrence: type " + std::to_string(nType) + " does not exist, no recurrence is shown");
        nType = 0;
    }
    if (nType == 0) return;
    SetCheck(kRecurrenceIds[nType], true);
    ShowPanel(nType);
    m_arrPanels[nType]->LoadFromTask(task, notes);
}

CGeneralPage::ERecurrenceResult CGeneralPage::WriteRecurrence(CTaskItem& task) {
    const int nType = RecurrenceType();
    if (nType != 0 && !m_arrPanels[nType]->UpdateData(true)) return kPanelRejected;
    if (nType == 3 && !static_cast<CGeneralWeeklyDlg*>(m_arrPanels[3])->AnyDayChecked()) return kNoWeekday;
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
    if (Item(1042)->isEnabledTo(this)) {
        task.m_nEndKind = 1;
        task.m_nEndAfterCount = m_nOccurrences;
    } else if (Item(1036)->isEnabledTo(this)) {
        task.m_nEndKind = 2;
        task.m_dtEnd.nDayOfWeek = m_dateEnd.dayOfWeek() % 7 + 1;
    } else {
        task.m_nEndKind = 0;
    }
    task.m_dtEnd.nYear = m_dateEnd.year();
    task.m_dtEnd.nMonth = m_dateEnd.month();
    task.m_dtEnd.nDay = m_dateEnd.day();
}
