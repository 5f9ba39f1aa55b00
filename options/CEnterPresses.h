#pragma once
#include <QObject>

class QWidget;

// Enter or Return on a push button that has the keyboard focus presses that
// button, not the window's default one: "Remove" with the focus means
// Remove. Buttons without the focus are left to the window.
class CEnterPresses : public QObject {
    Q_OBJECT
public:
    // Watches every push button under pRoot, now and for pRoot's lifetime.
    static void Attach(QWidget* pRoot);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    explicit CEnterPresses(QWidget* pRoot);
};
