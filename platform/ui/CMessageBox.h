#pragma once
#include <functional>
#include <string>

// Message boxes of the add-in. With a window system they are the host's
// dialogs; without one (the headless host) the text goes to the host's log
// and the default answer is taken.
namespace CMessageBox {

// The flags of a box: one button set, one icon, and the default button,
// or-ed together (MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2).
enum : unsigned {
    MB_OK = 0x0,                // one button, OK
    MB_YESNOCANCEL = 0x3,       // Yes, No and Cancel (Escape is Cancel)
    MB_YESNO = 0x4,             // Yes and No
    MB_TYPEMASK = 0xF,          // the bits that hold the button set
    MB_ICONERROR = 0x10,        // a stop sign
    MB_ICONQUESTION = 0x20,     // a question mark
    MB_ICONWARNING = 0x30,      // an exclamation mark
    MB_ICONINFORMATION = 0x40,  // an information sign
    MB_ICONMASK = 0xF0,         // the bits that hold the icon
    MB_DEFBUTTON2 = 0x100,      // the second button is the default (No of Yes/No)
    MB_DONTSHOWAGAIN = 0x1000,  // a "Do not show again" tick box under the text
};
// The button a box was closed with.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
// Or-ed into the button when the user ticked "Do not show again".
inline constexpr int kDontShowAgainTicked = 0x10000;

using CHandler = std::function<int(const std::string& strText, const std::string& strCaption, unsigned nFlags)>;

// Shows the box and returns the button pressed (IDOK, IDCANCEL, IDYES or IDNO).
int Show(const std::string& strText, const std::string& strCaption, unsigned nFlags);
// Replaces how boxes are shown (the windowed host installs its dialogs,
// tests record them); an empty handler restores the logging default.
void SetHandler(CHandler fn);
// The answer a box gives when nobody can be asked.
int DefaultAnswer(unsigned nFlags);

}  // namespace CMessageBox
