#include "CGeneralMonthlyDlg.h"

#include "COptionsIds.h"
#include "ui_GeneralMonthlyDlg.h"

using namespace COptionsIds;

CGeneralMonthlyDlg::CGeneralMonthlyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralMonthlyDlg().setupUi(this);
    InitTemplate();
    OnClicked(IDC_MONTHLY_BY_DAY, [this] { OnDayOfMonth(); });
    OnClicked(IDC_MONTHLY_BY_ORDINAL, [this] { OnOrdinalDay(); });
}

void CGeneralMonthlyDlg::OnInitDialog() {
    SetCheck(IDC_MONTHLY_BY_DAY, true);
    Enable({IDC_MONTHLY_INTERVAL2, IDC_MONTHLY_ORDINAL, IDC_MONTHLY_DAY_KIND}, false);
}

void CGeneralMonthlyDlg::DoDataExchange(CDataExchange& dx) {
    dx.Count(IDC_MONTHLY_DAY, m_nDay, 31);
    dx.Count(IDC_MONTHLY_INTERVAL, m_nMonths, 999999);
    dx.Count(IDC_MONTHLY_INTERVAL2, m_nMonths2, 999999);
}

void CGeneralMonthlyDlg::OnDayOfMonth() {
    Enable({IDC_MONTHLY_DAY, IDC_MONTHLY_INTERVAL}, true);
    Enable({IDC_MONTHLY_INTERVAL2, IDC_MONTHLY_ORDINAL, IDC_MONTHLY_DAY_KIND}, false);
}

void CGeneralMonthlyDlg::OnOrdinalDay() {
    Enable({IDC_MONTHLY_INTERVAL2, IDC_MONTHLY_ORDINAL, IDC_MONTHLY_DAY_KIND}, true);
    Enable({IDC_MONTHLY_DAY, IDC_MONTHLY_INTERVAL}, false);
    SelectFirstIfNone(IDC_MONTHLY_ORDINAL);
    SelectFirstIfNone(IDC_MONTHLY_DAY_KIND);
}

void CGeneralMonthlyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    if (task.MonthlyMode() != EMonthlyMode::DayOfMonth) {
        SetCheck(IDC_MONTHLY_BY_ORDINAL, true);
        OnOrdinalDay();
        SelectItem(IDC_MONTHLY_ORDINAL, task.m_nMonthlyOrdinal, "monthly ordinal", notes);
        SelectItem(IDC_MONTHLY_DAY_KIND, task.m_nMonthlyDayKind, "monthly day kind", notes);
        m_nMonths2 = task.m_nMonthlyInterval2;
        notes.Clamp(m_nMonths2, 1, 999999, "months");
    } else {
        SetCheck(IDC_MONTHLY_BY_DAY, true);
        OnDayOfMonth();
        m_nDay = task.m_nMonthlyDay;
        notes.Clamp(m_nDay, 1, 31, "day of month");
        m_nMonths = task.m_nMonthlyInterval;
        notes.Clamp(m_nMonths, 1, 999999, "months");
    }
    UpdateData(false);
}

void CGeneralMonthlyDlg::WriteToTask(CTaskItem& task) const {
    task.m_nMonthlyMode = CodeOf(IsChecked(IDC_MONTHLY_BY_DAY) ? EMonthlyMode::DayOfMonth : EMonthlyMode::OrdinalDay);
    if (task.MonthlyMode() == EMonthlyMode::DayOfMonth) {
        task.m_nMonthlyDay = m_nDay;
        task.m_nMonthlyInterval = m_nMonths;
    } else {
        task.m_nMonthlyOrdinal = ListIndex(IDC_MONTHLY_ORDINAL);
        task.m_nMonthlyDayKind = ListIndex(IDC_MONTHLY_DAY_KIND);
        task.m_nMonthlyInterval2 = m_nMonths2;
    }
}
