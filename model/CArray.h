#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "CTaskError.h"

// Ordered, index-addressed array. Every index is checked: a bad one raises
// CTaskError instead of touching memory it does not own.
// Every change, and every handing out of a writable element, moves the
// generation on, so that a cache over the array can tell when to look again.
template <class T>
class CArray {
public:
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
        return GetSize() - 1;
    }
    int Add(T&& item) {
        ++m_nGeneration;
        m_vecItems.push_back(std::move(item));
        return GetSize() - 1;
    }
    void SetAt(int i, const T& item) {
        m_vecItems[Check(i)] = item;
        ++m_nGeneration;
    }
    void RemoveAt(int i) {
        m_vecItems.erase(m_vecItems.begin() + static_cast<std::ptrdiff_t>(Check(i)));
        ++m_nGeneration;
    }
    void RemoveAll() {
        m_vecItems.clear();
        ++m_nGeneration;
    }
    void Reserve(std::size_t n) { m_vecItems.reserve(n); }

    // Swap with the neighbour; the elements themselves are unchanged.
    void MoveUp(int i) {
        Check(i);
        if (i == 0) throw CTaskError(CTaskError::kE_BOUNDS, "cannot move the first element up");
        std::swap(m_vecItems[i], m_vecItems[i - 1]);
        ++m_nGeneration;
    }
    void MoveDown(int i) {
        Check(i);
        if (i + 1 >= GetSize()) throw CTaskError(CTaskError::kE_BOUNDS, "cannot move the last element down");
        std::swap(m_vecItems[i], m_vecItems[i + 1]);
        ++m_nGeneration;
    }

    auto begin() const { return m_vecItems.begin(); }
    auto end() const { return m_vecItems.end(); }
    // Equal elements in the same order; the generations play no part.
    bool operator==(const CArray& o) const { return m_vecItems == o.m_vecItems; }
    unsigned long long Generation() const { return m_nGeneration; }

private:
    std::size_t Check(int i) const {
        if (i < 0 || i >= GetSize())
            throw CTaskError(CTaskError::kE_BOUNDS,
                             "index " + std::to_string(i) + " out of range (size " + std::to_string(GetSize()) + ")");
        return static_cast<std::size_t>(i);
    }
    std::vector<T> m_vecItems;
    unsigned long long m_nGeneration = 0;
};
