#include "COptionsTestBase.h"

#include <QFocusEvent>
#include <QPushButton>
#include <map>

#include "CDataExchange.h"
#include "COtherPage.h"

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

int32_t& COptionsTestBase::Field(CTaskItem& task, const std::string& strName) {
    static const std::map<std::string, int32_t CTaskItem::*> mapFields = {
        {"m_bActive", &CTaskItem::m_bActive},
        {"m_nRecurrence", &CTaskItem::m_nRecurrence},
        {"m_nMinuteInterval", &CTaskItem::m_nMinuteInterval},
        {"m_nDailyMode", &CTaskItem::m_nDailyMode},
        {"m_nDailyInterval", &CTaskItem::m_nDailyInterval},
        {"m_nDailyDayKind", &CTaskItem::m_nDailyDayKind},
        {"m_nWeeklyMode", &CTaskItem::m_nWeeklyMode},
        {"m_nWeeklyInterval", &CTaskItem::m_nWeeklyInterval},
        {"m_nWeeklyWeekOfMonth", &CTaskItem::m_nWeeklyWeekOfMonth},
        {"m_nMonthlyMode", &CTaskItem::m_nMonthlyMode},
        {"m_nMonthlyDay", &CTaskItem::m_nMonthlyDay},
        {"m_nMonthlyInterval", &CTaskItem::m_nMonthlyInterval},
        {"m_nMonthlyOrdinal", &CTaskItem::m_nMonthlyOrdinal},
        {"m_nMonthlyDayKind", &CTaskItem::m_nMonthlyDayKind},
        {"m_nMonthlyInterval2", &CTaskItem::m_nMonthlyInterval2},
        {"m_nYearlyMode", &CTaskItem::m_nYearlyMode},
        {"m_nYearlyMonth", &CTaskItem::m_nYearlyMonth},
        {"m_nYearlyDay", &CTaskItem::m_nYearlyDay},
        {"m_nYearlyOrdinal", &CTaskItem::m_nYearlyOrdinal},
        {"m_nYearlyDayKind", &CTaskItem::m_nYearlyDayKind},
        {"m_nYearlyMonth2", &CTaskItem::m_nYearlyMonth2},
        {"m_nEndKind", &CTaskItem::m_nEndKind},
    };
    const std::string strDays = "m_bWeekDays[";
    if (strName.size() == strDays.size() + 2 && strName.compare(0, strDays.size(), strDays) == 0 &&
        strName[strDays.size()] >= '0' && strName[strDays.size()] <= '6' && strName.back() == ']')
        return task.m_bWeekDays[strName[strDays.size()] - '0'];
    auto it = mapFields.find(strName);
    if (it != mapFields.end()) return task.*it->second;
    ADD_FAILURE() << "no task field " << strName;
    static int32_t nNone = 0;
    return nNone;
}

void COptionsTestBase::SetFields(CTaskItem& task, const std::vector<CFieldValue>& vecFields) {
    for (const CFieldValue& field : vecFields) Field(task, field.pszField) = field.nValue;
}

void COptionsTestBase::ExpectFields(CTaskItem task, const std::vector<CFieldValue>& vecFields) {
    for (const CFieldValue& field : vecFields) EXPECT_EQ(Field(task, field.pszField), field.nValue) << field.pszField;
}
