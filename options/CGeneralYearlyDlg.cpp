#include "CGeneralYearlyDlg.h"

#include "COptionsIds.h"
#include "ScheduleRanges.h"
#include "ui_GeneralYearlyDlg.h"

using namespace COptionsIds;

// The month list of form 0 is chosen like the other lists, so January is
// selected from the start.
CGeneralYearlyDlg::CGeneralYearlyDlg(QWidget* pParent)
    : CRecurrencePanel(
          pParent, &CTaskItem::m_nYearlyMode,
          {{IDC_YEARLY_BY_MONTH_AND_DAY,
            {{IDC_YEARLY_MONTH, &CTaskItem::m_nYearlyMonth, "yearly month"},
             {IDC_YEARLY_DAY, &CTaskItem::m_nYearlyDay, "day of month", ScheduleRanges::kDayOfMonth.nMax}}},
           {IDC_YEARLY_BY_ORDINAL,
            {{IDC_YEARLY_ORDINAL, &CTaskItem::m_nYearlyOrdinal, "yearly ordinal"},
             {IDC_YEARLY_DAY_KIND, &CTaskItem::m_nYearlyDayKind, "yearly day kind"},
             {IDC_YEARLY_MONTH2, &CTaskItem::m_nYearlyMonth2, "yearly month"}}}}) {
    Ui::GeneralYearlyDlg().setupUi(this);
    InitTemplate();
}
