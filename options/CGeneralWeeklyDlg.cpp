#include "CGeneralWeeklyDlg.h"

#include "COptionsIds.h"
#include "ui_GeneralWeeklyDlg.h"

using namespace COptionsIds;

CGeneralWeeklyDlg::CGeneralWeeklyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralWeeklyDlg().setupUi(this);
    InitTemplate();
    OnClicked(IDC_WEEKLY_EVERY_N_WEEKS, [this] { OnEveryNWeeks(); });
    OnClicked(IDC_WEEKLY_BY_WEEK_OF_MONTH, [this] { OnWeekOfMonth(); });
}

void CGeneralWeeklyDlg::OnInitDialog() {
    SetCheck(IDC_WEEKLY_EVERY_N_WEEKS, true);
    Enable({IDC_WEEKLY_WEEK_OF_MONTH}, false);
}

void CGeneralWeeklyDlg::DoDataExchange(CDataExchange& dx) {
    dx.Count(IDC_WEEKLY_INTERVAL, m_nWeeks, 999999);
    for (int i = 0; i < 7; ++i) dx.Check(kDayIds[i], m_bDays[i]);
}

void CGeneralWeeklyDlg::OnEveryNWeeks() {
    Enable({IDC_WEEKLY_INTERVAL}, true);
    Enable({IDC_WEEKLY_WEEK_OF_MONTH}, false);
}

void CGeneralWeeklyDlg::OnWeekOfMonth() {
    Enable({IDC_WEEKLY_WEEK_OF_MONTH}, true);
    Enable({IDC_WEEKLY_INTERVAL}, false);
    SelectFirstIfNone(IDC_WEEKLY_WEEK_OF_MONTH);
}

bool CGeneralWeeklyDlg::AnyDayChecked() const {
    for (int nId : kDayIds)
        if (IsChecked(nId)) return true;
    return false;
}

void CGeneralWeeklyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    if (task.WeeklyMode() != EWeeklyMode::EveryNWeeks) {
        SetCheck(IDC_WEEKLY_BY_WEEK_OF_MONTH, true);
        OnWeekOfMonth();
        SelectItem(IDC_WEEKLY_WEEK_OF_MONTH, task.m_nWeeklyWeekOfMonth, "week of month", notes);
    } else {
        SetCheck(IDC_WEEKLY_EVERY_N_WEEKS, true);
        OnEveryNWeeks();
        m_nWeeks = task.m_nWeeklyInterval;
        notes.Clamp(m_nWeeks, 1, 999999, "weeks");
    }
    for (int i = 0; i < 7; ++i) m_bDays[i] = task.m_bWeekDays[i] != 0;
    UpdateData(false);
}

void CGeneralWeeklyDlg::WriteToTask(CTaskItem& task) const {
    task.m_nWeeklyMode = CodeOf(IsEnabled(IDC_WEEKLY_INTERVAL) ? EWeeklyMode::EveryNWeeks : EWeeklyMode::WeekOfMonth);
    task.m_nWeeklyInterval = m_nWeeks;
    task.m_nWeeklyWeekOfMonth = ListIndex(IDC_WEEKLY_WEEK_OF_MONTH);
    for (int i = 0; i < 7; ++i) task.m_bWeekDays[i] = m_bDays[i];
}
