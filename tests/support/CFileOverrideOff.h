#pragma once
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include <linux/capability.h>

// For a scope, file modes bind this thread even as root: the capabilities
// that pass over them (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH) leave its
// effective set, so a file of mode 0000 answers EACCES, as it does to any
// other user. Put back at the end. Ok() is false where they cannot be
// dropped; a child started meanwhile gets them back at exec, so a
// subprocess needs `setpriv` instead (see kSetprivPrefix).
class CFileOverrideOff {
public:
    // A command prefix that runs a program as this user without those capabilities.
    static constexpr const char* kSetprivPrefix =
        "setpriv --bounding-set -dac_override,-dac_read_search --inh-caps -dac_override,-dac_read_search ";

    CFileOverrideOff() {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (::syscall(SYS_capget, &m_header, m_saved) != 0) return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, m_saved, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_bOk = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~CFileOverrideOff() {
        if (m_bOk) (void)::syscall(SYS_capset, &m_header, m_saved);  // a test process: nothing to report to
    }
    CFileOverrideOff(const CFileOverrideOff&) = delete;
    CFileOverrideOff& operator=(const CFileOverrideOff&) = delete;

    bool Ok() const { return m_bOk; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_bOk = false;
};
