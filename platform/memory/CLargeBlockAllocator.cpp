#include "CLargeBlockAllocator.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t n) { return (n + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

void* CLargeBlocks::Map(std::size_t nBytes) {
    // Mapped one huge page larger, then trimmed to a 2 MiB boundary: only
    // aligned stretches can be served by huge pages.
    const std::size_t nKeep = RoundUp(nBytes);
    const std::size_t nMapped = nKeep + kHugePage;
    void* p = ::mmap(nullptr, nMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    const auto nBase = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t nAligned = (nBase + kHugePage - 1) & ~static_cast<std::uintptr_t>(kHugePage - 1);
    if (nAligned > nBase) ::munmap(p, nAligned - nBase);
    if (const std::size_t nTail = nBase + nMapped - (nAligned + nKeep); nTail > 0)
        ::munmap(reinterpret_cast<void*>(nAligned + nKeep), nTail);
    (void)::madvise(reinterpret_cast<void*>(nAligned), nKeep, MADV_HUGEPAGE);  // advice: without it, small pages
    return reinterpret_cast<void*>(nAligned);
}

void CLargeBlocks::Unmap(void* p, std::size_t nBytes) noexcept { ::munmap(p, RoundUp(nBytes)); }
