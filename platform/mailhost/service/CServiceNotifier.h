#pragma once
#include <chrono>
#include <string>

// What the headless host tells systemd when it runs as a Type=notify
// service: READY=1 once the store, delivery and the add-ins are up,
// WATCHDOG=1 from its event loop while that loop turns, STOPPING=1 on the
// way out. Outside systemd (no NOTIFY_SOCKET) every call does nothing.
class CServiceNotifier {
public:
    void Ready(const std::string& strStatus) const;
    // The one-line state `systemctl status` shows, e.g. while standing aside.
    void Status(const std::string& strStatus) const;
    void Stopping() const;
    void Ping() const;
    // How often to Ping: half the service's WatchdogSec; zero when the
    // service has no watchdog (or this is not a service).
    std::chrono::milliseconds PingInterval() const;
};
