#pragma once
#include <QObject>
#include <cstdint>
#include <string>

#include "CResult.h"

class QLineEdit;

// The check of a count field: digits only, then 1..upper bound. Attached to
// a field it runs whenever the focus leaves the field for another control
// of the same window, reports the problem and takes the focus back; the text
// itself is left alone. Leaving the window (switching to another one, the
// close box, Escape) is not leaving the field: the user is not stopped on
// the way out, and the commit checks the field again anyway.
class CNumberCheck : public QObject {
    Q_OBJECT
public:
    // The value of the text; the problem is the message for a bad one.
    static CResult<int32_t> Validate(const std::string& strText, int nMax);
    static void Attach(QLineEdit* pEdit, int nMax);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    CNumberCheck(QLineEdit* pEdit, int nMax);
    void OnKillFocus();
    bool LeavesForTheWindow(Qt::FocusReason reason) const;

    QLineEdit* m_pEdit;
    int m_nMax;
    bool m_bReporting = false;
};
