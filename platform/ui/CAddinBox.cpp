#include "CAddinBox.h"

namespace CAddinBox {

void Tell(const std::string& strText, unsigned nIcon) {
    // Only OK is ever pressed; there is nothing to return.
    (void)CMessageBox::Show(strText, kCaption, CMessageBox::MB_OK | nIcon);
}

void Inform(const std::string& strText) { Tell(strText, CMessageBox::MB_ICONINFORMATION); }

void Warn(const std::string& strText) { Tell(strText, CMessageBox::MB_ICONWARNING); }

void Fail(const std::string& strText) { Tell(strText, CMessageBox::MB_ICONERROR); }

bool Ask(const std::string& strQuestion) {
    return CMessageBox::Show(strQuestion, kCaption, CMessageBox::MB_YESNO | CMessageBox::MB_ICONQUESTION) ==
           CMessageBox::IDYES;
}

}  // namespace CAddinBox
