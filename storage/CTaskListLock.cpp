#include "CTaskListLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "CFileOps.h"

namespace {

// The lock file holds "<pid>\n" and, once the holder serves, "<socket>\n".
void ReadHolder(int fd, long& nPid, std::string& strSocket) {
    char sz[256] = {};
    const ssize_t n = ::pread(fd, sz, sizeof sz - 1, 0);
    const std::string str = n > 0 ? std::string(sz, static_cast<size_t>(n)) : std::string();
    nPid = std::strtol(str.c_str(), nullptr, 10);
    const size_t nFirst = str.find('\n');
    const size_t nSecond = nFirst == std::string::npos ? nFirst : str.find('\n', nFirst + 1);
    strSocket = nSecond == std::string::npos ? std::string() : str.substr(nFirst + 1, nSecond - nFirst - 1);
}

void WriteHolder(int fd, const std::string& strSocket) {
    const std::string str = std::to_string(::getpid()) + "\n" + (strSocket.empty() ? "" : strSocket + "\n");
    // Only a courtesy for others' messages: a lock without it still holds.
    if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, str.data(), str.size(), 0);
}

// Empty when strDir is a folder of this user that nobody else may enter.
CResult<> CheckPrivate(const std::string& strDir, bool bFollowLinks) {
    struct stat st {};
    if ((bFollowLinks ? ::stat(strDir.c_str(), &st) : ::lstat(strDir.c_str(), &st)) != 0)
        return CProblem(strDir + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return CProblem(strDir + ": not a folder");
    if (st.st_uid != ::getuid()) return CProblem(strDir + ": belongs to another user");
    if ((st.st_mode & 077) != 0) return CProblem(strDir + ": others may enter it");
    return {};
}

// FNV-1a, 64 bits: enough to keep the data directories of one user apart.
std::string HashName(const std::string& str) {
    uint64_t nHash = 14695981039346656037ull;
    for (unsigned char c : str) {
        nHash ^= c;
        nHash *= 1099511628211ull;
    }
    char sz[17];
    std::snprintf(sz, sizeof sz, "%016" PRIx64, nHash);
    return sz;
}

}  // namespace

CResult<CTaskListLock::EState> CTaskListLock::TryAcquire(const std::string& strTaskFile) {
    Release();
    m_nHolderPid = 0;
    m_strHolderSocket.clear();
    const std::string strPath = LockPathOf(strTaskFile);
    // Never through a link another user may have planted in its place.
    auto rFd = CFileOps::OpenPrivate(strPath);
    if (!rFd) return rFd.TakeProblem();
    const int fd = rFd->Get();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nErr = errno;
        ReadHolder(fd, m_nHolderPid, m_strHolderSocket);
        if (nErr == EWOULDBLOCK) return EState::kBusy;
        return CProblem("cannot lock " + strPath + ": " + std::strerror(nErr));
    }
    WriteHolder(fd, {});
    m_fd = std::move(*rFd);
    return EState::kHeld;
}

CResult<CTaskListLock::EState> CTaskListLock::Acquire(const std::string& strTaskFile, int nWaitMs) {
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(nWaitMs);
    for (;;) {
        auto rState = TryAcquire(strTaskFile);
        if (!rState || *rState != EState::kBusy || std::chrono::steady_clock::now() >= tEnd) return rState;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void CTaskListLock::RecordSocket(const std::string& strSocketPath) {
    if (m_fd) WriteHolder(m_fd.Get(), strSocketPath);
}

void CTaskListLock::Release() { m_fd.Reset(); }

CResult<std::string> CTaskListLock::SocketPathOf(const std::string& strTaskFile, std::string* pstrNotice) {
    std::string strDir;
    std::string strWhyNot;  // why the places tried before are not used
    const auto fnNotUsed = [&](const std::string& strWhy) { strWhyNot += (strWhyNot.empty() ? "" : "; ") + strWhy; };
    if (const char* psz = std::getenv("XDG_RUNTIME_DIR"); psz && *psz == '/') {
        if (const auto rPrivate = CheckPrivate(psz, true); rPrivate) strDir = psz;
        else fnNotUsed(rPrivate.Problem());
    }
    // Made by this user with mode 0700 and never a link: whoever made it
    // could point it anywhere. Anyone may make /tmp/quillory-<uid> first,
    // so the user's own cache folder is the last place, one nobody else can make.
    const auto fnOwnFolder = [&](const std::string& strCandidate) {
        if (::mkdir(strCandidate.c_str(), 0700) != 0 && errno != EEXIST)
            return fnNotUsed("cannot make " + strCandidate + ": " + std::strerror(errno));
        if (const auto rPrivate = CheckPrivate(strCandidate, false); !rPrivate) return fnNotUsed(rPrivate.Problem());
        strDir = strCandidate;
    };
    if (strDir.empty()) fnOwnFolder("/tmp/quillory-" + std::to_string(::getuid()));
    if (strDir.empty()) {
        std::string strCache;
        if (const char* psz = std::getenv("XDG_CACHE_HOME"); psz && *psz == '/') strCache = psz;
        else if (const char* pszHome = std::getenv("HOME"); pszHome && *pszHome == '/')
            strCache = std::string(pszHome) + "/.cache";
        if (strCache.empty()) return CProblem(strWhyNot + "; and neither $XDG_CACHE_HOME nor $HOME is set");
        (void)::mkdir(strCache.c_str(), 0700);  // the next step names what fails
        fnOwnFolder(strCache + "/quillory");
        if (strDir.empty()) return CProblem(strWhyNot);
        if (pstrNotice) *pstrNotice = strWhyNot + "; the quillory tool's socket is in " + strDir + " instead";
    }
    // Absolute first: a relative name whose file does not exist yet would
    // otherwise stay relative, and name another socket in every folder.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(strTaskFile, ec);
    std::string strCanonical = std::filesystem::weakly_canonical(absolute, ec).string();
    if (ec) strCanonical = absolute.lexically_normal().string();
    std::string strPath = strDir + (strDir.back() == '/' ? "" : "/") + "quillory-" + HashName(strCanonical) + ".sock";
    if (strPath.size() >= sizeof(sockaddr_un::sun_path)) return CProblem(strPath + ": too long for a socket");
    return strPath;
}
