#include "CBoxOwner.h"

#include <QApplication>
#include <QWidget>

#include "CMainWindow.h"

namespace CBoxOwner {

QWidget* For(QWidget* pAsker) {
    if (pAsker && pAsker->window()->isVisible()) return pAsker->window();
    if (QWidget* p = QApplication::activeModalWidget(); p && p->isVisible()) return p;
    if (QWidget* p = QApplication::activeWindow(); p && p->isVisible()) return p;
    // Started from a timer or before any window was active: the main window.
    for (QWidget* p : QApplication::topLevelWidgets())
        if (p->isVisible() && dynamic_cast<CMainWindow*>(p)) return p;
    return pAsker;
}

}  // namespace CBoxOwner
