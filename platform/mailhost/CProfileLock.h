#pragma once
#include <string>

#include "CResult.h"

// One host per profile: an exclusive lock on "mailhost.lock" in the profile
// folder, held for the life of the object. The kernel drops it when the
// process ends in any way, so a crashed host never blocks the next one.
class CProfileLock {
public:
    static constexpr const char* kFileName = "mailhost.lock";

    CProfileLock() = default;
    ~CProfileLock();
    CProfileLock(const CProfileLock&) = delete;
    CProfileLock& operator=(const CProfileLock&) = delete;

    // Done when the lock is held, else a message for the user.
    CResult<> Acquire(const std::string& strProfileDir);

private:
    int m_fd = -1;
};
