#pragma once
#include "CRecurrencePanel.h"

// Every N minutes.
class CGeneralMinutelyDlg : public CRecurrencePanel {
public:
    explicit CGeneralMinutelyDlg(QWidget* pParent);
};
