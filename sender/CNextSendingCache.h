#pragma once
#include <ctime>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "CTaskItem.h"

// The absolute next sending time of every task of a list, so that a tick in
// which nothing is due costs one comparison instead of a conversion per
// task. The times are kept by task identity in a heap ordered by time: an
// edit of one task (added, replaced, removed, moved, activated) is followed
// through the list's change journal at O(log n); the whole list is looked
// at again only when the journal no longer reaches back, when the cache is
// pointed at another list and when the local time zone changes.
class CNextSendingCache {
public:
    static constexpr time_t kNever = std::numeric_limits<time_t>::max();

    // Brings the cache up to date with the list; cheap when nothing changed.
    void Sync(const CTaskList& list);
    // After the caller changed the list it was synced with: follows the
    // changes (without looking at the zone again).
    void Update(const CTaskList& list);
    // The earliest minute at which any task may be due (kNever when none).
    time_t Earliest() const { return m_vecHeap.empty() ? kNever : m_vecHeap.front().first; }
    // The minute from which the task may be due; kNever for an inactive or
    // completed task and for one whose times cannot be converted. A task
    // the cache does not know may be due at any time.
    time_t Key(CTaskList::Id nId) const;
    bool IsCurrent(const CTaskList& list) const;
    // How often the whole list was looked at; an edit followed through the
    // journal leaves it alone.
    int Rebuilds() const { return m_nRebuilds; }
    // The zone fingerprint: TZ and the identity of the system's zone file.
    static std::string ZoneFingerprint();

private:
    struct CEntry {
        time_t tKey = kNever;
        TaskDateTime dtNext;  // what the key was computed from
        int32_t bActive = 0;
    };
    using CHeapItem = std::pair<time_t, CTaskList::Id>;

    static time_t KeyOf(const CTaskItem& task, int i);
    void Rebuild(const CTaskList& list);
    // Applies the list's journal; false when it cannot (the caller rebuilds).
    bool Follow(const CTaskList& list);
    // Takes task i (with identity nId) in, when its inputs changed.
    void Take(const CTaskItem& task, int i, CTaskList::Id nId);
    void Push(time_t tKey, CTaskList::Id nId);
    // Drops outdated heap items from the top, and all of them when they
    // outnumber the live ones.
    void Settle();
    void MakeHeap();

    std::unordered_map<CTaskList::Id, CEntry> m_mapEntries;
    // A min-heap of (key, id); an item whose key is no longer its task's is
    // outdated and dropped when it reaches the top.
    std::vector<CHeapItem> m_vecHeap;
    // Where the tasks touched by the journal stand while it is replayed.
    std::vector<std::pair<CTaskList::Id, int>> m_vecTouched;
    unsigned long long m_nGeneration = 0;
    const void* m_pList = nullptr;
    bool m_bValid = false;
    int m_nRebuilds = 0;
    std::string m_strZone;
};
