#include "CGeneralMinutelyDlg.h"

#include "COptionsIds.h"
#include "ui_GeneralMinutelyDlg.h"

using namespace COptionsIds;

CGeneralMinutelyDlg::CGeneralMinutelyDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralMinutelyDlg().setupUi(this);
    InitTemplate();
}

void CGeneralMinutelyDlg::OnInitDialog() { SetCheck(IDC_MINUTELY_EVERY, true); }

void CGeneralMinutelyDlg::DoDataExchange(CDataExchange& dx) { dx.Count(IDC_MINUTELY_INTERVAL, m_nMinutes, 999999); }

void CGeneralMinutelyDlg::LoadFromTask(const CTaskItem& task, CRangeNotes& notes) {
    m_nMinutes = task.m_nMinuteInterval;
    notes.Clamp(m_nMinutes, 1, 999999, "minutes");
    UpdateData(false);
}

void CGeneralMinutelyDlg::WriteToTask(CTaskItem& task) const { task.m_nMinuteInterval = m_nMinutes; }
