#include "CBoxAnswerer.h"

#include <QPushButton>
#include <QApplication>
#include <QTest>

CBoxAnswerer::CBoxAnswerer() {
    m_timer.setInterval(0);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { OnTick(); });
    m_timer.start();
}

CBoxAnswerer::~CBoxAnswerer() { m_timer.stop(); }

void CBoxAnswerer::OnTick() {
    auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!pBox || !pBox->isVisible() || pBox->property("answered").toBool()) return;
    pBox->setProperty("answered", true);
    CSeen seen;
    seen.strTitle = pBox->windowTitle().toStdString();
    seen.strText = pBox->text().toStdString();
    seen.icon = pBox->icon();
    seen.buttons = pBox->standardButtons();
    seen.defaultButton = pBox->defaultButton() ? pBox->standardButton(static_cast<QAbstractButton*>(pBox->defaultButton())) : QMessageBox::NoButton;
    seen.bExpected = !m_deqAnswers.empty();
    QMessageBox::StandardButton answer = kEscape;
    if (!m_deqAnswers.empty()) {
        answer = m_deqAnswers.front();
        m_deqAnswers.pop_front();
    }
    m_vecSeen.push_back(seen);
    if (answer == kEscape || !pBox->button(answer)) QTest::keyClick(pBox, Qt::Key_Escape);
    else pBox->button(answer)->click();
}
