#pragma once
#include <string>

#include "CResult.h"

// Where the add-in keeps its files on this platform, and the small file
// operations of the connection: the location file beside the module and the
// seeding of the task list.
class CAddinPaths {
public:
    static constexpr const char* kLocationFile = "appdata.ini";

    // $XDG_DATA_HOME, else ~/.local/share, created when missing; with a
    // trailing '/' unless empty.
    static std::string AppDataDir();
    // The folder of the file holding this code, up to and including its last
    // '/'; empty when there is none or it is the first character.
    static std::string InstallDirOf(const std::string& strModulePath);
    static std::string ModulePath();
    // CDataFolder::PathUnder(strAppData), made folder by folder, after an
    // earlier build's folder was moved there; the install folder when it
    // cannot be entered. The current directory is left at the install folder.
    static std::string ResolveDataDir(const std::string& strAppData, const std::string& strInstall);
    // Rewrites the location file only when it exists: UTF-16LE, no BOM, no
    // terminator. bAppend: adds CR LF CR LF and the text at its end.
    static CResult<> WriteLocation(const std::string& strInstall, const std::string& strText, bool bAppend);
    // Copies strFrom to strTo unless strTo exists; a missing source is no
    // problem, and a half-made copy never takes the name strTo.
    static CResult<> SeedCopy(const std::string& strFrom, const std::string& strTo);
    static std::string ToUtf16Le(const std::string& strUtf8);
};
