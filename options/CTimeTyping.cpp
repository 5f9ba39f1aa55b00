#include "CTimeTyping.h"

#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>

CTimeTyping::CTimeTyping(QDateTimeEdit* pEdit) : QObject(pEdit), m_pEdit(pEdit) { pEdit->installEventFilter(this); }

void CTimeTyping::Attach(QDateTimeEdit* pEdit) {
    if (pEdit) new CTimeTyping(pEdit);
}

bool CTimeTyping::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == m_pEdit && pEvent->type() == QEvent::KeyPress) {
        const QString strTyped = static_cast<QKeyEvent*>(pEvent)->text();
        const auto* pLine = m_pEdit->findChild<QLineEdit*>();
        // A selection across sections holds a separator; the typing starts
        // again at the first section, as the user means it.
        if (pLine && strTyped.size() == 1 && strTyped[0].isDigit() && pLine->selectedText().size() > 2 &&
            m_pEdit->sectionCount() > 0) {
            m_pEdit->setCurrentSectionIndex(0);
            m_pEdit->setSelectedSection(m_pEdit->sectionAt(0));
        }
    }
    return QObject::eventFilter(pWatched, pEvent);
}
