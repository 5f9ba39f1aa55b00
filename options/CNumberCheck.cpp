#include "CNumberCheck.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPointer>
#include <QScopedValueRollback>
#include <QTimer>

#include "CAddinBox.h"

CResult<int32_t> CNumberCheck::Validate(const std::string& strText, int nMax) {
    int64_t n = 0;
    for (char ch : strText) {
        if (ch < '0' || ch > '9') return CProblem("Please enter a number.");
        // Past the bound the exact value no longer matters.
        if (n <= nMax) n = n * 10 + (ch - '0');
    }
    if (n < 1 || n > nMax) return CProblem("Please enter a number between 1 and " + std::to_string(nMax) + ".");
    return static_cast<int32_t>(n);
}

CNumberCheck::CNumberCheck(QLineEdit* pEdit, int nMax) : QObject(pEdit), m_pEdit(pEdit), m_nMax(nMax) {
    pEdit->installEventFilter(this);
}

void CNumberCheck::Attach(QLineEdit* pEdit, int nMax) {
    if (pEdit) new CNumberCheck(pEdit, nMax);
}

bool CNumberCheck::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pEdit && pEvent->type() == QEvent::FocusOut &&
        LeavesForTheWindow(static_cast<QFocusEvent*>(pEvent)->reason()))
        OnKillFocus();
    return QObject::eventFilter(pWatched, pEvent);
}

bool CNumberCheck::LeavesForTheWindow(Qt::FocusReason reason) const {
    // The field's own context menu only borrows the focus; the window losing
    // its activation is the user going elsewhere.
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) return false;
    const QWidget* pWindow = m_pEdit->window();
    if (!pWindow->isVisible()) return false;  // closing
    // The focus is already where it went when the field hears of it.
    const QWidget* pNext = QApplication::focusWidget();
    return !pNext || pNext->window() == pWindow;
}

void CNumberCheck::OnKillFocus() {
    // The message box itself takes the focus; that must not report again.
    if (m_bReporting || !m_pEdit->isEnabled()) return;
    const auto rValue = Validate(m_pEdit->text().toStdString(), m_nMax);
    if (rValue) return;
    {
        const QScopedValueRollback guard(m_bReporting, true);
        CAddinBox::Warn(rValue.Problem());
    }
    // Focus cannot be taken back while it is still moving away.
    QPointer<QLineEdit> pEdit = m_pEdit;
    QTimer::singleShot(0, m_pEdit, [pEdit] {
        if (pEdit) pEdit->setFocus();
    });
}
