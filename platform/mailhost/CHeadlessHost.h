#pragma once

// The host without windows: store, delivery, receiving and the add-ins on a
// Qt event loop, until SIGTERM or SIGINT; SIGHUP makes it read the account
// again. Needs a QCoreApplication, and
// BlockSignals before it is made (before any thread starts). Under systemd
// it notifies the service manager and writes one journal entry per
// message result (CServiceNotifier, CMailJournal).
class CHeadlessHost {
public:
    static void BlockSignals();
    // The exit status of the program.
    int Run();
};
