#include "CAutostartEntry.h"

#include <cstdlib>
#include <filesystem>

#include "CApplication.h"
#include "CFileOps.h"

std::string CAutostartEntry::ConfigHome() {
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    const char* pszHome = std::getenv("HOME");
    // The base directory rules: a relative XDG_CONFIG_HOME is ignored.
    return pszConfig && *pszConfig == '/' ? pszConfig : std::string(pszHome ? pszHome : "/tmp") + "/.config";
}

std::string CAutostartEntry::Path() { return ConfigHome() + "/autostart/" + kFileName; }

bool CAutostartEntry::Enabled() { return std::filesystem::exists(Path()); }

std::string CAutostartEntry::ExecValue(const std::string& strProgram) {
    // Inside the quotes of an argument ", `, $ and \ take a backslash; then
    // the entry's string escaping doubles every backslash, and % is the
    // field-code character.
    std::string strArg;
    for (char c : strProgram) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') strArg += '\\';
        strArg += c;
    }
    std::string strValue = "\"";
    for (char c : strArg) {
        if (c == '\\') strValue += "\\\\";
        else if (c == '%') strValue += "%%";
        else strValue += c;
    }
    return strValue + "\"";
}

CResult<> CAutostartEntry::Enable(const std::string& strProgram) {
    const std::string strPath = Path();
    QUILLORY_TRY(CFileOps::MakeDirs(CFileOps::DirName(strPath)));
    const std::string strEntry = std::string("[Desktop Entry]\nType=Application\nName=") + kHostProductName +
                                 "\nComment=Sends scheduled mail from the system tray\nExec=" + ExecValue(strProgram) +
                                 " " + kTrayArgument + "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    // Yours alone, as everything the host makes; the session reads it as you.
    return CFileOps::ReplaceFile(strPath, strEntry);
}

CResult<> CAutostartEntry::Disable() {
    std::error_code ec;
    std::filesystem::remove(Path(), ec);
    if (ec) return CProblem(Path() + ": " + ec.message());
    return {};
}
