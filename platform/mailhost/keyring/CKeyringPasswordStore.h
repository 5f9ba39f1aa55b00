#pragma once
#include <chrono>
#include <string>

#include "IPasswordStore.h"

// The desktop keyring (the Secret Service on the session bus), entries
// under the service "mailhost". Each call waits for the keyring's answer
// in a nested event loop, so it needs a QCoreApplication and runs on its
// thread; a keyring that must first be unlocked may ask the user.
// Without a session bus it answers at once with a problem instead of
// trying, so a host without a desktop never waits for one.
class CKeyringPasswordStore : public IPasswordStore {
public:
    explicit CKeyringPasswordStore(std::chrono::milliseconds timeout = std::chrono::seconds(60)) : m_timeout(timeout) {}

    // A session bus is there: $DBUS_SESSION_BUS_ADDRESS, or the bus socket
    // in $XDG_RUNTIME_DIR where the service manager puts it.
    static bool SessionBusAvailable();

    CResult<std::optional<std::string>> Read(const std::string& strKey) override;
    CResult<> Write(const std::string& strKey, const std::string& strPassword) override;
    CResult<> Remove(const std::string& strKey) override;

private:
    std::chrono::milliseconds m_timeout;
};
