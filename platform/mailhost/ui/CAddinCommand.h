#pragma once
#include <string>

#include "CApplication.h"

// A command an add-in put on the main window's command bars or menus, found
// by its caption or its tooltip, so the host can offer it elsewhere (the tray's "Email Manager")
// without knowing the add-in. Captions match without their '&' marks and a
// trailing "...": "&Email Manager..." is "Email Manager".
namespace CAddinCommand {
CComPtr<CommandBarControl> Find(CApplication* pApp, const std::string& strCaption);
// Runs the control as a click would; false when there is none or it fails.
bool Execute(CApplication* pApp, const std::string& strCaption);
}  // namespace CAddinCommand
