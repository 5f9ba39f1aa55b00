#include "CHeadlessHost.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "CAddinLoader.h"
#include "CApplication.h"
#include "CKeyringPasswordStore.h"
#include "CMailHost.h"
#include "CMailJournal.h"
#include "CProfileLock.h"
#include "CServiceNotifier.h"

namespace {

constexpr int kReceiveEveryMs = 10 * 60 * 1000;

void Log(const std::string& str) { std::fprintf(stderr, "mailhost: %s\n", str.c_str()); }

// Every event as a line on standard error; a message's result also as a
// structured journal entry, which stands in for the line when standard
// error goes to the journal anyway.
void LogEvents(CMailHost& host) {
    const bool bStderrIsJournal = CMailJournal::StderrIsJournal();
    for (const auto& e : host.Events().Drain()) {
        std::string str = std::string(CHostEvents::KindName(e.kind));
        if (!e.strId.empty()) str += " " + e.strId;
        if (!e.strText.empty()) str += ": " + e.strText;
        bool bJournaled = false;
        if (const std::optional<bool> bSent = CMailJournal::InSentItems(e.kind)) {
            CMailMessage msg;
            const bool bRead =
                host.LoadFromFolder(*bSent ? EMailFolder::SentItems : EMailFolder::Outbox, e.strId, msg).Ok();
            bJournaled = CMailJournal::Send(CMailJournal::Fields(e, "mailhost: " + str, bRead ? &msg : nullptr)).Ok();
        }
        if (!bJournaled || !bStderrIsJournal) Log(str);
    }
}

// SIGTERM and SIGINT stop the host; SIGHUP makes it read the account again.
sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

// As the Accounts dialog's OK does in the windowed host: delivery starts
// again with the account as the file now says.
void Reload(CMailHost& host) {
    Log("reading the account again");
    host.Stop();
    if (CResult<> r = host.Start(); !r) Log(r.Problem());
    Log(host.TransportName().empty() ? "nothing can be sent" : "sending via " + host.TransportName());
    for (const auto& str : host.ConfigMessages()) Log(str);
}

}  // namespace

void CHeadlessHost::BlockSignals() {
    sigset_t set = HandledSignals();
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int CHeadlessHost::Run() {
    const sigset_t set = HandledSignals();
    const int fdSignal = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fdSignal < 0) {
        Log(std::string("cannot watch signals: ") + std::strerror(errno));
        return 1;
    }
    struct CCloser {
        int fd;
        ~CCloser() { ::close(fd); }
    } closer{fdSignal};

    CProfileLock lock;
    if (CResult<> r = lock.Acquire(CMailStore::DefaultProfileDir(), "headless"); !r) {
        Log(r.Problem());
        return 1;
    }
    // Asked only for an account that keeps its password there; without a
    // session bus it answers at once, and the account says what to do.
    CKeyringPasswordStore keyring;
    CHostOptions options;
    options.pKeyring = &keyring;
    CMailHost host(options);
    if (CResult<> r = host.Start(); !r) {
        Log(r.Problem());
        return 1;
    }
    Log("profile " + host.ProfileDir() + (host.TransportName().empty() ? "" : ", sending via " + host.TransportName()));
    for (const auto& str : host.ConfigMessages()) Log(str);

    int nStatus = 0;
    {
        CComPtr<CApplication> spApp = CApplication::Create(host);
        CAddinLoader loader(Log);
        CRegistryStore registry;
        const CRegistryFile regFile;
        if (CResult<> r = regFile.Load(registry); !r) Log("add-ins not loaded: " + r.Problem());
        else loader.LoadAll(registry, static_cast<_Application*>(spApp.p));

        QSocketNotifier signalNotifier(fdSignal, QSocketNotifier::Read);
        QObject::connect(&signalNotifier, &QSocketNotifier::activated, [fdSignal, &host] {
            signalfd_siginfo info{};
            if (::read(fdSignal, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return;
            if (info.ssi_signo == SIGHUP) {
                Reload(host);
                return;
            }
            Log(std::string("stopping on ") + strsignal(static_cast<int>(info.ssi_signo)));
            QCoreApplication::exit(0);
        });
        QSocketNotifier eventNotifier(host.Events().Fd(), QSocketNotifier::Read);
        QObject::connect(&eventNotifier, &QSocketNotifier::activated, [&host] { LogEvents(host); });
        QTimer receiveTimer;
        QObject::connect(&receiveTimer, &QTimer::timeout, [&host] { host.SendReceiveNow(); });
        receiveTimer.start(kReceiveEveryMs);
        host.SendReceiveNow();

        // Pinged from the event loop, so a host whose loop hangs is
        // restarted by the service manager.
        const CServiceNotifier notifier;
        QTimer watchdogTimer;
        QObject::connect(&watchdogTimer, &QTimer::timeout, [&notifier] { notifier.Ping(); });
        if (const auto interval = notifier.PingInterval(); interval.count() > 0) watchdogTimer.start(interval);
        notifier.Ready(host.TransportName().empty() ? "running, nothing can be sent"
                                                    : "running, sending via " + host.TransportName());

        nStatus = QCoreApplication::exec();
        notifier.Stopping();
        loader.UnloadAll();
        spApp->Shutdown();
    }
    host.Stop();
    LogEvents(host);
    Log("stopped");
    return nStatus;
}
