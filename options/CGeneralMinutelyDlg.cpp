#include "CGeneralMinutelyDlg.h"

#include "ui_GeneralMinutelyDlg.h"

CGeneralMinutelyDlg::CGeneralMinutelyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralMinutelyDlg().setupUi(this);
    InitTemplate();
}

void CGeneralMinutelyDlg::OnInitDialog() { SetCheck(239, true); }

void CGeneralMinutelyDlg::DoDataExchange(CDataExchange& dx) { dx.Count(240, m_nMinutes, 999999); }

void CGeneralMinutelyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    m_nMinutes = task.m_nMinuteInterval;
    notes.Clamp(m_nMinutes, 1, 999999, "minutes");
    UpdateData(false);
}

void CGeneralMinutelyDlg::WriteToTask(CTaskItem& task) const { task.m_nMinuteInterval = m_nMinutes; }
