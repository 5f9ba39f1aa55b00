#pragma once
#include "CRecurrencePanel.h"

// Every year on a month and day, or on the first..last day of a kind of a
// month.
class CGeneralYearlyDlg : public CRecurrencePanel {
public:
    explicit CGeneralYearlyDlg(QWidget* pParent);
};
