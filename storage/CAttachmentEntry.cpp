#include "CAttachmentEntry.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "TemplateAccess.h"

namespace {

bool HasWildcard(const std::string& str) { return str.find_first_of("*?") != std::string::npos; }

std::string Absolute(const std::string& strDir) {
    if (!strDir.empty() && strDir[0] == '/') return strDir;
    char sz[4096];
    std::string strCwd = ::getcwd(sz, sizeof sz) ? sz : ".";
    return strDir.empty() || strDir == "." ? strCwd : strCwd + "/" + strDir;
}

}  // namespace

std::string CAttachmentEntry::FolderOf(const std::string& strEntry) {
    const size_t nSlash = strEntry.rfind('/');
    return nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : strEntry.substr(0, nSlash);
}

std::string CAttachmentEntry::LastOf(const std::string& strEntry) {
    const size_t nSlash = strEntry.rfind('/');
    return nSlash == std::string::npos ? strEntry : strEntry.substr(nSlash + 1);
}

bool CAttachmentEntry::IsMask(const std::string& strEntry) { return HasWildcard(LastOf(strEntry)); }

std::vector<std::string> CAttachmentEntry::Match(const std::string& strEntry) {
    std::vector<std::string> vec;
    if (strEntry.empty() || strEntry.size() >= kMaxPath) return vec;
    std::string strMask = LastOf(strEntry);
    const std::string strFolder = Absolute(FolderOf(strEntry));
    auto isFile = [](const std::string& strPath) {
        struct stat st {};
        return ::stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    const std::string strPrefix = strFolder == "/" ? "/" : strFolder + "/";
    if (!HasWildcard(strMask)) {
        if (!strMask.empty() && isFile(strPrefix + strMask)) vec.push_back(strPrefix + strMask);
        return vec;
    }
    if (strMask == "*.*") strMask = "*";  // every file, also one without a dot
    DIR* pDir = ::opendir(strFolder.c_str());
    if (!pDir) return vec;
    std::vector<std::string> vecNames;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string strName = pEntry->d_name;
        if (strName == "." || strName == "..") continue;
        if (::fnmatch(strMask.c_str(), strName.c_str(), FNM_CASEFOLD) == 0) vecNames.push_back(strName);
    }
    ::closedir(pDir);
    std::sort(vecNames.begin(), vecNames.end());
    for (const auto& strName : vecNames)
        if (isFile(strPrefix + strName)) vec.push_back(strPrefix + strName);
    return vec;
}
