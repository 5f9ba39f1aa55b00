#pragma once
#include <functional>
#include <optional>
#include <string>

class QWidget;

// What closing the main window does. Scheduled mail goes out only while the
// host runs, so with a system tray the close box only hides the window and
// the tray keeps the host running; without one, and for Exit and the tray's
// Quit, the user is asked first when active tasks would wait, e.g. "3 active
// tasks will not be sent until the host runs again." (not when a headless
// host carries on the sending).
class CCloseGuard {
public:
    enum class EAction {
        Quit,  // the host stops
        Hide,  // the window goes, the host keeps running in the tray
        Stay,  // the user kept the host running with its window
    };
    struct CEnv {
        std::function<bool()> fnTrayAvailable;
        // Active tasks with a sending time; none when that cannot be known.
        std::function<std::optional<int>()> fnActiveTasks;
        // The window went to the tray.
        std::function<void()> fnHidden;
        // A headless host (the service) waits to carry on sending once this
        // one quits: then quitting stops nothing and is not asked about.
        std::function<bool()> fnCarriedOn;
    };
    explicit CCloseGuard(CEnv env) : m_env(std::move(env)) {}

    // bQuit: Exit or Quit was chosen rather than the close box.
    EAction Decide(QWidget* pParent, bool bQuit) const;
    // The question, or "" when nothing would wait.
    static std::string Question(std::optional<int> nActiveTasks);

private:
    CEnv m_env;
};
