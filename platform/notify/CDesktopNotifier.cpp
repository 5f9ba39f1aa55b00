#include "CDesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {

constexpr int kShowForMs = -1;  // as long as the server thinks fit
constexpr int kUntilDismissed = 0;
// The urgency hint's values (a byte).
constexpr uchar kNormalUrgency = 1, kCriticalUrgency = 2;

}  // namespace

void CDesktopNotifier::Notify(const std::string& strSummary, const std::string& strBody, EUrgency eUrgency) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;  // no desktop session: nowhere to show it
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "Notify");
    const bool bCritical = eUrgency == EUrgency::Critical;
    QVariantMap hints;
    hints["urgency"] = QVariant::fromValue(bCritical ? kCriticalUrgency : kNormalUrgency);
    call << QString::fromStdString(m_strAppName) << 0u << QString() << QString::fromStdString(strSummary)
         << QString::fromStdString(strBody) << QStringList() << hints << (bCritical ? kUntilDismissed : kShowForMs);
    // Sent without waiting for the answer: a slow or missing server must
    // not hold up sending.
    (void)bus.send(call);  // a lost notification is no failure of the sender
}
