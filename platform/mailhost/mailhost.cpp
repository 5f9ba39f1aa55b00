// The mail host: with its windows when a display is there, or --headless:
// store, delivery and receiving without windows, until SIGTERM or SIGINT.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "CMailHost.h"
#include "CWindowedHost.h"

namespace {

constexpr int kReceiveEveryMs = 10 * 60 * 1000;

void Log(const std::string& str) {
    std::fprintf(stderr, "mailhost: %s\n", str.c_str());
}

void LogEvents(CMailHost& host) {
    for (const auto& e : host.Events().Drain()) {
        std::string str = std::string(CHostEvents::KindName(e.kind));
        if (!e.strId.empty()) str += " " + e.strId;
        if (!e.strText.empty()) str += ": " + e.strText;
        Log(str);
    }
}

int RunHeadless() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGPIPE);
    // Blocked before any thread starts, so only the signalfd sees them.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    sigdelset(&set, SIGPIPE);
    int fdSignal = ::signalfd(-1, &set, SFD_CLOEXEC);
    if (fdSignal < 0) {
        Log(std::string("cannot watch signals: ") + std::strerror(errno));
        return 1;
    }

    CMailHost host;
    if (std::string str = host.Start(); !str.empty()) {
        Log(str);
        return 1;
    }
    Log("profile " + host.ProfileDir() + (host.TransportName().empty() ? "" : ", sending via " + host.TransportName()));
    for (const auto& str : host.ConfigMessages()) Log(str);
    host.SendReceiveNow();

    for (;;) {
        pollfd fds[2] = {{fdSignal, POLLIN, 0}, {host.Events().Fd(), POLLIN, 0}};
        int n = ::poll(fds, 2, kReceiveEveryMs);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) host.SendReceiveNow();
        if (fds[1].revents & POLLIN) LogEvents(host);
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info {};
            [[maybe_unused]] ssize_t nRead = ::read(fdSignal, &info, sizeof info);
            Log(std::string("stopping on ") + strsignal(static_cast<int>(info.ssi_signo)));
            break;
        }
    }
    host.Stop();
    LogEvents(host);
    ::close(fdSignal);
    Log("stopped");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--headless") == 0) return RunHeadless();
    if (argc == 1 && CWindowedHost::DisplayAvailable()) return CWindowedHost::Run(argc, argv, {}, {});
    if (argc == 1) std::fprintf(stderr, "%s: no display for the windows; use --headless\n", argv[0]);
    std::fprintf(stderr, "usage: %s [--headless]\n", argv[0]);
    return 2;
}
