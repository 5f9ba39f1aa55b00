#pragma once
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
template <class T>
class CArray {
public:
    using Id = std::uint64_t;
    static constexpr Id kNoId = 0;

    int GetSize() const { return static_cast<int>(m_vecItems.size()); }
    bool IsEmpty() const { return m_vecItems.empty(); }

    T& GetAt(int i) {
        ++m_nGeneration;
        return m_vecItems[Check(i)];
    }
    const T& GetAt(int i) const { return m_vecItems[Check(i)]; }
    T& operator[](int i) { return GetAt(i); }
    const T& operator[](int i) const { return GetAt(i); }

    int Add(const T& item) {
        ++m_nGeneration;
        m_vecItems.push_back(item);
        m_vecIds.push_back(NewId());
        return GetSize() - 1;
    }
    int Add(T&& item) {
        ++m_nGeneration;
        m_vecItems.push_back(std::move(item));
        m_vecIds.push_back(NewId());
        return GetSize() - 1;
    }
    void SetAt(int i, const T& item) {
        m_vecItems[Check(i)] = item;
        ++m_nGeneration;
    }
    void RemoveAt(int i) {
        const auto nOffset = static_cast<std::ptrdiff_t>(Check(i));
        m_vecItems.erase(m_vecItems.begin() + nOffset);
        m_vecIds.erase(m_vecIds.begin() + nOffset);
        ++m_nGeneration;
    }
    void RemoveAll() {
        m_vecItems.clear();
        m_vecIds.clear();
        ++m_nGeneration;
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

private:
    static Id NewId() {
        static std::atomic<Id> s_nLast{kNoId};
        return ++s_nLast;
    }
    void Swap(int i, int j) {
        std::swap(m_vecItems[static_cast<std::size_t>(i)], m_vecItems[static_cast<std::size_t>(j)]);
        std::swap(m_vecIds[static_cast<std::size_t>(i)], m_vecIds[static_cast<std::size_t>(j)]);
        ++m_nGeneration;
    }
    std::size_t Check(int i) const {
        if (i < 0 || i >= GetSize())
            throw CTaskError(CTaskError::kE_BOUNDS,
                             "index " + std::to_string(i) + " out of range (size " + std::to_string(GetSize()) + ")");
        return static_cast<std::size_t>(i);
    }
    std::vector<T> m_vecItems;
    std::vector<Id> m_vecIds;
    unsigned long long m_nGeneration = 0;
};
