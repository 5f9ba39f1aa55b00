#include "CGeneralMinutelyDlg.h"

#include "COptionsIds.h"
#include "ScheduleRanges.h"
#include "ui_GeneralMinutelyDlg.h"

using namespace COptionsIds;

CGeneralMinutelyDlg::CGeneralMinutelyDlg(QWidget* pParent)
    : CRecurrencePanel(
          pParent, nullptr,
          {{IDC_MINUTELY_EVERY,
            {{IDC_MINUTELY_INTERVAL, &CTaskItem::m_nMinuteInterval, "minutes", ScheduleRanges::kInterval.nMax}}}}) {
    Ui::GeneralMinutelyDlg().setupUi(this);
    InitTemplate();
}
