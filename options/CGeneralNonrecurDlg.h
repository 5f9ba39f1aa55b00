#pragma once
#include "CRecurrencePanel.h"

// "Send this email only once": nothing to choose.
class CGeneralNonrecurDlg : public CRecurrencePanel {
public:
    explicit CGeneralNonrecurDlg(QWidget* pParent);
};
