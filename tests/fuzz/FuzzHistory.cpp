// Feeds arbitrary bytes to the task history reader: any text that is not a
// valid history must come back as a problem, never an exception or a crash,
// and whatever it accepts must be written and read back to the same records.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CTaskHistoryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strText(reinterpret_cast<const char*>(pData), nSize);
    const auto rHistory = CTaskHistoryFile::FromJsonText(strText);
    if (!rHistory) return 0;
    const std::string strWritten = CTaskHistoryFile::ToJsonText(*rHistory);
    const auto rAgain = CTaskHistoryFile::FromJsonText(strWritten);
    if (!rAgain || CTaskHistoryFile::ToJsonText(*rAgain) != strWritten) __builtin_trap();
    return 0;
}
