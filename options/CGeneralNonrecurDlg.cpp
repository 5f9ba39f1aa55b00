#include "CGeneralNonrecurDlg.h"

#include "ui_GeneralNonrecurDlg.h"

CGeneralNonrecurDlg::CGeneralNonrecurDlg(QWidget* pParent) : CRecurrencePanel(pParent) {
    Ui::GeneralNonrecurDlg().setupUi(this);
    InitTemplate();
}
