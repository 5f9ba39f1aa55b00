#pragma once
#include <QWidget>

class QLineEdit;
class QToolButton;

// The two small arrow buttons beside a count field; each press moves the
// field's number by one within the range, and so do the Up and Down keys
// in the field.
class CUpDown : public QWidget {
    Q_OBJECT
public:
    explicit CUpDown(QWidget* pParent = nullptr);
    // Like the arrows of a spin box, the control takes the right end of
    // its field.
    void SetBuddy(QLineEdit* pBuddy);
    void SetRange(int nMin, int nMax);
    int Minimum() const { return m_nMin; }
    int Maximum() const { return m_nMax; }
    void Step(int nDelta);

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QLineEdit* m_pBuddy = nullptr;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
    int m_nMin = 0;
    int m_nMax = 100;
};
