#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <utility>

// A file descriptor that closes itself; -1 holds none. Moves, never copies:
//     COwnedFd fd(::open(...));  if (!fd) ...;  ::read(fd.Get(), ...);
class COwnedFd {
public:
    COwnedFd() = default;
    explicit COwnedFd(int fd) : m_fd(fd) {}
    COwnedFd(COwnedFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    COwnedFd& operator=(COwnedFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    COwnedFd(const COwnedFd&) = delete;
    COwnedFd& operator=(const COwnedFd&) = delete;
    ~COwnedFd() { Reset(); }

    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // Gives the descriptor up to a caller that closes it.
    int Release() { return std::exchange(m_fd, -1); }
    void Reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes it now, for a writer that must learn whether the last bytes
    // reached the file: close's result (0 when there was none to close).
    int Close() { return m_fd >= 0 ? ::close(std::exchange(m_fd, -1)) : 0; }
    // A pipe, both ends closed on exec; false (errno says why) when none can be made.
    static bool MakePipe(COwnedFd& fdRead, COwnedFd& fdWrite) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        fdRead.Reset(fds[0]);
        fdWrite.Reset(fds[1]);
        return true;
    }

private:
    int m_fd = -1;
};
