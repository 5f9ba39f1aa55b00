#include "CNextSendingCache.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
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

CNextSendingCache::CInputs CNextSendingCache::InputsOf(const CTaskItem& task) {
    return {task.m_dtNextSending, task.m_bActive};
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

bool CNextSendingCache::IsCurrent(const CTaskList& list) const {
    return m_bValid && m_pList == &list && m_nGeneration == list.Generation() &&
           m_vecKey.size() == static_cast<size_t>(list.GetSize());
}

void CNextSendingCache::Sync(const CTaskList& list) {
    std::string strZone = ZoneFingerprint();
    if (strZone != m_strZone) {
        // A new zone moves every absolute time; the kept offsets go too.
        if (m_bValid) CZoneRules::Current().Relearn();
        m_strZone = std::move(strZone);
        return Refresh(list, true);
    }
    if (IsCurrent(list)) return;
    Refresh(list, m_pList != &list);
}

void CNextSendingCache::Refresh(const CTaskList& list, bool bAll) {
    const size_t n = static_cast<size_t>(list.GetSize());
    const size_t nKnown = bAll || !m_bValid ? 0 : std::min(n, m_vecInputs.size());
    m_vecKey.resize(n, kNever);
    m_vecInputs.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const CTaskItem& task = list.GetAt(static_cast<int>(i));
        CInputs in = InputsOf(task);
        if (i >= nKnown || !(in == m_vecInputs[i])) {
            m_vecKey[i] = KeyOf(task, static_cast<int>(i));
            m_vecInputs[i] = in;
        }
    }
    m_nGeneration = list.Generation();
    m_pList = &list;
    m_bValid = true;
    Rescan();
}

void CNextSendingCache::Rescan() {
    m_tEarliest = m_vecKey.empty() ? kNever : *std::min_element(m_vecKey.begin(), m_vecKey.end());
}

void CNextSendingCache::Update(const CTaskList& list, int i, unsigned long long nGenerationBefore) {
    if (!m_bValid || m_pList != &list || nGenerationBefore != m_nGeneration ||
        m_vecKey.size() != static_cast<size_t>(list.GetSize()))
        return;  // someone else changed the list meanwhile: the next Sync looks at all of it
    const CTaskItem& task = list.GetAt(i);
    const size_t u = static_cast<size_t>(i);
    m_vecInputs[u] = InputsOf(task);
    m_vecKey[u] = KeyOf(task, i);
    m_tEarliest = std::min(m_tEarliest, m_vecKey[u]);
    m_nGeneration = list.Generation();
}
