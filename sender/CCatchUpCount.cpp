#include "CCatchUpCount.h"

#include <algorithm>

void CCatchUpCount::Note(CTaskList::Id nId, const std::string& strTaskName, bool bSent) {
    if (!m_bCounting) return;
    m_bNotedThisTick = true;
    auto it = std::find(m_vecIds.begin(), m_vecIds.end(), nId);
    if (it == m_vecIds.end()) {
        m_vecIds.push_back(nId);
        m_vecLines.push_back({strTaskName, 0, 0});
        it = m_vecIds.end() - 1;
    }
    CLine& line = m_vecLines[static_cast<size_t>(it - m_vecIds.begin())];
    line.strTaskName = strTaskName;  // renamed meanwhile: the name it has now
    ++(bSent ? line.nSentLate : line.nSkipped);
}

bool CCatchUpCount::EndTick() {
    if (!m_bCounting) return false;
    if (m_bNotedThisTick) {
        m_bNotedThisTick = false;
        return false;
    }
    m_bCounting = false;
    return !m_vecLines.empty();
}
