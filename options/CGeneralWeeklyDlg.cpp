#include "CGeneralWeeklyDlg.h"

#include "ScheduleRanges.h"
#include "ui_GeneralWeeklyDlg.h"

using namespace COptionsIds;

CGeneralWeeklyDlg::CGeneralWeeklyDlg(QWidget* pParent)
    : CRecurrencePanel(
          pParent, &CTaskItem::m_nWeeklyMode,
          {{IDC_WEEKLY_EVERY_N_WEEKS,
            {{IDC_WEEKLY_INTERVAL, &CTaskItem::m_nWeeklyInterval, "weeks", ScheduleRanges::kInterval.nMax}}},
           {IDC_WEEKLY_BY_WEEK_OF_MONTH,
            {{IDC_WEEKLY_WEEK_OF_MONTH, &CTaskItem::m_nWeeklyWeekOfMonth, "week of month"}}}}) {
    Ui::GeneralWeeklyDlg().setupUi(this);
    InitTemplate();
}

void CGeneralWeeklyDlg::DoDataExchange(CDataExchange& dx) {
    CRecurrencePanel::DoDataExchange(dx);
    for (int i = 0; i < 7; ++i) dx.Check(kDayIds[i], m_bDays[i]);
}

bool CGeneralWeeklyDlg::AnyDayChecked() const {
    for (int nId : kDayIds)
        if (IsChecked(nId)) return true;
    return false;
}

void CGeneralWeeklyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    for (int i = 0; i < 7; ++i) m_bDays[i] = task.m_bWeekDays[i] != 0;
    CRecurrencePanel::LoadFromTask(task, notes);
}

void CGeneralWeeklyDlg::WriteToTask(CTaskItem& task) const {
    CRecurrencePanel::WriteToTask(task);
    // The form not chosen is stored too: a week-of-month list never used
    // stores -1.
    WriteFields(task, 1 - Form());
    for (int i = 0; i < 7; ++i) task.m_bWeekDays[i] = m_bDays[i];
}
