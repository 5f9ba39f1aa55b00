#include "COtherPage.h"

#include <QAbstractButton>

#include "COptionsIds.h"
#include "HostName.h"
#include "ui_OtherPage.h"

using namespace COptionsIds;

COtherPage::COtherPage(QWidget* pParent) : QWidget(pParent) {
    Ui::OtherPage().setupUi(this);
    CDataExchange::PrepareControls(this);
    // The check box names the program the add-in runs in.
    if (auto* pOverdue = CDataExchange::Control<QAbstractButton>(this, IDC_SEND_OVERDUE))
        pOverdue->setText(QString::fromStdString("Send overdue email messages on " + HostName() + " startup"));
}

bool COtherPage::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    dx.Text(IDC_TASK_NAME, m_strTaskName);
    dx.Check(IDC_RECEIVE_BEFORE_SENDING, m_bReceiveBeforeSending);
    dx.Check(IDC_SEND_OVERDUE, m_bSendOverdue);
    dx.Check(IDC_ACTIVE, m_bActive);
    return !dx.Failed();
}
