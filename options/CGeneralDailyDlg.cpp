#include "CGeneralDailyDlg.h"

#include "ui_GeneralDailyDlg.h"

CGeneralDailyDlg::CGeneralDailyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralDailyDlg().setupUi(this);
    InitTemplate();
    OnClicked(1005, [this] { OnEveryNDays(); });
    OnClicked(1006, [this] { OnEveryKind(); });
}

void CGeneralDailyDlg::OnInitDialog() {
    SetCheck(1005, true);
    Enable({1109}, false);
}

void CGeneralDailyDlg::DoDataExchange(CDataExchange& dx) { dx.Count(1007, m_nDays, 999999); }

void CGeneralDailyDlg::OnEveryNDays() {
    Enable({1007}, true);
    Enable({1109}, false);
}

void CGeneralDailyDlg::OnEveryKind() {
    Enable({1109}, true);
    Enable({1007}, false);
    SelectFirstIfNone(1109);
}

void CGeneralDailyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    if (task.m_nDailyMode != 0) {
        SetCheck(1006, true);
        OnEveryKind();
        SelectItem(1109, task.m_nDailyDayKind, "daily day kind", notes);
    } else {
        SetCheck(1005, true);
        OnEveryNDays();
        m_nDays = task.m_nDailyInterval;
        notes.Clamp(m_nDays, 1, 999999, "days");
    }
    UpdateData(false);
}

void CGeneralDailyDlg::WriteToTask(CTaskItem& task) const {
    // The enabled field tells the form: the radio buttons keep them in step.
    task.m_nDailyMode = IsEnabled(1007) ? 0 : 1;
    if (task.m_nDailyMode == 0) task.m_nDailyInterval = m_nDays;
    else task.m_nDailyDayKind = ListIndex(1109);
}
