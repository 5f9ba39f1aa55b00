#include "CFileOps.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "Digits.h"

namespace {

std::atomic<unsigned> g_nTempCounter{0};

}  // namespace

bool CFileOps::IsRunning(pid_t nPid) {
    if (::kill(nPid, 0) != 0) return errno != ESRCH;
    const auto rStat = CFileOps::ReadFile("/proc/" + std::to_string(nPid) + "/stat", 4096);
    if (!rStat) return true;
    const size_t nEnd = rStat->rfind(") ");  // the name in parentheses may hold anything
    if (nEnd == std::string::npos) return true;
    std::istringstream fields(rStat->substr(nEnd + 2));
    char cState = 0;
    std::string strSkip;
    unsigned long nFlags = 0;
    fields >> cState >> strSkip >> strSkip >> strSkip >> strSkip >> strSkip >> nFlags;  // state, 5 numbers, flags
    constexpr unsigned long kExiting = 0x4;                                             // the kernel's PF_EXITING
    if (!fields) return true;  // a form this does not know: left alone
    return cState != 'Z' && cState != 'X' && !(nFlags & kExiting);
}

std::string CFileOps::ErrnoText(const std::string& strWhat, const std::string& strPath) {
    return strWhat + " " + strPath + ": " + std::strerror(errno);
}

std::string CFileOps::DirName(const std::string& strPath) {
    size_t nSlash = strPath.find_last_of('/');
    if (nSlash == std::string::npos) return ".";
    if (nSlash == 0) return "/";
    return strPath.substr(0, nSlash);
}

bool CFileOps::IsAbsent(const std::string& strPath) {
    struct stat st {};
    return ::lstat(strPath.c_str(), &st) != 0 && errno == ENOENT;
}

CResult<> CFileOps::WriteNewSynced(const std::string& strPath, const std::string& strBytes, int nMode) {
    return WriteNewFile(strPath, strBytes, nMode, true);
}

CResult<> CFileOps::WriteNew(const std::string& strPath, const std::string& strBytes, int nMode) {
    return WriteNewFile(strPath, strBytes, nMode, false);
}

CResult<> CFileOps::SyncFile(const std::string& strPath) { return SyncPath(strPath, 0, ""); }

CResult<> CFileOps::SyncPath(const std::string& strPath, int nFlags, const std::string& strKind) {
    const COwnedFd fd(::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | nFlags));
    if (!fd) return CProblem(ErrnoText("cannot open" + strKind, strPath));
    if (::fsync(fd.Get()) != 0) return CProblem(ErrnoText("cannot sync" + strKind, strPath));
    return {};
}

CResult<> CFileOps::WriteNewFile(const std::string& strPath, const std::string& strBytes, int nMode, bool bSync) {
    COwnedFd fd(::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, nMode));
    if (!fd) return CProblem(ErrnoText("cannot create", strPath));
    // Exactly nMode: the umask may take bits a kept mode needs, and must not add any.
    std::string strProblem = ::fchmod(fd.Get(), static_cast<mode_t>(nMode)) == 0 ? "" : std::strerror(errno);
    if (strProblem.empty() && !WriteAll(fd.Get(), strBytes)) strProblem = std::strerror(errno);
    if (strProblem.empty() && bSync && ::fsync(fd.Get()) != 0) strProblem = std::strerror(errno);
    if (fd.Close() != 0 && strProblem.empty()) strProblem = std::strerror(errno);
    if (!strProblem.empty()) {
        ::unlink(strPath.c_str());
        return CProblem("cannot write " + strPath + ": " + strProblem);
    }
    return {};
}

CResult<> CFileOps::SyncDir(const std::string& strDir) { return SyncPath(strDir, O_DIRECTORY, " folder"); }

CResult<> CFileOps::ReplaceFile(const std::string& strPath, const std::string& strBytes, int nMode, EMode mode) {
    return ReplaceWith(
        strPath,
        [&strBytes](int fd, const std::string& strTemp) -> CResult<> {
            if (!WriteAll(fd, strBytes)) return CProblem(ErrnoText("cannot write", strTemp));
            return {};
        },
        nMode, mode);
}

CResult<> CFileOps::ReplaceWith(const std::string& strPath, const CWriter& fnWrite, int nMode, EMode mode) {
    nMode = ModeForReplacing(strPath, nMode, mode);
    const std::string strDir = DirName(strPath);
    const std::string strName = strPath.substr(strPath.find_last_of('/') + 1);
    // A name of its own beside the file, so that two writers, or anything
    // left lying under a fixed name, cannot stop a save.
    const std::string strTemp = strDir + "/." + strName + ".tmp-" + std::to_string(::getpid()) + "-" +
                                std::to_string(g_nTempCounter.fetch_add(1));
    COwnedFd fd(::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, nMode));
    if (!fd) return CProblem(ErrnoText("cannot create", strTemp));
    // Exactly nMode from the start: the umask may take bits a kept mode needs,
    // and a secret is never readable by others, not even for a moment.
    CResult<> rWritten;
    if (::fchmod(fd.Get(), static_cast<mode_t>(nMode)) != 0)
        rWritten = CProblem(ErrnoText("cannot set the mode of", strTemp));
    if (rWritten) rWritten = fnWrite(fd.Get(), strTemp);
    if (rWritten && ::fsync(fd.Get()) != 0) rWritten = CProblem(ErrnoText("cannot write", strTemp));
    if (fd.Close() != 0 && rWritten) rWritten = CProblem(ErrnoText("cannot write", strTemp));
    if (rWritten && ::rename(strTemp.c_str(), strPath.c_str()) != 0)
        rWritten = CProblem(ErrnoText("cannot replace", strPath));
    if (!rWritten) {
        ::unlink(strTemp.c_str());
        return rWritten;
    }
    return SyncDir(strDir);
}

std::vector<std::string> CFileOps::RemoveStrayTemporaries(const std::string& strDir,
                                                          const std::function<bool(const std::string&)>& fnOurs) {
    std::vector<std::string> vecRemoved;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(strDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string strName = it->path().filename().string();
        // "." name ".tmp-" pid "-" counter, as ReplaceWith names them.
        const size_t nTmp = strName.rfind(".tmp-");
        const size_t nDash = strName.find('-', nTmp == std::string::npos ? strName.size() : nTmp + 5);
        if (strName.size() < 2 || strName[0] != '.' || nTmp == std::string::npos || nTmp < 2 ||
            nDash == std::string::npos || !IsDigits(std::string_view(strName).substr(nTmp + 5, nDash - nTmp - 5), 9) ||
            !IsDigits(std::string_view(strName).substr(nDash + 1), 20))
            continue;
        if (!fnOurs(strName.substr(1, nTmp - 1))) continue;
        const pid_t nPid = static_cast<pid_t>(std::stol(strName.substr(nTmp + 5, nDash - nTmp - 5)));
        if (nPid == ::getpid() || IsRunning(nPid)) continue;
        if (!std::filesystem::is_regular_file(it->symlink_status(ec)) || ec) continue;
        if (::unlink(it->path().c_str()) == 0) vecRemoved.push_back(it->path().string());
    }
    return vecRemoved;
}

bool CFileOps::WriteAll(int fd, std::string_view sv) {
    while (!sv.empty()) {
        const ssize_t n = ::write(fd, sv.data(), sv.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sv.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

int CFileOps::ModeForReplacing(const std::string& strPath, int nNewMode, EMode mode) {
    struct stat st {};
    if (mode == EMode::KeepExisting && ::lstat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return static_cast<int>(st.st_mode & 0777);  // never a set-id bit
    return nNewMode;
}

CResult<COwnedFd> CFileOps::OpenRegular(const std::string& strPath, ELinks links) {
    const int nFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == ELinks::Refuse ? O_NOFOLLOW : 0);
    COwnedFd fd(::open(strPath.c_str(), nFlags));
    if (!fd) {
        if (errno == ELOOP && links == ELinks::Refuse) return CProblem("a symbolic link, not opened: " + strPath);
        return CProblem(ErrnoText("cannot open", strPath));
    }
    QUILLORY_TRY(CheckRegular(fd.Get(), strPath));
    // Reads of a regular file never block; the flag only kept open() from waiting.
    (void)::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);  // harmless when it fails
    return fd;
}

CResult<COwnedFd> CFileOps::OpenPrivate(const std::string& strPath) {
    COwnedFd fd(::open(strPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd) {
        if (errno == ELOOP) return CProblem("a symbolic link, not opened: " + strPath);
        return CProblem(ErrnoText("cannot open", strPath));
    }
    QUILLORY_TRY(CheckRegular(fd.Get(), strPath));
    return fd;
}

CResult<> CFileOps::CheckRegular(int fd, const std::string& strPath) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return CProblem(ErrnoText("cannot look at", strPath));
    if (S_ISREG(st.st_mode)) return {};
    const char* pszKind = S_ISFIFO(st.st_mode)   ? "a FIFO"
                          : S_ISDIR(st.st_mode)  ? "a folder"
                          : S_ISSOCK(st.st_mode) ? "a socket"
                          : S_ISCHR(st.st_mode)  ? "a character device"
                          : S_ISBLK(st.st_mode)  ? "a block device"
                                                 : "of an unknown kind";
    return CProblem(std::string("not a regular file (") + pszKind + "): " + strPath);
}

CResult<std::string> CFileOps::ReadFile(const std::string& strPath, size_t nMaxBytes, ELinks links) {
    QUILLORY_TRY_VALUE(COwnedFd fd, OpenRegular(strPath, links));
    return ReadAll(fd.Get(), strPath, nMaxBytes);
}

CResult<std::string> CFileOps::ReadAll(int fd, const std::string& strPath, size_t nMaxBytes) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && static_cast<unsigned long long>(st.st_size) > nMaxBytes)
        return CProblem("file too large (" + std::to_string(st.st_size) + " bytes): " + strPath);
    std::string strBytes;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return CProblem(ErrnoText("cannot read", strPath));
        }
        if (n == 0) break;
        strBytes.append(buf, static_cast<size_t>(n));
        if (strBytes.size() > nMaxBytes) return CProblem("file too large: " + strPath);
    }
    return strBytes;
}

CResult<std::string> CFileOps::ReadHead(const std::string& strPath, size_t nBytes) {
    QUILLORY_TRY_VALUE(const COwnedFd fd, OpenRegular(strPath));
    std::string strBytes(nBytes, '\0');
    size_t nHave = 0;
    while (nHave < nBytes) {
        const ssize_t n = ::read(fd.Get(), strBytes.data() + nHave, nBytes - nHave);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return CProblem(ErrnoText("cannot read", strPath));
        if (n == 0) break;
        nHave += static_cast<size_t>(n);
    }
    strBytes.resize(nHave);
    return strBytes;
}

CResult<> CFileOps::MakeDirs(const std::string& strDir) {
    if (strDir.empty()) return CProblem("empty folder name");
    std::string strPart;
    size_t nPos = 0;
    while (nPos != std::string::npos) {
        nPos = strDir.find('/', nPos + 1);
        strPart = strDir.substr(0, nPos);
        if (strPart.empty()) continue;
        if (::mkdir(strPart.c_str(), 0700) != 0 && errno != EEXIST)
            return CProblem(ErrnoText("cannot create folder", strPart));
    }
    struct stat st {};
    if (::stat(strDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return CProblem("not a folder: " + strDir);
    return {};
}
