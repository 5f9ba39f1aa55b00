#pragma once
#include <cstddef>
#include <memory>
#include <new>

// Allocator for arrays that may grow large (a task list of 100,000 tasks is
// some 40 MB). Blocks of kLargeBytes and more are mapped on their own and
// advised for 2 MiB pages, so that filling one costs a page fault per 2 MiB
// instead of one per 4 KiB; on a virtual machine each fault is dear, and a
// list of that size otherwise spends more time in faults than in reading.
// Smaller blocks come from the ordinary heap. Where the system has no such
// pages the advice is ignored and the block behaves like any other.
class CLargeBlocks {
public:
    static constexpr std::size_t kLargeBytes = std::size_t{4} << 20;
    // nBytes >= kLargeBytes: a block of at least nBytes, or std::bad_alloc.
    static void* Map(std::size_t nBytes);
    // The block from Map(nBytes), with the same nBytes.
    static void Unmap(void* p, std::size_t nBytes) noexcept;
};

template <class T>
class CLargeBlockAllocator {
public:
    using value_type = T;

    CLargeBlockAllocator() noexcept = default;
    template <class U>
    CLargeBlockAllocator(const CLargeBlockAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t nBytes = n * sizeof(T);
        if (nBytes >= CLargeBlocks::kLargeBytes) return static_cast<T*>(CLargeBlocks::Map(nBytes));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept {
        const std::size_t nBytes = n * sizeof(T);
        if (nBytes >= CLargeBlocks::kLargeBytes) CLargeBlocks::Unmap(p, nBytes);
        else std::allocator<T>().deallocate(p, n);
    }

    template <class U>
    bool operator==(const CLargeBlockAllocator<U>&) const noexcept {
        return true;
    }
};
