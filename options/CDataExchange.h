#pragma once
#include <QDate>
#include <QTime>
#include <QWidget>
#include <cstdint>
#include <string>

// Moves values between a dialog's members and its controls, found by their
// numeric ids (the "controlId" property of the templates). Saving reads the
// controls; a rejected value is reported, gets the focus and makes this
// exchange fail, after which the remaining calls do nothing.
class CDataExchange {
public:
    CDataExchange(QWidget* pRoot, bool bSaveAndValidate, bool bQuiet = false)
        : m_pRoot(pRoot), m_bSave(bSaveAndValidate), m_bQuiet(bQuiet) {}

    bool IsSaving() const { return m_bSave; }
    bool Failed() const { return m_bFailed; }

    void Text(int nId, std::string& str);
    // A count field: saving runs the number check with 1..nMax.
    void Count(int nId, int32_t& n, int nMax);
    void Check(int nId, int32_t& b);
    void Date(int nId, QDate& date);
    void Time(int nId, QTime& time);

    // The control with this id of the dialog pRoot, or null; bDeep also
    // looks into its child dialogs (a sheet's pages, a page's panels).
    static QWidget* Find(const QWidget* pRoot, int nId, bool bDeep = false);
    template <class T>
    static T* Control(const QWidget* pRoot, int nId, bool bDeep = false) {
        return qobject_cast<T*>(Find(pRoot, nId, bDeep));
    }
    // What the templates ask of their controls at creation: digits-only
    // fields and up-down controls tied to their fields.
    static void PrepareControls(QWidget* pRoot);

private:
    template <class T>
    T* Need(int nId);
    void Fail(QWidget* pControl, const std::string& strMessage);

    QWidget* m_pRoot;
    bool m_bSave;
    bool m_bQuiet;
    bool m_bFailed = false;
};
