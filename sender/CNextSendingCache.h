#pragma once
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "CTaskItem.h"

// The absolute next sending time of every task of a list, so that a tick in
// which nothing is due costs one comparison instead of a conversion per
// task. Entries are refreshed when the list's generation moves (a task was
// changed, added, removed or moved) and all are recomputed when the local
// time zone changes.
class CNextSendingCache {
public:
    static constexpr time_t kNever = std::numeric_limits<time_t>::max();

    // Brings the cache up to date with the list; cheap when nothing changed.
    void Sync(const CTaskList& list);
    // After the caller wrote task back at index i: when nobody else changed
    // the list since the last Sync, only that entry is refreshed.
    void Update(const CTaskList& list, int i, unsigned long long nGenerationBefore);
    // The earliest minute at which any task may be due (kNever when none).
    time_t Earliest() const { return m_tEarliest; }
    // Recomputes Earliest (after updates only ever lowered it).
    void Rescan();
    // The minute from which task i may be due; kNever for an inactive or
    // completed task and for one whose times cannot be converted.
    time_t Key(int i) const { return m_vecKey[static_cast<size_t>(i)]; }
    bool IsCurrent(const CTaskList& list) const;
    // The zone fingerprint: TZ and the identity of the system's zone file.
    static std::string ZoneFingerprint();

private:
    struct CInputs {
        TaskDateTime dtNext;
        int32_t bActive = 0;
        bool operator==(const CInputs&) const = default;
    };
    static CInputs InputsOf(const CTaskItem& task);
    static time_t KeyOf(const CTaskItem& task, int i);
    void Refresh(const CTaskList& list, bool bAll);

    std::vector<time_t> m_vecKey;
    std::vector<CInputs> m_vecInputs;
    time_t m_tEarliest = kNever;
    unsigned long long m_nGeneration = 0;
    const void* m_pList = nullptr;
    bool m_bValid = false;
    std::string m_strZone;
};
