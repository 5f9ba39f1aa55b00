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
#include "CHandOver.h"
#include "CKeyringPasswordStore.h"
#include "CMailHost.h"
#include "CMailJournal.h"
#include "CMailStore.h"
#include "COwnedFd.h"
#include "CPrintable.h"

namespace {

constexpr int kReceiveEveryMs = 10 * 60 * 1000;
constexpr int kStandbyPollMs = 250;
constexpr const char* kStandingAside = "standing aside for the windowed host";

void Log(const std::string& str) { std::fprintf(stderr, "mailhost: %s\n", str.c_str()); }

// Every event as a line on standard error; a message's result also as a
// structured journal entry, which stands in for the line when standard
// error goes to the journal anyway.
void LogEvents(CMailHost& host) {
    const bool bStderrIsJournal = CMailJournal::StderrIsJournal();
    for (const auto& e : host.Events().Drain()) {
        // The line is read by a person; the journal's other fields keep the exact text.
        std::string str = std::string(CHostEvents::KindName(e.kind));
        if (!e.strId.empty()) str += " " + CPrintable::Escape(e.strId);
        if (!e.strText.empty()) str += ": " + CPrintable::Escape(e.strText);
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

// SIGTERM and SIGINT stop the host; SIGHUP makes it read the account again;
// SIGUSR1 asks it to stand aside for the windows.
sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1);
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

CHostOptions WithKeyring(IPasswordStore& keyring) {
    CHostOptions options;
    options.pKeyring = &keyring;
    return options;
}

}  // namespace

struct CHeadlessHost::CSession {
    // Asked only for an account that keeps its password there; without a
    // session bus it answers at once, and the account says what to do.
    CKeyringPasswordStore keyring;
    CMailHost host{WithKeyring(keyring)};
    CComPtr<CApplication> spApp;
    CAddinLoader loader{Log};
    std::unique_ptr<QSocketNotifier> pEvents;
};

CHeadlessHost::CHeadlessHost() : m_strProfileDir(CMailStore::DefaultProfileDir()) {}

CHeadlessHost::~CHeadlessHost() { Disconnect(); }

void CHeadlessHost::BlockSignals() {
    sigset_t set = HandledSignals();
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CResult<> CHeadlessHost::Connect() {
    QUILLORY_TRY(m_lock.Acquire(m_strProfileDir, "headless"));
    auto pSession = std::make_unique<CSession>();
    CMailHost& host = pSession->host;
    if (CResult<> r = host.Start(); !r) {
        m_lock.Release();
        return r;
    }
    Log("profile " + host.ProfileDir() + (host.TransportName().empty() ? "" : ", sending via " + host.TransportName()));
    for (const auto& str : host.ConfigMessages()) Log(str);
    pSession->spApp = CApplication::Create(host);
    CRegistryStore registry;
    const CRegistryFile regFile;
    if (CResult<> r = regFile.Load(registry); !r) Log("add-ins not loaded: " + r.Problem());
    else pSession->loader.LoadAll(registry, static_cast<_Application*>(pSession->spApp.p));
    pSession->pEvents = std::make_unique<QSocketNotifier>(host.Events().Fd(), QSocketNotifier::Read);
    QObject::connect(pSession->pEvents.get(), &QSocketNotifier::activated, [&host] { LogEvents(host); });
    host.SendReceiveNow();
    m_pSession = std::move(pSession);
    return {};
}

void CHeadlessHost::Disconnect() {
    if (!m_pSession) return;
    m_pSession->pEvents.reset();
    m_pSession->loader.UnloadAll();
    m_pSession->spApp->Shutdown();
    m_pSession->host.Stop();
    LogEvents(m_pSession->host);
    m_pSession.reset();
    m_lock.Release();
}

std::string CHeadlessHost::RunningStatus() const {
    if (!m_pSession) return kStandingAside;
    return m_pSession->host.TransportName().empty() ? "running, nothing can be sent"
                                                    : "running, sending via " + m_pSession->host.TransportName();
}

void CHeadlessHost::StandAside() {
    Disconnect();
    // Only for `mailhost status`: nothing waits on it.
    if (CResult<> r = m_standby.Acquire(m_strProfileDir, "headless", CHandOver::kStandbyFile); !r) Log(r.Problem());
    Log(kStandingAside);
    m_notifier.Status(kStandingAside);
    m_bWaitReported = false;
    m_pStandbyTimer->start(kStandbyPollMs);
}

void CHeadlessHost::OnStandbyTick() {
    if (CHandOver::WindowsHold(m_strProfileDir)) return;
    if (CResult<> r = Connect(); !r) {
        // Not the lock (nobody holds the profile): the store or delivery
        // cannot start, so the host ends as at start-up, for a restart.
        if (!CProfileLock::Holder(m_strProfileDir)) {
            Log(r.Problem());
            m_pStandbyTimer->stop();
            QCoreApplication::exit(1);
            return;
        }
        if (!m_bWaitReported) Log("waiting for the profile: " + r.Problem());
        m_bWaitReported = true;
        return;
    }
    m_pStandbyTimer->stop();
    m_standby.Release();
    Log("the windows are closed: running again");
    m_notifier.Status(RunningStatus());
}

int CHeadlessHost::Run() {
    const sigset_t set = HandledSignals();
    const COwnedFd fdSignals(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
    const int fdSignal = fdSignals.Get();
    if (fdSignal < 0) {
        Log(std::string("cannot watch signals: ") + std::strerror(errno));
        return 1;
    }

    m_pStandbyTimer = std::make_unique<QTimer>();
    QObject::connect(m_pStandbyTimer.get(), &QTimer::timeout, [this] { OnStandbyTick(); });
    // Windows open on the profile (or opening): wait for them, as after a
    // hand-over; a service started at login then runs once they close.
    if (!CHandOver::WindowsHold(m_strProfileDir)) {
        if (CResult<> r = Connect(); !r && !CHandOver::WindowsHold(m_strProfileDir)) {
            Log(r.Problem());
            return 1;
        }
    }
    if (!m_pSession) {
        if (const auto other = CProfileLock::Holder(m_strProfileDir, CHandOver::kStandbyFile)) {
            Log("another headless mailhost (pid " + std::to_string(other->pid) +
                ") already waits for the windows on the profile " + m_strProfileDir);
            return 1;
        }
        StandAside();
    }

    QSocketNotifier signalNotifier(fdSignal, QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [fdSignal, this] {
        signalfd_siginfo info{};
        if (::read(fdSignal, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return;
        if (info.ssi_signo == SIGHUP) {
            if (!m_pSession) return;
            Reload(m_pSession->host);
            // systemctl status shows how it sends now, not how it did at start.
            m_notifier.Status(RunningStatus());
            return;
        }
        if (info.ssi_signo == SIGUSR1) {
            if (m_pSession) StandAside();
            return;
        }
        Log(std::string("stopping on ") + strsignal(static_cast<int>(info.ssi_signo)));
        QCoreApplication::exit(0);
    });
    QTimer receiveTimer;
    QObject::connect(&receiveTimer, &QTimer::timeout, [this] {
        if (m_pSession) m_pSession->host.SendReceiveNow();
    });
    receiveTimer.start(kReceiveEveryMs);

    // Pinged from the event loop, so a host whose loop hangs is restarted by
    // the service manager; standing aside, it goes on pinging.
    QTimer watchdogTimer;
    QObject::connect(&watchdogTimer, &QTimer::timeout, [this] { m_notifier.Ping(); });
    if (const auto interval = m_notifier.PingInterval(); interval.count() > 0) watchdogTimer.start(interval);
    m_notifier.Ready(RunningStatus());

    const int nStatus = QCoreApplication::exec();
    m_notifier.Stopping();
    m_pStandbyTimer->stop();
    Disconnect();
    Log("stopped");
    return nStatus;
}
