#include "CSendingHold.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<CTaskList::Id> g_vecHeld;  // one per open sheet; all on the UI thread

}  // namespace

CSendingHold::CSendingHold(CTaskList::Id nId) : m_nId(nId) {
    if (m_nId != CTaskList::kNoId) g_vecHeld.push_back(m_nId);
}

CSendingHold::~CSendingHold() {
    if (m_nId == CTaskList::kNoId) return;
    if (const auto it = std::find(g_vecHeld.begin(), g_vecHeld.end(), m_nId); it != g_vecHeld.end())
        g_vecHeld.erase(it);
}

bool CSendingHold::IsHeld(CTaskList::Id nId) {
    return nId != CTaskList::kNoId && std::find(g_vecHeld.begin(), g_vecHeld.end(), nId) != g_vecHeld.end();
}
