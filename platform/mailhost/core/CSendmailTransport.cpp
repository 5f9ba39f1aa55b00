#include "CSendmailTransport.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "COwnedFd.h"

extern char** environ;

namespace {

constexpr int kExTempFail = 75;

}  // namespace

std::string CSendmailTransport::FindProgram() {
    for (const char* psz : {"/usr/sbin/sendmail", "/usr/lib/sendmail"}) {
        if (::access(psz, X_OK) == 0) return psz;
    }
    return {};
}

std::string CSendmailTransport::LocalAddress() {
    char szHost[256] = "localhost";
    ::gethostname(szHost, sizeof szHost - 1);
    passwd* pUser = ::getpwuid(::geteuid());
    return std::string(pUser && pUser->pw_name ? pUser->pw_name : "user") + "@" + szHost;
}

CSendResult CSendmailTransport::Send(const CWireMessage& wire, const std::function<bool()>& fnHanded,
                                     const std::atomic<bool>& bAbort) {
    CSendResult result;
    if (bAbort) {
        result.strReason = "interrupted by shutdown";
        return result;
    }
    std::vector<std::string> vecArgs = {m_strProgram, "-i", "-f", wire.strFrom, "--"};
    vecArgs.insert(vecArgs.end(), wire.vecRcpt.begin(), wire.vecRcpt.end());
    std::vector<char*> vecArgv;
    for (auto& str : vecArgs) vecArgv.push_back(str.data());
    vecArgv.push_back(nullptr);

    COwnedFd fdRead, fdWrite;
    if (!COwnedFd::MakePipe(fdRead, fdWrite)) {
        result.strReason = std::string("cannot create a pipe: ") + std::strerror(errno);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fdRead.Get(), 0);
    pid_t pid = 0;
    int nSpawn = posix_spawn(&pid, m_strProgram.c_str(), &actions, nullptr, vecArgv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    fdRead.Reset();
    if (nSpawn != 0) {
        result.strReason = "cannot run " + m_strProgram + ": " + std::strerror(nSpawn);
        return result;
    }

    // The delivery thread blocks SIGPIPE, so a program that stops reading
    // gives EPIPE here instead of killing the host.
    std::string strBytes = CMimeWriter::CrlfToLf(wire.strBytes);
    size_t nDone = 0;
    bool bWriteFailed = false;
    while (nDone < strBytes.size()) {
        ssize_t n = ::write(fdWrite.Get(), strBytes.data() + nDone, strBytes.size() - nDone);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            bWriteFailed = true;
            break;
        }
        nDone += static_cast<size_t>(n);
    }
    // The program takes the message only at the end of its input; before
    // that it can still be stopped without sending anything.
    if (!bWriteFailed && fnHanded && !fnHanded()) {
        ::kill(pid, SIGKILL);
        fdWrite.Reset();
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
        result.strReason = "not handed over: the delivery record could not be written";
        return result;
    }
    fdWrite.Reset();  // the end of its input: the program takes the message now
    if (!bWriteFailed) result.bHanded = true;

    int nStatus = 0;
    while (::waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {}
    result.bVerdict = true;
    if (WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0 && !bWriteFailed) {
        result.outcome = EHostEvent::Sent;
    } else if (WIFEXITED(nStatus) && WEXITSTATUS(nStatus) != kExTempFail && WEXITSTATUS(nStatus) != 0) {
        result.outcome = EHostEvent::Failed;
        result.strReason =
            m_strProgram + " refused the message (exit status " + std::to_string(WEXITSTATUS(nStatus)) + ")";
    } else {
        result.strReason = m_strProgram + (WIFSIGNALED(nStatus) ? " was killed" : " could not take the message now");
    }
    return result;
}
