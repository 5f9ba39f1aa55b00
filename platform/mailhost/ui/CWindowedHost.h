#pragma once
#include <signal.h>

#include <functional>
#include <optional>

#include "CApplication.h"
#include "CMailHost.h"

// The host with its windows: a Qt application over the mail host and its
// object model, until the user quits or SIGTERM/SIGINT arrives. With a
// system tray, closing the main window leaves the host running there;
// kActivateSignal brings the main window to the front (a second start).
class CWindowedHost {
public:
    static constexpr int kActivateSignal = SIGUSR2;
    struct CHooks {
        // Once the application object and the windows exist (add-ins are
        // connected here) ...
        std::function<void(CApplication&)> fnConnect;
        // ... and before the application object goes (add-ins disconnect).
        std::function<void(CApplication&)> fnDisconnect;
        // The add-in's active tasks, for the question before quitting
        // stops them; none when unknown.
        std::function<std::optional<int>()> fnActiveTasks;
        // Whether a headless host (the service) stands aside for these
        // windows and carries on sending when they quit.
        std::function<bool()> fnServiceWaits;
        // Started at login: the main window stays in the tray (when there is one).
        bool bStartInTray = false;
    };
    // A display the windows can go to (X11, Wayland, or a Qt platform named
    // in QT_QPA_PLATFORM).
    static bool DisplayAvailable();
    static int Run(int argc, char** argv, const CHostOptions& options, const CHooks& hooks);
};
