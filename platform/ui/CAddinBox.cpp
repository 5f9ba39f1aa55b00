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

bool InformUnlessTurnedOff(const std::string& strText) {
    const int nAnswer = CMessageBox::Show(
        strText, kCaption, CMessageBox::MB_OK | CMessageBox::MB_ICONINFORMATION | CMessageBox::MB_DONTSHOWAGAIN);
    return (nAnswer & CMessageBox::kDontShowAgainTicked) != 0;
}

bool AskRisky(const std::string& strQuestion) {
    return CMessageBox::Show(strQuestion, kCaption,
                             CMessageBox::MB_YESNO | CMessageBox::MB_ICONQUESTION | CMessageBox::MB_DEFBUTTON2) ==
           CMessageBox::IDYES;
}

int AskOrCancel(const std::string& strQuestion) {
    return CMessageBox::Show(strQuestion, kCaption, CMessageBox::MB_YESNOCANCEL | CMessageBox::MB_ICONQUESTION);
}

}  // namespace CAddinBox
