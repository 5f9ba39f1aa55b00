#include "CFileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

std::atomic<unsigned> g_nTempCounter{0};

std::string WriteAll(int fd, const std::string& strBytes) {
    size_t nDone = 0;
    while (nDone < strBytes.size()) {
        ssize_t n = ::write(fd, strBytes.data() + nDone, strBytes.size() - nDone);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::strerror(errno);
        }
        nDone += static_cast<size_t>(n);
    }
    return {};
}

}  // namespace

std::string CFileOps::ErrnoText(const std::string& strWhat, const std::string& strPath) {
    return strWhat + " " + strPath + ": " + std::strerror(errno);
}

std::string CFileOps::DirName(const std::string& strPath) {
    size_t nSlash = strPath.find_last_of('/');
    if (nSlash == std::string::npos) return ".";
    if (nSlash == 0) return "/";
    return strPath.substr(0, nSlash);
}

std::string CFileOps::WriteNewSynced(const std::string& strPath, const std::string& strBytes, int nMode) {
    int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, nMode);
    if (fd < 0) return ErrnoText("cannot create", strPath);
    std::string strProblem = WriteAll(fd, strBytes);
    if (strProblem.empty() && ::fsync(fd) != 0) strProblem = std::strerror(errno);
    if (::close(fd) != 0 && strProblem.empty()) strProblem = std::strerror(errno);
    if (!strProblem.empty()) {
        ::unlink(strPath.c_str());
        return "cannot write " + strPath + ": " + strProblem;
    }
    return {};
}

std::string CFileOps::SyncDir(const std::string& strDir) {
    int fd = ::open(strDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrnoText("cannot open folder", strDir);
    int nRc = ::fsync(fd);
    std::string strProblem = nRc != 0 ? ErrnoText("cannot sync folder", strDir) : std::string();
    ::close(fd);
    return strProblem;
}

std::string CFileOps::ReplaceFile(const std::string& strPath, const std::string& strBytes, int nMode) {
    std::string strDir = DirName(strPath);
    std::string strName = strPath.substr(strPath.find_last_of('/') + 1);
    std::string strTemp = strDir + "/." + strName + ".tmp-" + std::to_string(::getpid()) + "-" +
                          std::to_string(g_nTempCounter.fetch_add(1));
    if (std::string str = WriteNewSynced(strTemp, strBytes, nMode); !str.empty()) return str;
    if (::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        std::string strProblem = ErrnoText("cannot replace", strPath);
        ::unlink(strTemp.c_str());
        return strProblem;
    }
    return SyncDir(strDir);
}

std::string CFileOps::ReadFile(const std::string& strPath, std::string& strBytes, size_t nMaxBytes) {
    int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrnoText("cannot open", strPath);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return "not a regular file: " + strPath;
    }
    if (static_cast<unsigned long long>(st.st_size) > nMaxBytes) {
        ::close(fd);
        return "file too large (" + std::to_string(st.st_size) + " bytes): " + strPath;
    }
    strBytes.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            std::string strProblem = ErrnoText("cannot read", strPath);
            ::close(fd);
            return strProblem;
        }
        if (n == 0) break;
        strBytes.append(buf, static_cast<size_t>(n));
        if (strBytes.size() > nMaxBytes) {
            ::close(fd);
            return "file too large: " + strPath;
        }
    }
    ::close(fd);
    return {};
}

std::string CFileOps::MakeDirs(const std::string& strDir) {
    if (strDir.empty()) return "empty folder name";
    std::string strPart;
    size_t nPos = 0;
    while (nPos != std::string::npos) {
        nPos = strDir.find('/', nPos + 1);
        strPart = strDir.substr(0, nPos);
        if (strPart.empty()) continue;
        if (::mkdir(strPart.c_str(), 0700) != 0 && errno != EEXIST) return ErrnoText("cannot create folder", strPart);
    }
    struct stat st {};
    if (::stat(strDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "not a folder: " + strDir;
    return {};
}
