// Feeds arbitrary bytes to the accounts.ini reader: every input ends in an
// account or a list of problems with their lines, never a crash or a hang
// (a PasswordFile it names may be anything, a FIFO too).
#include <cstddef>
#include <cstdint>
#include <string>

#include "CAccount.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strText(reinterpret_cast<const char*>(pData), nSize);
    const CAccountsFile::CReport report = CAccountsFile::Parse(strText, "/nonexistent/fuzz/accounts.ini");
    (void)report;  // any outcome is fine; only a crash or a hang is a fault
    return 0;
}
