#pragma once
#include <QObject>
#include <cstdint>
#include <optional>
#include <string>

class QLineEdit;

// The check of a count field: digits only, then 1..upper bound. Attached to
// a field it runs whenever the field loses the keyboard focus, reports the
// problem and takes the focus back; the text itself is left alone.
class CNumberCheck : public QObject {
    Q_OBJECT
public:
    // The message for a bad text, or nothing with the value in nValue.
    static std::optional<std::string> Validate(const std::string& strText, int nMax, int32_t& nValue);
    static void Attach(QLineEdit* pEdit, int nMax);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    CNumberCheck(QLineEdit* pEdit, int nMax);
    void OnKillFocus();

    QLineEdit* m_pEdit;
    int m_nMax;
    bool m_bReporting = false;
};
