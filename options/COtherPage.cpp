#include "COtherPage.h"

#include "ui_OtherPage.h"

COtherPage::COtherPage(QWidget* pParent) : QWidget(pParent) {
    Ui::OtherPage().setupUi(this);
    CDataExchange::PrepareControls(this);
}

bool COtherPage::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    dx.Text(1126, m_strTaskName);
    dx.Check(1027, m_bReceiveBeforeSending);
    dx.Check(1128, m_bSendOverdue);
    dx.Check(1029, m_bActive);
    return !dx.Failed();
}
