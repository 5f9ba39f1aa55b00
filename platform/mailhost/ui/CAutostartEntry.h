#pragma once
#include <string>

#include "CResult.h"

// "Start at login": a desktop entry in the user's autostart folder
// ($XDG_CONFIG_HOME/autostart, default ~/.config/autostart) that starts the
// host with its windows; the tray then keeps it running. The program path
// is quoted as desktop entries want it, e.g. /opt/my mail/mailhost gives
// Exec="/opt/my mail/mailhost".
class CAutostartEntry {
public:
    static constexpr const char* kFileName = "mailhost.desktop";
    // What the entry starts the host with: its windows in the tray, not the
    // main window (the host shows it anyway where there is no tray).
    static constexpr const char* kTrayArgument = "--tray";

    // $XDG_CONFIG_HOME, else ~/.config.
    static std::string ConfigHome();
    static std::string Path();
    static bool Enabled();
    // Writes the entry for strProgram (an absolute path).
    static CResult<> Enable(const std::string& strProgram);
    // Removes the entry; done when there is none.
    static CResult<> Disable();
    // The Exec key's value that runs strProgram with no arguments.
    static std::string ExecValue(const std::string& strProgram);
};
