#include "CTakeOverNote.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "CTrayIcon.h"

CTakeOverNote::CTakeOverNote(QMainWindow& main, CTrayIcon& tray, std::function<bool()> fnServiceWaits, int nCheckMs)
    : QObject(&main), m_tray(tray), m_fnServiceWaits(std::move(fnServiceWaits)), m_pLabel(new QLabel(&main)) {
    m_pLabel->setObjectName("takeOver");
    main.statusBar()->addPermanentWidget(m_pLabel);
    Update();
    connect(&m_check, &QTimer::timeout, this, &CTakeOverNote::Update);
    m_check.start(nCheckMs);
}

void CTakeOverNote::Update() {
    const bool bWaits = m_fnServiceWaits && m_fnServiceWaits();
    const QString strNote = bWaits ? kText : QString();
    m_pLabel->setText(strNote);
    m_pLabel->setVisible(bWaits);
    m_tray.SetNote(strNote.toStdString());
}
