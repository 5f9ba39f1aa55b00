#include "CTestProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "WaitUntil.h"

extern char** environ;

namespace {

std::vector<char*> Argv(const std::vector<std::string>& vecArgs) {
    std::vector<char*> vec;
    for (const auto& str : vecArgs) vec.push_back(const_cast<char*>(str.c_str()));
    vec.push_back(nullptr);
    return vec;
}

}  // namespace

void CTestProcess::Start(const std::vector<std::string>& vecArgs, bool bCaptureStdout, const std::string& strStderr) {
    Stop();
    int fds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (bCaptureStdout) {
        if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    }
    if (!strStderr.empty())
        posix_spawn_file_actions_addopen(&actions, 2, strStderr.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<char*> vecArgv = Argv(vecArgs);
    int nRc = posix_spawn(&m_pid, vecArgv[0], &actions, nullptr, vecArgv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (bCaptureStdout) ::close(fds[1]);
    if (nRc != 0) {
        if (fds[0] >= 0) ::close(fds[0]);
        m_pid = -1;
        throw std::runtime_error("cannot start " + vecArgs[0] + ": " + std::strerror(nRc));
    }
    m_fdOut = fds[0];
    m_strBuffer.clear();
}

std::string CTestProcess::ReadLine(std::chrono::milliseconds timeout) {
    auto tEnd = std::chrono::steady_clock::now() + timeout;
    while (m_strBuffer.find('\n') == std::string::npos) {
        auto nLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - std::chrono::steady_clock::now()).count();
        pollfd pfd{m_fdOut, POLLIN, 0};
        if (nLeft <= 0 || ::poll(&pfd, 1, static_cast<int>(nLeft)) <= 0) return {};
        char buf[512];
        ssize_t n = ::read(m_fdOut, buf, sizeof buf);
        if (n <= 0) return {};
        m_strBuffer.append(buf, static_cast<size_t>(n));
    }
    size_t nNl = m_strBuffer.find('\n');
    std::string strLine = m_strBuffer.substr(0, nNl);
    m_strBuffer.erase(0, nNl + 1);
    return strLine;
}

void CTestProcess::Kill() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        m_nExitStatus = -1;
    }
    Stop();
}

bool CTestProcess::Reaped() {
    int nStatus = 0;
    if (m_pid > 0 && ::waitpid(m_pid, &nStatus, WNOHANG) == m_pid) {
        m_pid = -1;
        m_nExitStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    }
    return m_pid <= 0;
}

int CTestProcess::Wait(std::chrono::milliseconds timeout) {
    return WaitUntil([this] { return Reaped(); }, timeout, std::chrono::milliseconds(10)) ? m_nExitStatus : -1;
}

void CTestProcess::Stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        if (!WaitUntil([this] { return Reaped(); }, std::chrono::seconds(5), std::chrono::milliseconds(10))) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            m_nExitStatus = -1;
        }
    }
    if (m_fdOut >= 0) ::close(m_fdOut);
    m_fdOut = -1;
}

int CTestProcess::Run(const std::vector<std::string>& vecArgs) {
    std::vector<char*> vecArgv = Argv(vecArgs);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int nRc = posix_spawn(&pid, vecArgv[0], &actions, nullptr, vecArgv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (nRc != 0) return -1;
    int nStatus = 0;
    while (::waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}
