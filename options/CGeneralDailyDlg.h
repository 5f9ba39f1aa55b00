#pragma once
#include "CRecurrencePanel.h"

// Every N days, or every day of a kind (weekday, odd day, ...).
class CGeneralDailyDlg : public CRecurrencePanel {
public:
    explicit CGeneralDailyDlg(QWidget* pParent);
};
