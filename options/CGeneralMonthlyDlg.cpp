#include "CGeneralMonthlyDlg.h"

#include "COptionsIds.h"
#include "ScheduleRanges.h"
#include "ui_GeneralMonthlyDlg.h"

using namespace COptionsIds;

CGeneralMonthlyDlg::CGeneralMonthlyDlg(QWidget* pParent)
    : CRecurrencePanel(
          pParent, &CTaskItem::m_nMonthlyMode,
          {{IDC_MONTHLY_BY_DAY,
            {{IDC_MONTHLY_DAY, &CTaskItem::m_nMonthlyDay, "day of month", ScheduleRanges::kDayOfMonth.nMax},
             {IDC_MONTHLY_INTERVAL, &CTaskItem::m_nMonthlyInterval, "months", ScheduleRanges::kInterval.nMax}}},
           {IDC_MONTHLY_BY_ORDINAL,
            {{IDC_MONTHLY_ORDINAL, &CTaskItem::m_nMonthlyOrdinal, "monthly ordinal"},
             {IDC_MONTHLY_DAY_KIND, &CTaskItem::m_nMonthlyDayKind, "monthly day kind"},
             {IDC_MONTHLY_INTERVAL2, &CTaskItem::m_nMonthlyInterval2, "months", ScheduleRanges::kInterval.nMax}}}}) {
    Ui::GeneralMonthlyDlg().setupUi(this);
    InitTemplate();
}
