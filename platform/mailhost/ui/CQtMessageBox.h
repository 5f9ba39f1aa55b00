#pragma once
#include <memory>
#include <string>

class QMessageBox;
class QWidget;

// The add-in's message boxes as Qt dialogs: its caption, the icon its flags
// name, OK or Yes and No with the default button the flags give. Pressing
// Escape on a Yes/No box answers No, so a dismissed question never agrees.
class CQtMessageBox {
public:
    // Makes the box for the flags of CMessageBox::Show, not yet shown.
    static std::unique_ptr<QMessageBox> Build(const std::string& strText, const std::string& strCaption,
                                              unsigned nFlags, QWidget* pParent);
    // Shows it modally, centred over the window the user is in (the main
    // window when none is active); returns IDOK, IDYES or IDNO.
    static int Show(const std::string& strText, const std::string& strCaption, unsigned nFlags);
    // Routes CMessageBox::Show here until Uninstall.
    static void Install();
    static void Uninstall();
};
