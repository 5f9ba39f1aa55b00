// The mail host: with its windows when a display is there (taking over from
// a headless host on the profile), or --headless: store, delivery and the
// add-ins without windows until SIGTERM or SIGINT;
// --register and --unregister record an add-in module in the registry or
// remove it; `account` and `status` do without windows what a person on a
// server needs.
#include <signal.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "CAccountCommand.h"
#include "CAddinLoader.h"
#include "CAutostartEntry.h"
#include "CHandOver.h"
#include "CHeadlessHost.h"
#include "CHostPaths.h"
#include "CMailStore.h"
#include "CProfileLock.h"
#include "CQuilloryTool.h"
#include "CRegistry.h"
#include "CStatusCommand.h"
#include "CWindowedHost.h"
#include "MailhostExitStatus.h"

namespace {

const char* const kUsage =
    "usage: mailhost                     the host with its windows (needs a display); a headless\n"
    "                                    host on the profile stands aside until they close\n"
    "       mailhost --tray              the same, its main window kept in the system tray (at login)\n"
    "       mailhost --headless          run without windows until SIGTERM or SIGINT\n"
    "       mailhost --register PATH     register the add-in module at PATH\n"
    "       mailhost --unregister PATH   remove the add-in module's registration\n"
    "       mailhost account show|set|test   look at, change or test the account\n"
    "       mailhost status              the running host, the Outbox, the tasks due soon\n"
    "Run 'mailhost account --help' or 'mailhost status --help' for their options.\n";

int Register(const char* pszPath, bool bRegister) {
    const CResult<> r = CAddinLoader::RegisterModule(pszPath, bRegister);
    if (!r) {
        std::fprintf(stderr, "mailhost: cannot %s %s: %s\n", bRegister ? "register" : "unregister", pszPath,
                     r.Problem().c_str());
        return kExitData;
    }
    std::printf("%s %s\n", bRegister ? "registered" : "unregistered", pszPath);
    return kExitOk;
}

void Log(const std::string& str) { std::cerr << "mailhost: " << str << '\n'; }

// The windowed host, with the registered add-ins connected once its
// application object and windows exist.
int RunWindowed(int argc, char** argv, bool bStartInTray) {
    // Declared first, released last: a headless host standing aside takes
    // the profile back only after the profile lock below is free.
    CProfileLock takeover;
    CProfileLock lock;
    // Blocked before the takeover lock says who we are, so that a second
    // start's request waits for the windows instead of ending this process.
    sigset_t setActivate;
    sigemptyset(&setActivate);
    sigaddset(&setActivate, CWindowedHost::kActivateSignal);
    pthread_sigmask(SIG_BLOCK, &setActivate, nullptr);
    // Started again (the desktop entry, say) while the windows sit in the tray.
    if (CHandOver::ActivateWindows(CMailStore::DefaultProfileDir(), CWindowedHost::kActivateSignal, Log)) return 0;
    if (CResult<> r =
            CHandOver::TakeOver(CMailStore::DefaultProfileDir(), takeover, lock, CHandOver::kStandAsideTimeout, Log);
        !r) {
        Log(r.Problem());
        return 1;  // as the headless host's: another host holds the profile
    }
    std::unique_ptr<CAddinLoader> pLoader;
    CWindowedHost::CHooks hooks;
    hooks.fnConnect = [&pLoader](CApplication& app) {
        pLoader = std::make_unique<CAddinLoader>(Log);
        CRegistryStore registry;
        if (CResult<> r = CRegistryFile().Load(registry); !r) Log("add-ins not loaded: " + r.Problem());
        else pLoader->LoadAll(registry, static_cast<_Application*>(&app));
    };
    hooks.fnDisconnect = [&pLoader](CApplication&) { pLoader.reset(); };
    hooks.fnActiveTasks = [] { return CQuilloryTool::ActiveTaskCount(); };
    hooks.fnServiceWaits = [] { return CHandOver::HeadlessWaits(CMailStore::DefaultProfileDir()); };
    hooks.bStartInTray = bStartInTray;
    return CWindowedHost::Run(argc, argv, {}, hooks);
}

}  // namespace

int main(int argc, char** argv) {
    if (CResult<> r = CHostPaths::MakeAbsolute(); !r) Log(r.Problem());
    if (argc >= 2 && std::strcmp(argv[1], "account") == 0)
        return CAccountCommand::Run({argv + 2, argv + argc}, std::cin, std::cout, std::cerr);
    if (argc >= 2 && std::strcmp(argv[1], "status") == 0)
        return CStatusCommand::Run({argv + 2, argv + argc}, std::cout, std::cerr);
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0)) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (argc == 3 && std::strcmp(argv[1], "--register") == 0) return Register(argv[2], true);
    if (argc == 3 && std::strcmp(argv[1], "--unregister") == 0) return Register(argv[2], false);
    if (argc == 2 && std::strcmp(argv[1], "--headless") == 0) {
        CHeadlessHost::BlockSignals();
        QCoreApplication app(argc, argv);
        return CHeadlessHost().Run();
    }
    const bool bTray = argc == 2 && std::strcmp(argv[1], CAutostartEntry::kTrayArgument) == 0;
    if ((argc == 1 || bTray) && CWindowedHost::DisplayAvailable()) return RunWindowed(1, argv, bTray);
    if (argc == 1 || bTray) {
        std::fprintf(stderr, "mailhost: no display for the windows; use --headless\n");
        return kExitData;
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
