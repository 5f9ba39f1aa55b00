#pragma once
#include <chrono>
#include <functional>
#include <string>

#include "CProfileLock.h"
#include "CResult.h"

// How the windows and a headless host share one profile without ever
// running together. The windows hold a second lock, "mailhost.takeover",
// for their whole life and take it before the profile lock. A headless
// host that holds the profile is asked (SIGUSR1) to stand aside: it
// disconnects its add-ins (they save), stops delivery, releases the profile
// and holds "mailhost.standby" instead, so `mailhost status` can show it.
// It takes the profile back only once the takeover lock is free, that is
// once the windows are gone, so it never grabs the profile in between.
//
// e.g. headless running -> windows start: takeover taken, SIGUSR1, profile
// free after the add-ins saved, windows take it; windows quit: profile and
// takeover free, the headless host reconnects and sends what came due
// meanwhile by the overdue rules.
namespace CHandOver {
constexpr const char* kTakeoverFile = "mailhost.takeover";
constexpr const char* kStandbyFile = "mailhost.standby";
constexpr auto kStandAsideTimeout = std::chrono::seconds(30);

// The windows' start: takes the takeover lock and then the profile lock,
// asking a headless host that holds the profile to stand aside and waiting
// for it up to timeout. The problem says who is in the way.
CResult<> TakeOver(const std::string& strProfileDir, CProfileLock& takeover, CProfileLock& profile,
                   std::chrono::milliseconds timeout, const std::function<void(const std::string&)>& fnLog);

// A second start of the windows: when windows are open on the profile,
// sends them nSignal (which they read as "bring your main window to the
// front") and says so through fnLog; false when there are none to ask (this
// start goes on). The windows block that signal before they take the
// takeover lock, so it never ends one that is still starting.
bool ActivateWindows(const std::string& strProfileDir, int nSignal,
                     const std::function<void(const std::string&)>& fnLog);

// Whether a headless host stands aside for the windows (and so takes the
// profile back when they quit).
bool HeadlessWaits(const std::string& strProfileDir);

// Whether windows hold (or are about to take) the profile: a headless host
// then waits instead of taking it.
bool WindowsHold(const std::string& strProfileDir);
}  // namespace CHandOver
