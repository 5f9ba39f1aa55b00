// Feeds arbitrary text to the reader of placeholders, as a subject, an HTML
// body and an attachment entry would: it must never crash or hang, filling
// must refuse exactly what checking refuses, and a text it fills without
// braces of its own must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "CPlaceholders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string str(reinterpret_cast<const char*>(pData), nSize);
    // The first bytes choose the occurrence, so that dates near the ends of the years are reached too.
    const int nYear = nSize > 0 ? 1900 + pData[0] * 31 % 8100 : 2027;
    const CPlaceholders::CValues values{{nYear, nSize > 1 ? 1 + pData[1] % 12 : 1, nSize > 2 ? 1 + pData[2] % 28 : 1, 0,
                                         nSize > 3 ? pData[3] % 24 : 0, 0, 0},
                                        7,
                                        "{name}"};
    CProblems problems;
    CPlaceholders::Check(str, "text", problems);
    const auto rFilled = CPlaceholders::Fill(str, values);
    // Filling refuses what checking refuses, and may only add dates out of range.
    if (!problems.Empty() && rFilled) std::abort();
    if (!CPlaceholders::Has(str) && (!rFilled || *rFilled != str)) std::abort();
    (void)CPlaceholders::FillHtml(str, values);  // only that it ends
    return 0;
}
