#pragma once
// Presses the button with this control id (1002 "Schedule", 1063 "Cancel")
// of the options sheet that is open; false when there is none or it has no
// such button.
#include <QApplication>
#include <QPushButton>

inline bool PressSheetButton(int nControlId) {
    QWidget* pSheet = QApplication::activeModalWidget();
    if (!pSheet) return false;
    for (QPushButton* p : pSheet->findChildren<QPushButton*>())
        if (p->property("controlId").toInt() == nControlId) {
            p->click();
            return true;
        }
    return false;
}
