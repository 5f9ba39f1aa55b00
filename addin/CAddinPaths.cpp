#include "CAddinPaths.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

#include "CDataFolder.h"
#include "CFileOps.h"
#include "COwnedFd.h"

std::string CAddinPaths::AppDataDir() {
    std::string str;
    if (const char* psz = std::getenv("XDG_DATA_HOME"); psz && *psz == '/') str = psz;
    else if (const char* pszHome = std::getenv("HOME"); pszHome && *pszHome)
        str = std::string(pszHome) + "/.local/share";
    if (str.empty()) return str;
    (void)CFileOps::MakeDirs(str);  // a folder that cannot be made shows when the data folder is resolved
    if (str.back() != '/') str += '/';
    return str;
}

std::string CAddinPaths::ModulePath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&CAddinPaths::ModulePath), &info) == 0 || !info.dli_fname) return {};
    char* psz = ::realpath(info.dli_fname, nullptr);
    std::string str = psz ? psz : info.dli_fname;
    std::free(psz);
    return str;
}

std::string CAddinPaths::InstallDirOf(const std::string& strModulePath) {
    const size_t nFirst = strModulePath.find_first_not_of(" \t\r\n");
    if (nFirst == std::string::npos) return {};
    const size_t nLast = strModulePath.find_last_not_of(" \t\r\n");
    const std::string str = strModulePath.substr(nFirst, nLast - nFirst + 1);
    const size_t nSlash = str.rfind('/');
    if (nSlash == std::string::npos || nSlash == 0) return {};
    return str.substr(0, nSlash + 1);
}

std::string CAddinPaths::ResolveDataDir(const std::string& strAppData, const std::string& strInstall) {
    // A task list an earlier build kept beside ours moves here; when it
    // cannot, it is used where it is rather than starting an empty one.
    std::string strPath;
    if (const std::string strEarlier = CDataFolder::Earlier(strAppData); !strEarlier.empty()) {
        const CResult<std::string> rMoved = CDataFolder::MoveEarlier(strAppData, strEarlier);
        std::cerr << "Quillory: " << (rMoved ? *rMoved : rMoved.Problem()) << '\n';
        if (!rMoved) strPath = strEarlier;
    }
    if (strPath.empty()) {
        strPath = strAppData + CDataFolder::kVendor;
        ::mkdir(strPath.c_str(), 0700);
        strPath = strPath + "/" + CDataFolder::kHost;
        ::mkdir(strPath.c_str(), 0700);
        strPath = CDataFolder::PathUnder(strAppData);
        ::mkdir(strPath.c_str(), 0700);
    }
    const std::string strData = ::chdir(strPath.c_str()) == 0 ? strPath : strInstall;
    [[maybe_unused]] int n = ::chdir(strInstall.c_str());
    return strData;
}

std::string CAddinPaths::ToUtf16Le(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        uint32_t cp = 0xFFFD;
        size_t n = 1;
        if (c < 0x80) cp = c;
        else if ((c >> 5) == 6 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
            n = 2;
        } else if ((c >> 4) == 14 && i + 2 < s.size()) {
            cp = ((c & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
            n = 3;
        } else if ((c >> 3) == 30 && i + 3 < s.size()) {
            cp = ((c & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
            n = 4;
        }
        i += n;
        auto unit = [&](uint32_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>((u >> 8) & 0xFF);
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

CResult<> CAddinPaths::WriteLocation(const std::string& strInstall, const std::string& strText, bool bAppend) {
    const std::string strFile = strInstall + kLocationFile;
    // Existing file only: the add-in never creates it.
    const COwnedFd fd(::open(strFile.c_str(), O_WRONLY | O_CLOEXEC | (bAppend ? O_APPEND : O_TRUNC)));
    if (!fd) return errno == ENOENT ? CResult<>() : ErrnoProblem("cannot open " + strFile);
    if (!CFileOps::WriteAll(fd.Get(), ToUtf16Le(bAppend ? "\r\n\r\n" + strText : strText)))
        return ErrnoProblem("cannot write " + strFile);
    return {};
}

namespace {

// A bound for reading the seed whole, far beyond any task list an
// installation ships (a few tasks, a few kilobytes).
constexpr size_t kMaxSeedBytes = size_t{256} << 20;

}  // namespace

CResult<> CAddinPaths::SeedCopy(const std::string& strFrom, const std::string& strTo) {
    struct stat st {};
    if (::stat(strTo.c_str(), &st) == 0) return {};
    if (::stat(strFrom.c_str(), &st) != 0)
        return errno == ENOENT ? CResult<>() : ErrnoProblem("cannot read " + strFrom);
    QUILLORY_TRY_VALUE(const std::string strBytes, CFileOps::ReadFile(strFrom, kMaxSeedBytes));
    const std::string strTemp = strTo + ".seed-" + std::to_string(::getpid());
    ::unlink(strTemp.c_str());  // one a killed start left
    CResult<> rSeeded = CFileOps::WriteNewSynced(strTemp, strBytes);
    // link() never replaces: a file that appeared meanwhile stays.
    if (rSeeded && ::link(strTemp.c_str(), strTo.c_str()) != 0 && errno != EEXIST)
        rSeeded = ErrnoProblem("cannot make " + strTo);
    ::unlink(strTemp.c_str());
    return rSeeded;
}
