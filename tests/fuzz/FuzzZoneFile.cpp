// Feeds arbitrary bytes to the zone file reader and, as text, to the reader
// of the rule at a zone file's end: neither may crash, and whatever they
// accept must give offsets a zone can have, at any instant.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "CPosixZoneRule.h"
#include "CZoneFile.h"

namespace {

constexpr time_t kInstants[] = {INT64_MIN, -5000000000, -1, 0, 1, 2147483647, 2147483648, 4102444800, INT64_MAX};

template <class Z>
void CheckOffsets(const Z& zone) {
    for (const time_t t : kInstants) {
        const long nOffset = zone.OffsetAt(t);
        if (nOffset < -26 * 3600 || nOffset > 26 * 3600) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string_view sv(reinterpret_cast<const char*>(pData), nSize);
    if (const auto zone = CZoneFile::Parse("Fuzz/Zone", sv)) CheckOffsets(*zone);
    if (const auto rule = CPosixZoneRule::Parse(sv)) CheckOffsets(*rule);
    return 0;
}
