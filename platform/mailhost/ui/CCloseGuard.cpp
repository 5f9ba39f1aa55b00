#include "CCloseGuard.h"

#include <string>

#include "CHostMessage.h"

std::string CCloseGuard::Question(std::optional<int> nActiveTasks) {
    std::string strWait;
    if (!nActiveTasks) strWait = "Scheduled messages will not be sent until the host runs again.";
    else if (*nActiveTasks == 1) strWait = "1 active task will not be sent until the host runs again.";
    else if (*nActiveTasks > 1)
        strWait = std::to_string(*nActiveTasks) + " active tasks will not be sent until the host runs again.";
    else return {};
    return "Quitting stops scheduled sending. " + strWait + "\n\nQuit anyway?";
}

CCloseGuard::EAction CCloseGuard::Decide(QWidget* pParent, bool bQuit) const {
    if (!bQuit && m_env.fnTrayAvailable && m_env.fnTrayAvailable()) {
        if (m_env.fnHidden) m_env.fnHidden();
        return EAction::Hide;
    }
    if (m_env.fnCarriedOn && m_env.fnCarriedOn()) return EAction::Quit;
    const std::string strQuestion = Question(m_env.fnActiveTasks ? m_env.fnActiveTasks() : std::optional<int>());
    if (strQuestion.empty() || CHostMessage::Confirm(pParent, strQuestion)) return EAction::Quit;
    return EAction::Stay;
}
