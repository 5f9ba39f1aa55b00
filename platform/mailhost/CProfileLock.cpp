#include "CProfileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CProfileLock::~CProfileLock() {
    if (m_fd >= 0) ::close(m_fd);
}

CResult<> CProfileLock::Acquire(const std::string& strProfileDir) {
    for (size_t i = 1; i <= strProfileDir.size(); ++i)
        if (i == strProfileDir.size() || strProfileDir[i] == '/') ::mkdir(strProfileDir.substr(0, i).c_str(), 0700);
    const std::string strPath = strProfileDir + "/" + kFileName;
    const int fd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return CProblem("cannot open " + strPath + ": " + std::strerror(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int nErr = errno;
        char sz[32] = {};
        const ssize_t n = ::pread(fd, sz, sizeof sz - 1, 0);
        ::close(fd);
        if (nErr != EWOULDBLOCK) return CProblem("cannot lock " + strPath + ": " + std::strerror(nErr));
        std::string strPid = n > 0 ? std::string(sz, static_cast<size_t>(n)) : "";
        while (!strPid.empty() && (strPid.back() == '\n' || strPid.back() == ' ')) strPid.pop_back();
        return CProblem("another mailhost" + (strPid.empty() ? std::string() : " (pid " + strPid + ")") +
                        " is already running on the profile " + strProfileDir);
    }
    const std::string strPid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) [[maybe_unused]] auto n = ::pwrite(fd, strPid.data(), strPid.size(), 0);
    m_fd = fd;
    return {};
}
