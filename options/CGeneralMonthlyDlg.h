#pragma once
#include "CRecurrencePanel.h"

// Day N of every M months, or the first..last day of a kind of every M
// months.
class CGeneralMonthlyDlg : public CRecurrencePanel {
public:
    explicit CGeneralMonthlyDlg(QWidget* pParent);
};
