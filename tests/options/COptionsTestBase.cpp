#include "COptionsTestBase.h"

#include <QFocusEvent>
#include <QPushButton>

#include "CDataExchange.h"
#include "COtherPage.h"

COptionsDlg& COptionsTestBase::Open(int bNew, int nMode, int nIndex, const CTaskItem* pTask, const std::string& strPreset) {
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

void COptionsTestBase::OnNextModal(std::function<void(QWidget*)> fn, QWidget* pNot) {
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
}
