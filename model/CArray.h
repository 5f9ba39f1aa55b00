#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "CLargeBlockAllocator.h"
#include "CTaskError.h"

// Ordered, index-addressed array. Every index is checked: a bad one raises
// CTaskError instead of touching memory it does not own. A bad index is the
// caller's mistake, never a state of the data, so it is no result to pass up.
// Every change, and every handing out of a writable element, moves the
// generation on, so that a cache over the array can tell when to look again.
//
// Every element also has an identity that follows it while the array
// changes around it: whoever holds on to an element across a nested event
// loop keeps its id, not its index, and asks IndexOf afterwards. Add gives
// a fresh id (never handed out again in this process), SetAt keeps the
// slot's id, MoveUp/MoveDown move ids with their elements, RemoveAt drops
// the id. Example: [a#1, b#2], MoveDown(0) -> [b#2, a#1]; IndexOf(1) == 1;
// RemoveAt(1) -> IndexOf(1) == -1.
//
// Once somebody asks for it (ChangesSince), the array also keeps a short
// journal of what each generation changed, so that a cache over a long
// array can follow one edit without looking at every element again. The
// journal is bounded: whoever falls behind it is told so and looks again.
template <class T>
class CArray {
public:
    using Id = std::uint64_t;
    static constexpr Id kNoId = 0;
    // The journal holds at least this many of the latest changes.
    static constexpr std::size_t kJournalKept = 512;

    enum class EChange : std::uint8_t {
        Added,     // nId now stands at nIndex, the last place
        Replaced,  // the element at nIndex (nId) was set or handed out writable
        Removed,   // nId left nIndex; those after it moved one place up
        Swapped,   // the elements at nIndex and nIndex + 1 changed places
    };
    struct CChange {
        Id nId;
        int nIndex;
        EChange eKind;
    };

    CArray() = default;
    // A copy has its own history: it starts without a journal.
    CArray(const CArray& o) : m_vecItems(o.m_vecItems), m_vecIds(o.m_vecIds), m_nGeneration(o.m_nGeneration) {}
    CArray(CArray&& o) noexcept
        : m_vecItems(std::move(o.m_vecItems)), m_vecIds(std::move(o.m_vecIds)), m_nGeneration(o.m_nGeneration) {
        o.Reset();
    }
    // The generation moves past both arrays' own, so that a cache that
    // knew either never takes the new contents for what it saw.
    CArray& operator=(const CArray& o) {
        if (this == &o) return *this;
        m_vecItems = o.m_vecItems;
        m_vecIds = o.m_vecIds;
        m_nGeneration = std::max(m_nGeneration, o.m_nGeneration);
        Reset();
        return *this;
    }
    CArray& operator=(CArray&& o) noexcept {
        if (this == &o) return *this;
        m_vecItems = std::move(o.m_vecItems);
        m_vecIds = std::move(o.m_vecIds);
        m_nGeneration = std::max(m_nGeneration, o.m_nGeneration);
        Reset();
        o.Reset();
        return *this;
    }
    ~CArray() = default;

    int GetSize() const { return static_cast<int>(m_vecItems.size()); }
    bool IsEmpty() const { return m_vecItems.empty(); }

    T& GetAt(int i) {
        const std::size_t u = Check(i);
        Changed({m_vecIds[u], i, EChange::Replaced});
        return m_vecItems[u];
    }
    const T& GetAt(int i) const { return m_vecItems[Check(i)]; }
    T& operator[](int i) { return GetAt(i); }
    const T& operator[](int i) const { return GetAt(i); }

    int Add(const T& item) {
        m_vecItems.push_back(item);
        return Added();
    }
    int Add(T&& item) {
        m_vecItems.push_back(std::move(item));
        return Added();
    }
    void SetAt(int i, const T& item) {
        const std::size_t u = Check(i);
        m_vecItems[u] = item;
        Changed({m_vecIds[u], i, EChange::Replaced});
    }
    void RemoveAt(int i) {
        const auto nOffset = static_cast<std::ptrdiff_t>(Check(i));
        const Id nId = m_vecIds[static_cast<std::size_t>(nOffset)];
        m_vecItems.erase(m_vecItems.begin() + nOffset);
        m_vecIds.erase(m_vecIds.begin() + nOffset);
        Changed({nId, i, EChange::Removed});
    }
    void RemoveAll() {
        m_vecItems.clear();
        m_vecIds.clear();
        Reset();
    }
    void Reserve(std::size_t n) {
        m_vecItems.reserve(n);
        m_vecIds.reserve(n);
    }

    // Swap with the neighbour; the elements themselves are unchanged.
    void MoveUp(int i) {
        Check(i);
        if (i == 0) throw CTaskError(CTaskError::kE_BOUNDS, "cannot move the first element up");
        Swap(i, i - 1);
    }
    void MoveDown(int i) {
        Check(i);
        if (i + 1 >= GetSize()) throw CTaskError(CTaskError::kE_BOUNDS, "cannot move the last element down");
        Swap(i, i + 1);
    }

    // The identity of element i (checked like every index).
    Id IdAt(int i) const { return m_vecIds[Check(i)]; }
    // Where the element with this identity stands now; -1 when it is gone.
    int IndexOf(Id nId) const {
        if (nId == kNoId) return -1;
        const auto it = std::find(m_vecIds.begin(), m_vecIds.end(), nId);
        return it == m_vecIds.end() ? -1 : static_cast<int>(it - m_vecIds.begin());
    }

    auto begin() const { return m_vecItems.begin(); }
    auto end() const { return m_vecItems.end(); }
    // Equal elements in the same order; identities and generations play no part.
    bool operator==(const CArray& o) const { return m_vecItems == o.m_vecItems; }
    unsigned long long Generation() const { return m_nGeneration; }

    // The changes after generation nSince, oldest first; none when the
    // journal does not reach back that far (or was not kept until now:
    // from this call on it is).
    std::optional<std::span<const CChange>> ChangesSince(unsigned long long nSince) const {
        if (!m_bJournal) {
            m_bJournal = true;
            m_nJournalBase = m_nGeneration;
            return std::nullopt;
        }
        if (nSince < m_nJournalBase || nSince > m_nGeneration) return std::nullopt;
        return std::span<const CChange>(m_vecJournal).subspan(static_cast<std::size_t>(nSince - m_nJournalBase));
    }

private:
    static Id NewId() {
        static std::atomic<Id> s_nLast{kNoId};
        return ++s_nLast;
    }
    void Swap(int i, int j) {
        std::swap(m_vecItems[static_cast<std::size_t>(i)], m_vecItems[static_cast<std::size_t>(j)]);
        std::swap(m_vecIds[static_cast<std::size_t>(i)], m_vecIds[static_cast<std::size_t>(j)]);
        Changed({kNoId, std::min(i, j), EChange::Swapped});
    }
    int Added() {
        m_vecIds.push_back(NewId());
        Changed({m_vecIds.back(), GetSize() - 1, EChange::Added});
        return GetSize() - 1;
    }
    // Every change moves the generation on by one and, while a journal is
    // kept, leaves one entry: entry k tells generation m_nJournalBase + k + 1.
    void Changed(const CChange& change) {
        ++m_nGeneration;
        if (!m_bJournal) return;
        if (m_vecJournal.size() >= 2 * kJournalKept) {
            // Dropped in halves, so that a change costs O(1) on average.
            const auto nDrop = static_cast<std::ptrdiff_t>(kJournalKept);
            m_vecJournal.erase(m_vecJournal.begin(), m_vecJournal.begin() + nDrop);
            m_nJournalBase += kJournalKept;
        }
        m_vecJournal.push_back(change);
    }
    // Anything may have changed: whoever knew an earlier generation looks
    // at all of it again.
    void Reset() noexcept {
        ++m_nGeneration;
        m_vecJournal.clear();
        m_nJournalBase = m_nGeneration;
    }
    std::size_t Check(int i) const {
        if (i < 0 || i >= GetSize())
            throw CTaskError(CTaskError::kE_BOUNDS,
                             "index " + std::to_string(i) + " out of range (size " + std::to_string(GetSize()) + ")");
        return static_cast<std::size_t>(i);
    }
    // A long list is one large block (CLargeBlockAllocator.h says why).
    std::vector<T, CLargeBlockAllocator<T>> m_vecItems;
    std::vector<Id> m_vecIds;
    unsigned long long m_nGeneration = 0;
    // The journal is bookkeeping for readers, not part of the value: a
    // reader turns it on.
    mutable bool m_bJournal = false;
    mutable unsigned long long m_nJournalBase = 0;
    std::vector<CChange> m_vecJournal;
};
