#include "CGeneralDailyDlg.h"

#include "COptionsIds.h"
#include "ui_GeneralDailyDlg.h"

using namespace COptionsIds;

CGeneralDailyDlg::CGeneralDailyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralDailyDlg().setupUi(this);
    InitTemplate();
    OnClicked(IDC_DAILY_EVERY_N_DAYS, [this] { OnEveryNDays(); });
    OnClicked(IDC_DAILY_EVERY_KIND, [this] { OnEveryKind(); });
}

void CGeneralDailyDlg::OnInitDialog() {
    SetCheck(IDC_DAILY_EVERY_N_DAYS, true);
    Enable({IDC_DAILY_DAY_KIND}, false);
}

void CGeneralDailyDlg::DoDataExchange(CDataExchange& dx) { dx.Count(IDC_DAILY_INTERVAL, m_nDays, 999999); }

void CGeneralDailyDlg::OnEveryNDays() {
    Enable({IDC_DAILY_INTERVAL}, true);
    Enable({IDC_DAILY_DAY_KIND}, false);
}

void CGeneralDailyDlg::OnEveryKind() {
    Enable({IDC_DAILY_DAY_KIND}, true);
    Enable({IDC_DAILY_INTERVAL}, false);
    SelectFirstIfNone(IDC_DAILY_DAY_KIND);
}

void CGeneralDailyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    if (task.DailyMode() != EDailyMode::EveryNDays) {
        SetCheck(IDC_DAILY_EVERY_KIND, true);
        OnEveryKind();
        SelectItem(IDC_DAILY_DAY_KIND, task.m_nDailyDayKind, "daily day kind", notes);
    } else {
        SetCheck(IDC_DAILY_EVERY_N_DAYS, true);
        OnEveryNDays();
        m_nDays = task.m_nDailyInterval;
        notes.Clamp(m_nDays, 1, 999999, "days");
    }
    UpdateData(false);
}

void CGeneralDailyDlg::WriteToTask(CTaskItem& task) const {
    // The enabled field tells the form: the radio buttons keep them in step.
    task.m_nDailyMode = CodeOf(IsEnabled(IDC_DAILY_INTERVAL) ? EDailyMode::EveryNDays : EDailyMode::EveryDayOfKind);
    if (task.DailyMode() == EDailyMode::EveryNDays) task.m_nDailyInterval = m_nDays;
    else task.m_nDailyDayKind = ListIndex(IDC_DAILY_DAY_KIND);
}
