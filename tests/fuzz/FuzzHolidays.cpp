// Feeds arbitrary bytes to the holiday calendar reader over a wide span and
// a narrow one inside it: it must never crash or hang, every day it names
// lies in the span asked for, and the narrow span's days are exactly the
// wide span's days that fall in it (a read never depends on how far it looks).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "CHolidayFile.h"
#include "TaskTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strText(reinterpret_cast<const char*>(pData), nSize);
    const int64_t nFrom = TaskTime::DayNumber(2026, 1, 1), nTo = TaskTime::DayNumber(2028, 12, 31);
    const auto rWide = CHolidayFile::FromText(strText, nFrom, nTo);
    if (!rWide) return 0;
    for (const int64_t nDay : *rWide)
        if (nDay < nFrom || nDay > nTo) std::abort();
    const int64_t nNarrowFrom = TaskTime::DayNumber(2027, 3, 1), nNarrowTo = TaskTime::DayNumber(2027, 12, 31);
    const auto rNarrow = CHolidayFile::FromText(strText, nNarrowFrom, nNarrowTo);
    if (!rNarrow) std::abort();
    std::set<int64_t> setExpected(rWide->lower_bound(nNarrowFrom), rWide->upper_bound(nNarrowTo));
    if (*rNarrow != setExpected) std::abort();
    return 0;
}
