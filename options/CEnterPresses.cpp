#include "CEnterPresses.h"

#include <QKeyEvent>
#include <QPushButton>

CEnterPresses::CEnterPresses(QWidget* pRoot) : QObject(pRoot) {
    for (QPushButton* pButton : pRoot->findChildren<QPushButton*>()) pButton->installEventFilter(this);
}

void CEnterPresses::Attach(QWidget* pRoot) {
    if (pRoot) new CEnterPresses(pRoot);
}

bool CEnterPresses::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        auto* pButton = qobject_cast<QPushButton*>(pWatched);
        if (pButton && (nKey == Qt::Key_Return || nKey == Qt::Key_Enter) && pButton->hasFocus()) {
            pButton->click();
            return true;
        }
    }
    return QObject::eventFilter(pWatched, pEvent);
}
