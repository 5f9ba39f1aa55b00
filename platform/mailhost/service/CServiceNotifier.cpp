#include "CServiceNotifier.h"

#include <cstdint>

#include <systemd/sd-daemon.h>

// sd_notify's answer is deliberately not examined: a host whose manager
// does not listen goes on all the same, and without NOTIFY_SOCKET it is 0.

void CServiceNotifier::Ready(const std::string& strStatus) const {
    (void)sd_notify(0, ("READY=1\nSTATUS=" + strStatus).c_str());
}

void CServiceNotifier::Status(const std::string& strStatus) const {
    (void)sd_notify(0, ("STATUS=" + strStatus).c_str());
}

void CServiceNotifier::Stopping() const { (void)sd_notify(0, "STOPPING=1"); }

void CServiceNotifier::Ping() const { (void)sd_notify(0, "WATCHDOG=1"); }

std::chrono::milliseconds CServiceNotifier::PingInterval() const {
    uint64_t nMicroseconds = 0;
    if (sd_watchdog_enabled(0, &nMicroseconds) <= 0 || nMicroseconds == 0) return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(nMicroseconds / 2000 > 0 ? nMicroseconds / 2000 : 1);
}
