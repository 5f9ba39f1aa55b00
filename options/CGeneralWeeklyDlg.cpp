#include "CGeneralWeeklyDlg.h"

#include "ui_GeneralWeeklyDlg.h"

CGeneralWeeklyDlg::CGeneralWeeklyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralWeeklyDlg().setupUi(this);
    InitTemplate();
    OnClicked(1050, [this] { OnEveryNWeeks(); });
    OnClicked(1051, [this] { OnWeekOfMonth(); });
}

void CGeneralWeeklyDlg::OnInitDialog() {
    SetCheck(1050, true);
    Enable({1054}, false);
}

void CGeneralWeeklyDlg::DoDataExchange(CDataExchange& dx) {
    dx.Count(1052, m_nWeeks, 999999);
    for (int i = 0; i < 7; ++i) dx.Check(kDayIds[i], m_bDays[i]);
}

void CGeneralWeeklyDlg::OnEveryNWeeks() {
    Enable({1052}, true);
    Enable({1054}, false);
}

void CGeneralWeeklyDlg::OnWeekOfMonth() {
    Enable({1054}, true);
    Enable({1052}, false);
    SelectFirstIfNone(1054);
}

bool CGeneralWeeklyDlg::AnyDayChecked() const {
    for (int nId : kDayIds)
        if (IsChecked(nId)) return true;
    return false;
}

void CGeneralWeeklyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    if (task.m_nWeeklyMode != 0) {
        SetCheck(1051, true);
        OnWeekOfMonth();
        SelectItem(1054, task.m_nWeeklyWeekOfMonth, "week of month", notes);
    } else {
        SetCheck(1050, true);
        OnEveryNWeeks();
        m_nWeeks = task.m_nWeeklyInterval;
        notes.Clamp(m_nWeeks, 1, 999999, "weeks");
    }
    for (int i = 0; i < 7; ++i) m_bDays[i] = task.m_bWeekDays[i] != 0;
    UpdateData(false);
}

void CGeneralWeeklyDlg::WriteToTask(CTaskItem& task) const {
    task.m_nWeeklyMode = IsEnabled(1052) ? 0 : 1;
    task.m_nWeeklyInterval = m_nWeeks;
    task.m_nWeeklyWeekOfMonth = ListIndex(1054);
    for (int i = 0; i < 7; ++i) task.m_bWeekDays[i] = m_bDays[i];
}
