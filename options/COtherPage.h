#pragma once
#include <QWidget>
#include <string>

#include "CDataExchange.h"

// The sheet's third page: the task name and the task's three switches.
// The sheet checks and stores them.
class COtherPage : public QWidget {
    Q_OBJECT
public:
    explicit COtherPage(QWidget* pParent = nullptr);
    // Never fails: nothing here has a range.
    bool UpdateData(bool bSaveAndValidate);

    std::string m_strTaskName;
    int32_t m_bReceiveBeforeSending = 0;
    int32_t m_bSendOverdue = 0;
    int32_t m_bActive = 0;
};
