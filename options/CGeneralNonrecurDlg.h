#pragma once
#include "CRecurrencePanel.h"

// "Send this email only once": nothing to choose.
class CGeneralNonrecurDlg : public CRecurrencePanel {
    Q_OBJECT
public:
    explicit CGeneralNonrecurDlg(QWidget* pParent);
    void LoadFromTask(const CTaskItem&, CRangeNotes&) override {}
    void WriteToTask(CTaskItem&) const override {}
};
