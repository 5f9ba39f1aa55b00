#include "CNextSendingCache.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "CZoneRules.h"
#include "TaskTime.h"

std::string CNextSendingCache::ZoneFingerprint() {
    const char* psz = std::getenv("TZ");
    std::string str = psz ? std::string("TZ=") + psz : "TZ unset";
    // The zone file is replaced (not rewritten) when the system's zone is
    // changed, so its identity and time tell a change.
    struct stat st {};
    if (::stat("/etc/localtime", &st) == 0)
        str += "|" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
               std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + ":" +
               std::to_string(st.st_size);
    return str;
}

time_t CNextSendingCache::KeyOf(const CTaskItem& task, int i) {
    if (task.m_bActive == 0 || !task.m_dtNextSending.IsSet()) return kNever;
    const auto rNext = TaskTime::ToAbsolute(task.m_dtNextSending);
    if (rNext) return *rNext;
    // Reported once per change of the task, not on every tick.
    std::cerr << "Quillory: task " << i + 1 << " \"" << task.m_strTaskName
              << "\" is not scheduled: its next sending time is invalid (" << rNext.Problem() << ")\n";
    return kNever;
}

time_t CNextSendingCache::Key(CTaskList::Id nId) const {
    const auto it = m_mapEntries.find(nId);
    return it == m_mapEntries.end() ? std::numeric_limits<time_t>::min() : it->second.tKey;
}

bool CNextSendingCache::IsCurrent(const CTaskList& list) const {
    return m_bValid && m_pList == &list && m_nGeneration == list.Generation() &&
           m_mapEntries.size() == static_cast<size_t>(list.GetSize());
}

void CNextSendingCache::Sync(const CTaskList& list) {
    std::string strZone = ZoneFingerprint();
    if (strZone != m_strZone) {
        // A new zone moves every absolute time; the kept offsets go too.
        if (m_bValid) CZoneRules::Current().Relearn();
        m_strZone = std::move(strZone);
        return Rebuild(list);
    }
    if (!m_bValid || m_pList != &list) return Rebuild(list);
    if (!IsCurrent(list) && !Follow(list)) Rebuild(list);
}

void CNextSendingCache::Update(const CTaskList& list) {
    if (!m_bValid || m_pList != &list || IsCurrent(list)) return;
    // Not followed: the rest of the tick looks at every task, the next Sync
    // at the whole list.
    if (!Follow(list)) m_bValid = false;
}

void CNextSendingCache::Rebuild(const CTaskList& list) {
    const int n = list.GetSize();
    m_bValid = false;  // the heap is made once, at the end
    ++m_nRebuilds;
    m_mapEntries.clear();
    m_mapEntries.reserve(static_cast<size_t>(n));
    m_vecHeap.clear();
    for (int i = 0; i < n; ++i) Take(list.GetAt(i), i, list.IdAt(i));
    MakeHeap();
    // Asked only now, so that the journal starts at this generation.
    (void)list.ChangesSince(list.Generation());  // only turns the journal on
    m_nGeneration = list.Generation();
    m_pList = &list;
    m_bValid = true;
}

bool CNextSendingCache::Follow(const CTaskList& list) {
    const auto changes = list.ChangesSince(m_nGeneration);
    if (!changes) return false;
    // Replayed in order, so that each touched task's place is known at the
    // end without searching the list for it.
    m_vecTouched.clear();
    const auto touched = [this](CTaskList::Id nId) {
        return std::find_if(m_vecTouched.begin(), m_vecTouched.end(), [nId](const auto& t) { return t.first == nId; });
    };
    for (const CTaskList::CChange& c : *changes) {
        switch (c.eKind) {
            case CTaskList::EChange::Added: m_vecTouched.emplace_back(c.nId, c.nIndex); break;
            case CTaskList::EChange::Replaced:
                if (touched(c.nId) == m_vecTouched.end()) m_vecTouched.emplace_back(c.nId, c.nIndex);
                break;
            case CTaskList::EChange::Removed: {
                bool bKnown = false;
                for (auto& [nId, nIndex] : m_vecTouched) {
                    if (nId == c.nId) bKnown = true, nIndex = -1;
                    else if (nIndex > c.nIndex) --nIndex;
                }
                if (!bKnown) m_vecTouched.emplace_back(c.nId, -1);
                break;
            }
            case CTaskList::EChange::Swapped:
                for (auto& t : m_vecTouched) {
                    if (t.second == c.nIndex) t.second = c.nIndex + 1;
                    else if (t.second == c.nIndex + 1) t.second = c.nIndex;
                }
                break;
        }
    }
    for (const auto& [nId, nIndex] : m_vecTouched) {
        if (nIndex < 0) {
            m_mapEntries.erase(nId);  // its heap items go when they reach the top
            continue;
        }
        if (nIndex >= list.GetSize() || list.IdAt(nIndex) != nId) return false;  // the replay went wrong
        Take(list.GetAt(nIndex), nIndex, nId);
    }
    if (m_mapEntries.size() != static_cast<size_t>(list.GetSize())) return false;
    m_nGeneration = list.Generation();
    Settle();
    return true;
}

void CNextSendingCache::Take(const CTaskItem& task, int i, CTaskList::Id nId) {
    auto [it, bNew] = m_mapEntries.try_emplace(nId);
    CEntry& e = it->second;
    // An edit that leaves the next time and the active flag alone (a new
    // subject, another template) leaves the key alone, and is not reported again.
    if (!bNew && e.bActive == task.m_bActive && e.dtNext == task.m_dtNextSending) return;
    e.bActive = task.m_bActive;
    e.dtNext = task.m_dtNextSending;
    e.tKey = KeyOf(task, i);
    Push(e.tKey, nId);
}

void CNextSendingCache::Push(time_t tKey, CTaskList::Id nId) {
    if (tKey == kNever) return;
    m_vecHeap.emplace_back(tKey, nId);
    if (m_bValid) std::push_heap(m_vecHeap.begin(), m_vecHeap.end(), std::greater<>());
}

void CNextSendingCache::MakeHeap() { std::make_heap(m_vecHeap.begin(), m_vecHeap.end(), std::greater<>()); }

void CNextSendingCache::Settle() {
    if (m_vecHeap.size() > 2 * m_mapEntries.size() + 1024) {
        m_vecHeap.clear();
        for (const auto& [nId, e] : m_mapEntries)
            if (e.tKey != kNever) m_vecHeap.emplace_back(e.tKey, nId);
        return MakeHeap();
    }
    while (!m_vecHeap.empty()) {
        const auto& [tKey, nId] = m_vecHeap.front();
        const auto it = m_mapEntries.find(nId);
        if (it != m_mapEntries.end() && it->second.tKey == tKey) return;
        std::pop_heap(m_vecHeap.begin(), m_vecHeap.end(), std::greater<>());
        m_vecHeap.pop_back();
    }
}
