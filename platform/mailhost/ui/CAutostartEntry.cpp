#include "CAutostartEntry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CApplication.h"

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
    const std::filesystem::path path = Path();
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) return CProblem(path.parent_path().string() + ": " + ec.message());
    const std::filesystem::path pathNew = path.string() + ".new";
    {
        std::ofstream out(pathNew, std::ios::binary | std::ios::trunc);
        out << "[Desktop Entry]\n"
               "Type=Application\n"
               "Name="
            << kHostProductName
            << "\n"
               "Comment=Sends scheduled mail from the system tray\n"
               "Exec="
            << ExecValue(strProgram) << " " << kTrayArgument
            << "\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n";
        out.close();
        if (!out) return CProblem(pathNew.string() + ": cannot be written");
    }
    std::filesystem::rename(pathNew, path, ec);
    if (ec) return CProblem(path.string() + ": " + ec.message());
    return {};
}

CResult<> CAutostartEntry::Disable() {
    std::error_code ec;
    std::filesystem::remove(Path(), ec);
    if (ec) return CProblem(Path() + ": " + ec.message());
    return {};
}
