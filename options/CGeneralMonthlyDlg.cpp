#include "CGeneralMonthlyDlg.h"

#include "ui_GeneralMonthlyDlg.h"

CGeneralMonthlyDlg::CGeneralMonthlyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralMonthlyDlg().setupUi(this);
    InitTemplate();
    OnClicked(1228, [this] { OnDayOfMonth(); });
    OnClicked(1219, [this] { OnOrdinalDay(); });
}

void CGeneralMonthlyDlg::OnInitDialog() {
    SetCheck(1228, true);
    Enable({1215, 1057, 1058}, false);
}

void CGeneralMonthlyDlg::DoDataExchange(CDataExchange& dx) {
    dx.Count(1055, m_nDay, 31);
    dx.Count(1013, m_nMonths, 999999);
    dx.Count(1215, m_nMonths2, 999999);
}

void CGeneralMonthlyDlg::OnDayOfMonth() {
    Enable({1055, 1013}, true);
    Enable({1215, 1057, 1058}, false);
}

void CGeneralMonthlyDlg::OnOrdinalDay() {
    Enable({1215, 1057, 1058}, true);
    Enable({1055, 1013}, false);
    SelectFirstIfNone(1057);
    SelectFirstIfNone(1058);
}

void CGeneralMonthlyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    if (task.m_nMonthlyMode != 0) {
        SetCheck(1219, true);
        OnOrdinalDay();
        SelectItem(1057, task.m_nMonthlyOrdinal, "monthly ordinal", notes);
        SelectItem(1058, task.m_nMonthlyDayKind, "monthly day kind", notes);
        m_nMonths2 = task.m_nMonthlyInterval2;
        notes.Clamp(m_nMonths2, 1, 999999, "months");
    } else {
        SetCheck(1228, true);
        OnDayOfMonth();
        m_nDay = task.m_nMonthlyDay;
        notes.Clamp(m_nDay, 1, 31, "day of month");
        m_nMonths = task.m_nMonthlyInterval;
        notes.Clamp(m_nMonths, 1, 999999, "months");
    }
    UpdateData(false);
}

void CGeneralMonthlyDlg::WriteToTask(CTaskItem& task) const {
    task.m_nMonthlyMode = IsChecked(1228) ? 0 : 1;
    if (task.m_nMonthlyMode == 0) {
        task.m_nMonthlyDay = m_nDay;
        task.m_nMonthlyInterval = m_nMonths;
    } else {
        task.m_nMonthlyOrdinal = ListIndex(1057);
        task.m_nMonthlyDayKind = ListIndex(1058);
        task.m_nMonthlyInterval2 = m_nMonths2;
    }
}
