#pragma once
#include <functional>
#include <string>

// Message boxes of the add-in. With a window system they are the host's
// dialogs; without one (the headless host) the text goes to the host's log
// and the default answer is taken.
namespace CMessageBox {

enum : unsigned {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_DEFBUTTON2 = 0x100,
};
enum : int { IDOK = 1, IDYES = 6, IDNO = 7 };

using CHandler = std::function<int(const std::string& strText, const std::string& strCaption, unsigned nFlags)>;

// Shows the box and returns the button pressed (IDOK, IDYES or IDNO).
int Show(const std::string& strText, const std::string& strCaption, unsigned nFlags);
// Replaces how boxes are shown (the windowed host installs its dialogs,
// tests record them); an empty handler restores the logging default.
void SetHandler(CHandler fn);
// The answer a box gives when nobody can be asked.
int DefaultAnswer(unsigned nFlags);

}  // namespace CMessageBox
