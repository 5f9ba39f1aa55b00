#pragma once
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "CAddin.h"

// Where the add-in finds itself and its user's data, inside a test's folder
// for the holder's lifetime: the module lies in <folder>/install and the
// roaming data home is <folder>/roaming.
class CAddinFolders {
public:
    explicit CAddinFolders(const std::string& strFolder) {
        std::filesystem::create_directories(strFolder + "/install");
        setenv("XDG_DATA_HOME", (strFolder + "/roaming").c_str(), 1);
        CAddin::SetModulePathForTests(strFolder + "/install/quilsend.so");
    }
    ~CAddinFolders() {
        CAddin::SetModulePathForTests({});
        unsetenv("XDG_DATA_HOME");
    }
    CAddinFolders(const CAddinFolders&) = delete;
    CAddinFolders& operator=(const CAddinFolders&) = delete;
};
