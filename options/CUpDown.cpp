#include "CUpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

CUpDown::CUpDown(QWidget* pParent) : QWidget(pParent), m_pUp(new QToolButton(this)), m_pDown(new QToolButton(this)) {
    m_pUp->setArrowType(Qt::UpArrow);
    m_pDown->setArrowType(Qt::DownArrow);
    for (QToolButton* p : {m_pUp, m_pDown}) {
        p->setAutoRepeat(true);
        p->setFocusPolicy(Qt::NoFocus);
    }
    connect(m_pUp, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CUpDown::SetBuddy(QLineEdit* pBuddy) {
    if (m_pBuddy) m_pBuddy->removeEventFilter(this);
    m_pBuddy = pBuddy;
    if (pBuddy) pBuddy->installEventFilter(this);
    if (!pBuddy || pBuddy->parentWidget() != parentWidget()) return;
    const QRect rc = pBuddy->geometry();
    pBuddy->setGeometry(rc.x(), rc.y(), std::max(1, rc.width() - width()), rc.height());
    setGeometry(rc.right() + 1 - width(), rc.y(), width(), rc.height());
}

void CUpDown::SetRange(int nMin, int nMax) {
    m_nMin = std::min(nMin, nMax);
    m_nMax = std::max(nMin, nMax);
}

void CUpDown::Step(int nDelta) {
    if (!m_pBuddy || !m_pBuddy->isEnabled()) return;
    bool bOk = false;
    long long n = m_pBuddy->text().toLongLong(&bOk);
    // Text that is no number starts again from the bottom of the range.
    if (!bOk) n = m_nMin - nDelta;
    n = std::clamp<long long>(n + nDelta, m_nMin, m_nMax);
    m_pBuddy->setText(QString::number(n));
}

void CUpDown::resizeEvent(QResizeEvent*) {
    const int nHalf = height() / 2;
    m_pUp->setGeometry(0, 0, width(), nHalf);
    m_pDown->setGeometry(0, nHalf, width(), height() - nHalf);
}

bool CUpDown::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pBuddy && pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (nKey == Qt::Key_Up || nKey == Qt::Key_Down) {
            Step(nKey == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}
