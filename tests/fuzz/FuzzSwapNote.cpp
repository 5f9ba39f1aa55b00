// Feeds arbitrary bytes to the reader of the note a half-done message swap
// leaves: it must never crash, and what it takes must be exactly the bytes
// its writer makes of the same note, so nothing else is ever acted on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "CMessageSwap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string_view bytes(reinterpret_cast<const char*>(pData), nSize);
    const auto rNote = CMessageSwap::Parse(bytes);
    if (rNote && CMessageSwap::Format(*rNote) != bytes) std::abort();
    return 0;
}
