#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

// The address of a Unix socket file; a path too long for it is cut, as
// the host's own address is.
inline sockaddr_un UnixAddress(const std::string& strPath) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, strPath.c_str(), sizeof addr.sun_path - 1);
    return addr;
}

// A client's end connected to the socket file, or -1 with errno set.
inline int ConnectUnix(const std::string& strPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const sockaddr_un addr = UnixAddress(strPath);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return fd;
    const int nError = errno;
    ::close(fd);
    errno = nError;
    return -1;
}
