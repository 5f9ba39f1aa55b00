// Feeds arbitrary bytes to the one reader of typed dates and times: it must
// never crash, and what it accepts must read back as typed and convert.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "TaskTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string str(reinterpret_cast<const char*>(pData), nSize);
    if (const auto r = TaskTime::ParseDateTime(str); r) {
        if (TaskTime::Format(*r) != str) std::abort();
        if (!TaskTime::ToAbsolute(r->nYear, r->nMonth, r->nDay, r->nHour, r->nMinute, 0)) std::abort();
    }
    if (const auto r = TaskTime::ParseDate(str);
        r && TaskTime::Format({r->nYear, r->nMonth, r->nDay, 0, 0, 0, 0}).substr(0, 10) != str)
        std::abort();
    return 0;
}
