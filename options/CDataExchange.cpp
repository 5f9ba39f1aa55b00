#include "CDataExchange.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimeEdit>
#include <stdexcept>

#include "CAddinBox.h"
#include "CNumberCheck.h"
#include "CUpDown.h"

QWidget* CDataExchange::Find(const QWidget* pRoot, int nId, bool bDeep) {
    if (!pRoot) return nullptr;
    for (QWidget* p : pRoot->findChildren<QWidget*>(bDeep ? Qt::FindChildrenRecursively : Qt::FindDirectChildrenOnly)) {
        const QVariant v = p->property("controlId");
        if (v.isValid() && v.toInt() == nId) return p;
    }
    return nullptr;
}

void CDataExchange::PrepareControls(QWidget* pRoot) {
    for (QLineEdit* pEdit : pRoot->findChildren<QLineEdit*>()) {
        if (pEdit->property("digitsOnly").toBool())
            pEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), pEdit));
    }
    for (CUpDown* pUpDown : pRoot->findChildren<CUpDown*>()) {
        pUpDown->SetBuddy(Control<QLineEdit>(pRoot, pUpDown->property("buddyId").toInt()));
        pUpDown->SetRange(pUpDown->property("minimum").toInt(), pUpDown->property("maximum").toInt());
        // The field's own check on leaving it uses the same upper bound.
        CNumberCheck::Attach(Control<QLineEdit>(pRoot, pUpDown->property("buddyId").toInt()), pUpDown->Maximum());
    }
}

template <class T>
T* CDataExchange::Need(int nId) {
    T* p = Control<T>(m_pRoot, nId);
    // A missing control is a template that does not match its dialog.
    if (!p) throw std::logic_error("dialog has no control " + std::to_string(nId) + " of the expected kind");
    return p;
}

void CDataExchange::Fail(QWidget* pControl, const std::string& strMessage) {
    m_bFailed = true;
    if (m_bQuiet) return;
    CAddinBox::Warn(strMessage);
    pControl->setFocus();
    if (auto* pEdit = qobject_cast<QLineEdit*>(pControl)) pEdit->selectAll();
}

void CDataExchange::Text(int nId, std::string& str) {
    if (m_bFailed) return;
    auto* pEdit = Need<QLineEdit>(nId);
    if (m_bSave) str = pEdit->text().toStdString();
    else pEdit->setText(QString::fromStdString(str));
}

void CDataExchange::Count(int nId, int32_t& n, int nMax) {
    if (m_bFailed) return;
    auto* pEdit = Need<QLineEdit>(nId);
    if (!m_bSave) {
        pEdit->setText(QString::number(n));
        return;
    }
    const auto rValue = CNumberCheck::Validate(pEdit->text().toStdString(), nMax);
    if (!rValue) return Fail(pEdit, rValue.Problem());
    n = *rValue;
}

void CDataExchange::Check(int nId, int32_t& b) {
    if (m_bFailed) return;
    auto* pButton = Need<QAbstractButton>(nId);
    if (m_bSave) b = pButton->isChecked() ? 1 : 0;
    else pButton->setChecked(b != 0);
}

void CDataExchange::Date(int nId, QDate& date) {
    if (m_bFailed) return;
    auto* pEdit = Need<QDateEdit>(nId);
    if (m_bSave) date = pEdit->date();
    else pEdit->setDate(date);
}

void CDataExchange::Time(int nId, QTime& time) {
    if (m_bFailed) return;
    auto* pEdit = Need<QTimeEdit>(nId);
    // The picker shows hours and minutes; the seconds stay with the member.
    if (m_bSave) time = QTime(pEdit->time().hour(), pEdit->time().minute(), time.isValid() ? time.second() : 0);
    else pEdit->setTime(time);
}
