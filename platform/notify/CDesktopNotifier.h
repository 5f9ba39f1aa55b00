#pragma once
#include "INotifier.h"

// Notifications through the session bus's notification server
// (org.freedesktop.Notifications.Notify). Without a session bus, or with no
// server on it, nothing happens. The call does not wait for the server.
class CDesktopNotifier final : public INotifier {
public:
    // The application name the server shows with each notification.
    explicit CDesktopNotifier(std::string strAppName = "Quillory") : m_strAppName(std::move(strAppName)) {}
    // A critical one carries the "critical" urgency and never expires.
    void Notify(const std::string& strSummary, const std::string& strBody,
                EUrgency eUrgency = EUrgency::Normal) override;

private:
    std::string m_strAppName;
};
