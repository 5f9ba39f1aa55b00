#pragma once
#include <memory>
#include <string>

#include "CProfileLock.h"
#include "CResult.h"
#include "CServiceNotifier.h"

class QTimer;

// The host without windows: store, delivery, receiving and the add-ins on a
// Qt event loop, until SIGTERM or SIGINT; SIGHUP makes it read the account
// again; SIGUSR1 makes it stand aside for the windows (CHandOver) until they
// are gone. Needs a QCoreApplication, and BlockSignals before it is made
// (before any thread starts). Under systemd it notifies the service manager
// and writes one journal entry per message result (CServiceNotifier,
// CMailJournal).
class CHeadlessHost {
public:
    CHeadlessHost();
    ~CHeadlessHost();
    CHeadlessHost(const CHeadlessHost&) = delete;
    CHeadlessHost& operator=(const CHeadlessHost&) = delete;

    static void BlockSignals();
    // The exit status of the program.
    int Run();

private:
    struct CSession;
    // Takes the profile and connects the add-ins; else why not.
    CResult<> Connect();
    // The add-ins disconnect (they save), delivery stops, the profile is free.
    void Disconnect();
    void StandAside();
    // While standing aside: back on the profile once the windows are gone.
    void OnStandbyTick();
    std::string RunningStatus() const;

    std::string m_strProfileDir;
    CProfileLock m_lock;
    CProfileLock m_standby;
    CServiceNotifier m_notifier;
    std::unique_ptr<CSession> m_pSession;
    std::unique_ptr<QTimer> m_pStandbyTimer;
    bool m_bWaitReported = false;
};
