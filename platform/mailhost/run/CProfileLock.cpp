#include "CProfileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "CAccount.h"
#include "CFileOps.h"
#include "CHostPaths.h"

namespace {

// A look by `mailhost status` holds a shared lock for a moment; a host
// starting just then waits that out instead of taking it for a running host.
constexpr int kLockTries = 10;
constexpr auto kLockPause = std::chrono::milliseconds(20);

CProfileLock::CHolder ReadHolder(int fd) {
    // Room for a path as long as the system allows, and the three short lines.
    std::string strText(PATH_MAX + 128, '\0');
    const ssize_t n = ::pread(fd, strText.data(), strText.size(), 0);
    strText.resize(n > 0 ? static_cast<size_t>(n) : 0);
    std::istringstream in(strText);
    CProfileLock::CHolder holder;
    std::string strPid, strStarted;
    std::getline(in, strPid);
    std::getline(in, holder.strMode);
    std::getline(in, strStarted);
    std::getline(in, holder.strAccountsPath);
    holder.pid = static_cast<pid_t>(std::atol(strPid.c_str()));
    holder.tStarted = static_cast<std::time_t>(std::atoll(strStarted.c_str()));
    return holder;
}

}  // namespace

CProfileLock::~CProfileLock() { Release(); }

void CProfileLock::Release() { m_fd.Reset(); }

CResult<> CProfileLock::Acquire(const std::string& strProfileDir, const char* pszMode, const char* pszFileName) {
    if (m_fd) return CProblem(std::string(pszFileName) + ": already held");
    QUILLORY_TRY(CFileOps::MakeDirs(strProfileDir));
    const std::string strPath = strProfileDir + "/" + pszFileName;
    auto rFd = CFileOps::OpenPrivate(strPath);  // never through a planted link
    if (!rFd) return rFd.TakeProblem();
    const int fd = rFd->Get();
    int nErr = 0;
    for (int i = 0; i < kLockTries; ++i) {
        nErr = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
        if (nErr != EWOULDBLOCK) break;
        std::this_thread::sleep_for(kLockPause);
    }
    if (nErr != 0) {
        const CHolder holder = ReadHolder(fd);
        if (nErr != EWOULDBLOCK) return CProblem("cannot lock " + strPath + ": " + std::strerror(nErr));
        return CProblem("another mailhost" + (holder.pid > 0 ? " (pid " + std::to_string(holder.pid) + ")" : "") +
                        " is already running on the profile " + strProfileDir);
    }
    const std::string strHolder = std::to_string(::getpid()) + "\n" + pszMode + "\n" +
                                  std::to_string(static_cast<long long>(std::time(nullptr))) + "\n" +
                                  CHostPaths::Absolute(CAccountsFile::DefaultPath()) + "\n";
    if (::ftruncate(fd, 0) == 0) [[maybe_unused]]
        auto n = ::pwrite(fd, strHolder.data(), strHolder.size(), 0);
    m_fd = std::move(*rFd);
    return {};
}

std::optional<CProfileLock::CHolder> CProfileLock::Holder(const std::string& strProfileDir, const char* pszFileName) {
    const std::string strPath = strProfileDir + "/" + pszFileName;
    auto rFd = CFileOps::OpenRegular(strPath, CFileOps::ELinks::Refuse);  // `mailhost status` never waits on a FIFO
    if (!rFd) return std::nullopt;
    const int fd = rFd->Get();
    // A shared lock is refused only while a host holds its exclusive one.
    const bool bHeld = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    std::optional<CHolder> holder;
    if (bHeld) holder = ReadHolder(fd);
    return holder;
}
