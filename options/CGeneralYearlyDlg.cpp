#include "CGeneralYearlyDlg.h"

#include <QComboBox>

#include "ui_GeneralYearlyDlg.h"

CGeneralYearlyDlg::CGeneralYearlyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralYearlyDlg().setupUi(this);
    InitTemplate();
    OnClicked(1010, [this] { OnMonthAndDay(); });
    OnClicked(1011, [this] { OnOrdinalDay(); });
}

void CGeneralYearlyDlg::OnInitDialog() {
    SetCheck(1010, true);
    Enable({1016, 1017, 1018}, false);
    if (auto* pMonths = qobject_cast<QComboBox*>(Item(1014))) pMonths->setCurrentIndex(0);
}

void CGeneralYearlyDlg::DoDataExchange(CDataExchange& dx) { dx.Count(1012, m_nDay, 31); }

void CGeneralYearlyDlg::OnMonthAndDay() {
    Enable({1012, 1014}, true);
    Enable({1016, 1017, 1018}, false);
    SelectFirstIfNone(1014);
}

void CGeneralYearlyDlg::OnOrdinalDay() {
    Enable({1016, 1017, 1018}, true);
    Enable({1012, 1014}, false);
    for (int nId : {1016, 1017, 1018}) SelectFirstIfNone(nId);
}

void CGeneralYearlyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    if (task.m_nYearlyMode != 0) {
        SetCheck(1011, true);
        OnOrdinalDay();
        SelectItem(1016, task.m_nYearlyOrdinal, "yearly ordinal", notes);
        SelectItem(1017, task.m_nYearlyDayKind, "yearly day kind", notes);
        SelectItem(1018, task.m_nYearlyMonth2, "yearly month", notes);
    } else {
        SetCheck(1010, true);
        OnMonthAndDay();
        SelectItem(1014, task.m_nYearlyMonth, "yearly month", notes);
        m_nDay = task.m_nYearlyDay;
        notes.Clamp(m_nDay, 1, 31, "day of month");
    }
    UpdateData(false);
}

void CGeneralYearlyDlg::WriteToTask(CTaskItem& task) const {
    task.m_nYearlyMode = IsChecked(1010) ? 0 : 1;
    if (task.m_nYearlyMode == 0) {
        task.m_nYearlyMonth = ListIndex(1014);
        task.m_nYearlyDay = m_nDay;
    } else {
        task.m_nYearlyOrdinal = ListIndex(1016);
        task.m_nYearlyDayKind = ListIndex(1017);
        task.m_nYearlyMonth2 = ListIndex(1018);
    }
}
