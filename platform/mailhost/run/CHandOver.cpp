#include "CHandOver.h"

#include <signal.h>

#include <thread>

namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);

}  // namespace

CResult<> CHandOver::TakeOver(const std::string& strProfileDir, CProfileLock& takeover, CProfileLock& profile,
                              std::chrono::milliseconds timeout, const std::function<void(const std::string&)>& fnLog) {
    if (CResult<> r = takeover.Acquire(strProfileDir, "windows", kTakeoverFile); !r) {
        const auto holder = CProfileLock::Holder(strProfileDir, kTakeoverFile);
        if (!holder) return r;
        return CProblem("the host's windows are already open (pid " + std::to_string(holder->pid) +
                        ") on the profile " + strProfileDir);
    }
    const auto tEnd = std::chrono::steady_clock::now() + timeout;
    pid_t pidAsked = 0;
    for (;;) {
        CResult<> r = profile.Acquire(strProfileDir, "windows");
        if (r) return {};
        const auto holder = CProfileLock::Holder(strProfileDir);
        if (holder && holder->strMode != "headless") return r;
        if (holder && holder->pid > 0 && holder->pid != pidAsked) {
            fnLog("asking the headless host (pid " + std::to_string(holder->pid) + ") to stand aside");
            if (::kill(holder->pid, SIGUSR1) != 0) return r;
            pidAsked = holder->pid;
        }
        if (std::chrono::steady_clock::now() > tEnd) {
            takeover.Release();
            return CProblem("the headless host (pid " + std::to_string(pidAsked) + ") did not stand aside within " +
                            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(timeout).count()) +
                            " seconds; stop it (systemctl --user stop mailhost-headless) and start again");
        }
        std::this_thread::sleep_for(kPoll);
    }
}

bool CHandOver::ActivateWindows(const std::string& strProfileDir, int nSignal,
                                const std::function<void(const std::string&)>& fnLog) {
    const auto holder = CProfileLock::Holder(strProfileDir, kTakeoverFile);
    if (!holder || holder->strMode != "windows" || holder->pid <= 0 || ::kill(holder->pid, nSignal) != 0) return false;
    fnLog("the host's windows are already open (pid " + std::to_string(holder->pid) +
          "); their main window was brought to the front");
    return true;
}

bool CHandOver::HeadlessWaits(const std::string& strProfileDir) {
    return CProfileLock::Holder(strProfileDir, kStandbyFile).has_value();
}

bool CHandOver::WindowsHold(const std::string& strProfileDir) {
    return CProfileLock::Holder(strProfileDir, kTakeoverFile).has_value();
}
