#pragma once
#include <string>

#include "CMessageBox.h"

// The add-in's message boxes: one caption, and one icon for each kind of
// news, so that every window of the add-in speaks the same way. Each goes
// through CMessageBox::Show, so a recording handler sees the text, the
// caption "Quillory" and the flags (Warn: MB_OK | MB_ICONWARNING).
namespace CAddinBox {

// The caption of every box the add-in shows.
inline constexpr const char* kCaption = "Quillory";

// Something went well (OK, information sign).
void Inform(const std::string& strText);
// Something the user must correct (OK, exclamation mark).
void Warn(const std::string& strText);
// Something failed (OK, stop sign).
void Fail(const std::string& strText);
// A confirmation (Yes/No, question mark, Yes the default); true for Yes.
[[nodiscard]] bool Ask(const std::string& strQuestion);
// A confirmation of something hard to take back (Yes/No, No the default).
[[nodiscard]] bool AskRisky(const std::string& strQuestion);
// Yes, No or Cancel (question mark, Yes the default, Escape cancels):
// CMessageBox::IDYES, IDNO or IDCANCEL.
[[nodiscard]] int AskOrCancel(const std::string& strQuestion);
// Something went well, with a "Do not show again" tick box; true when the
// user ticked it.
[[nodiscard]] bool InformUnlessTurnedOff(const std::string& strText);
// An OK box whose icon (one of CMessageBox::MB_ICON*) is chosen at run time.
void Tell(const std::string& strText, unsigned nIcon);

}  // namespace CAddinBox
