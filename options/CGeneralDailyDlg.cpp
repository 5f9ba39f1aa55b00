#include "CGeneralDailyDlg.h"

#include "COptionsIds.h"
#include "ScheduleRanges.h"
#include "ui_GeneralDailyDlg.h"

using namespace COptionsIds;

CGeneralDailyDlg::CGeneralDailyDlg(QWidget* pParent)
    : CRecurrencePanel(
          pParent, &CTaskItem::m_nDailyMode,
          {{IDC_DAILY_EVERY_N_DAYS,
            {{IDC_DAILY_INTERVAL, &CTaskItem::m_nDailyInterval, "days", ScheduleRanges::kInterval.nMax}}},
           {IDC_DAILY_EVERY_KIND, {{IDC_DAILY_DAY_KIND, &CTaskItem::m_nDailyDayKind, "daily day kind"}}}}) {
    Ui::GeneralDailyDlg().setupUi(this);
    InitTemplate();
}
