#pragma once
#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>

#include "COwnedFd.h"
#include "CResult.h"

// One host per profile: an exclusive lock on "mailhost.lock" in the profile
// folder, held for the life of the object. The kernel drops it when the
// process ends in any way, so a crashed host never blocks the next one.
// The file says who holds it: "PID\nMODE\nSTARTED\nACCOUNTS\n", STARTED in
// seconds since the epoch, ACCOUNTS the accounts file the host reads, e.g.
// "4711\nheadless\n1796650000\n/home/zoe/.config/mailhost/accounts.ini\n". The hand-over
// between the headless host and the windows uses the same kind of lock on
// other files of the profile (CHandOver).
class CProfileLock {
public:
    static constexpr const char* kFileName = "mailhost.lock";

    // The host that holds a profile, as its lock file says.
    struct CHolder {
        pid_t pid = 0;
        std::string strMode;  // "windows" or "headless"
        std::time_t tStarted = 0;
        std::string strAccountsPath;  // empty when the holder did not say
    };

    CProfileLock() = default;
    ~CProfileLock();
    CProfileLock(const CProfileLock&) = delete;
    CProfileLock& operator=(const CProfileLock&) = delete;

    // Done when the lock is held, else a message for the user. pszMode is
    // recorded for `mailhost status`, and the accounts file the host reads
    // ($MAILHOST_ACCOUNTS or the default) for `mailhost account set`.
    CResult<> Acquire(const std::string& strProfileDir, const char* pszMode, const char* pszFileName = kFileName);
    void Release();
    bool Held() const { return static_cast<bool>(m_fd); }

    // The host running on the profile, or none; never blocks a host that
    // starts meanwhile for longer than the moment of the look.
    static std::optional<CHolder> Holder(const std::string& strProfileDir, const char* pszFileName = kFileName);

private:
    COwnedFd m_fd;
};
