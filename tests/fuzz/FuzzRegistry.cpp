// Feeds arbitrary bytes to the registry file reader: it must never crash,
// however deep a key is nested, and what it accepts must write back to text
// that reads to the same tree.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "CRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    CRegistryStore store;
    if (!store.FromText(std::string_view(reinterpret_cast<const char*>(pData), nSize))) return 0;
    CRegistryStore again;
    if (!again.FromText(store.ToText()) || !(again == store)) __builtin_trap();
    return 0;
}
