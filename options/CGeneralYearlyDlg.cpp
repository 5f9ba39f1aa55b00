#include "CGeneralYearlyDlg.h"

#include <QComboBox>

#include "COptionsIds.h"
#include "ui_GeneralYearlyDlg.h"

using namespace COptionsIds;

CGeneralYearlyDlg::CGeneralYearlyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralYearlyDlg().setupUi(this);
    InitTemplate();
    OnClicked(IDC_YEARLY_BY_MONTH_AND_DAY, [this] { OnMonthAndDay(); });
    OnClicked(IDC_YEARLY_BY_ORDINAL, [this] { OnOrdinalDay(); });
}

void CGeneralYearlyDlg::OnInitDialog() {
    SetCheck(IDC_YEARLY_BY_MONTH_AND_DAY, true);
    Enable({IDC_YEARLY_ORDINAL, IDC_YEARLY_DAY_KIND, IDC_YEARLY_MONTH2}, false);
    if (auto* pMonths = qobject_cast<QComboBox*>(Item(IDC_YEARLY_MONTH))) pMonths->setCurrentIndex(0);
}

void CGeneralYearlyDlg::DoDataExchange(CDataExchange& dx) { dx.Count(IDC_YEARLY_DAY, m_nDay, 31); }

void CGeneralYearlyDlg::OnMonthAndDay() {
    Enable({IDC_YEARLY_DAY, IDC_YEARLY_MONTH}, true);
    Enable({IDC_YEARLY_ORDINAL, IDC_YEARLY_DAY_KIND, IDC_YEARLY_MONTH2}, false);
    SelectFirstIfNone(IDC_YEARLY_MONTH);
}

void CGeneralYearlyDlg::OnOrdinalDay() {
    Enable({IDC_YEARLY_ORDINAL, IDC_YEARLY_DAY_KIND, IDC_YEARLY_MONTH2}, true);
    Enable({IDC_YEARLY_DAY, IDC_YEARLY_MONTH}, false);
    for (int nId : {IDC_YEARLY_ORDINAL, IDC_YEARLY_DAY_KIND, IDC_YEARLY_MONTH2}) SelectFirstIfNone(nId);
}

void CGeneralYearlyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    if (task.YearlyMode() != EYearlyMode::MonthAndDay) {
        SetCheck(IDC_YEARLY_BY_ORDINAL, true);
        OnOrdinalDay();
        SelectItem(IDC_YEARLY_ORDINAL, task.m_nYearlyOrdinal, "yearly ordinal", notes);
        SelectItem(IDC_YEARLY_DAY_KIND, task.m_nYearlyDayKind, "yearly day kind", notes);
        SelectItem(IDC_YEARLY_MONTH2, task.m_nYearlyMonth2, "yearly month", notes);
    } else {
        SetCheck(IDC_YEARLY_BY_MONTH_AND_DAY, true);
        OnMonthAndDay();
        SelectItem(IDC_YEARLY_MONTH, task.m_nYearlyMonth, "yearly month", notes);
        m_nDay = task.m_nYearlyDay;
        notes.Clamp(m_nDay, 1, 31, "day of month");
    }
    UpdateData(false);
}

void CGeneralYearlyDlg::WriteToTask(CTaskItem& task) const {
    task.m_nYearlyMode =
        CodeOf(IsChecked(IDC_YEARLY_BY_MONTH_AND_DAY) ? EYearlyMode::MonthAndDay : EYearlyMode::OrdinalDay);
    if (task.YearlyMode() == EYearlyMode::MonthAndDay) {
        task.m_nYearlyMonth = ListIndex(IDC_YEARLY_MONTH);
        task.m_nYearlyDay = m_nDay;
    } else {
        task.m_nYearlyOrdinal = ListIndex(IDC_YEARLY_ORDINAL);
        task.m_nYearlyDayKind = ListIndex(IDC_YEARLY_DAY_KIND);
        task.m_nYearlyMonth2 = ListIndex(IDC_YEARLY_MONTH2);
    }
}
