#include "CDataFolder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

bool IsDir(const std::string& strPath) {
    struct stat st {};
    return ::lstat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string CDataFolder::PathUnder(const std::string& strAppData) {
    return strAppData + kVendor + "/" + kHost + "/" + kAddin + "/";
}

std::string CDataFolder::Earlier(const std::string& strAppData) {
    const std::string strVendor = strAppData + kVendor + "/";
    if (IsDir(strVendor + kHost + "/" + kAddin)) return {};
    DIR* pDir = ::opendir(strVendor.c_str());
    if (!pDir) return {};
    std::string strFound;
    int nFound = 0;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string strName = pEntry->d_name;
        if (strName == "." || strName == ".." || strName == kHost) continue;
        const std::string strCandidate = strVendor + strName + "/" + kAddin + "/";
        struct stat st {};
        if (IsDir(strVendor + strName) && ::lstat((strCandidate + "emails.dat").c_str(), &st) == 0) {
            strFound = strCandidate;
            ++nFound;
        }
    }
    ::closedir(pDir);
    // Two candidates: which one the user means is not ours to guess.
    return nFound == 1 ? strFound : std::string();
}

CResult<std::string> CDataFolder::MoveEarlier(const std::string& strAppData, const std::string& strEarlier) {
    const std::string strHost = strAppData + kVendor + "/" + kHost;
    const std::string strTo = strHost + "/" + kAddin;
    if (::mkdir(strHost.c_str(), 0700) != 0 && errno != EEXIST)
        return CProblem("cannot make " + strHost + ": " + std::strerror(errno) + "; the task list stays in " +
                        strEarlier);
    const std::string strSource = strEarlier.substr(0, strEarlier.size() - 1);
    if (::rename(strSource.c_str(), strTo.c_str()) != 0)
        return CProblem("cannot move " + strSource + " to " + strTo + ": " + std::strerror(errno) +
                        "; the task list stays where it is");
    return "moved the data folder " + strSource + " to " + strTo;
}
