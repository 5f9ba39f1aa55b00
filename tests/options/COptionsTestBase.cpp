#include "COptionsTestBase.h"

#include <QFocusEvent>

#include "CDataExchange.h"

CComPtr<_MailItem> COptionsTestBase::Compose(const std::string& strSubject) {
    CComPtr<IDispatch> spItem;
    EXPECT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
    CComQIPtr<_MailItem> spMail(spItem.p);
    spMail->put_Subject(strSubject);
    spMail->put_Body("Figures attached.\n");
    spMail->put_To("Rita Receiver <rita@example.com>");
    spMail->Save();
    g_spCurMailItem = spMail;
    return spMail;
}

COptionsDlg& COptionsTestBase::Open(int bNew, int nMode, int nIndex, const CTaskItem* pTask,
                                    const std::string& strPreset) {
    m_pDlg = std::make_unique<COptionsDlg>(nullptr, m_clock);
    m_pDlg->m_bNewTask = bNew;
    m_pDlg->m_nMode = nMode;
    m_pDlg->m_nEditIndex = nIndex;
    if (pTask) m_pDlg->SetTask(*pTask);
    if (!strPreset.empty()) m_pDlg->OtherPage().m_strTaskName = strPreset;
    m_pDlg->show();
    return *m_pDlg;
}

QWidget* COptionsTestBase::Find(int nId) const { return CDataExchange::Find(m_pDlg.get(), nId, true); }

void COptionsTestBase::LeaveField(int nId, Qt::FocusReason reason) {
    QFocusEvent event(QEvent::FocusOut, reason);
    QApplication::sendEvent(Find(nId), &event);
}

bool COptionsTestBase::Schedule() {
    m_pDlg->setResult(0);
    Click(1002);
    return m_pDlg->result() == COptionsDlg::kResultOK;
}

QTimer* COptionsTestBase::OnNextModal(std::function<void(QWidget*)> fn, QWidget* pNot) {
    auto* pTimer = new QTimer;
    pTimer->setInterval(5);
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, fn, pNot] {
        QWidget* p = QApplication::activeModalWidget();
        if (!p || p == pNot) return;
        pTimer->stop();
        pTimer->deleteLater();
        fn(p);
    });
    pTimer->start();
    return pTimer;
}
