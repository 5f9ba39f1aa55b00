// Feeds arbitrary bytes to the task list reader: it must never crash, read
// out of bounds or allocate by a declared size it has not seen bytes for.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "CTaskListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const CTextCodec codec = CTextCodec::Open("CP1252").Value();
    std::vector<uint8_t> vecBytes(pData, pData + nSize);
    CTaskList list;
    CTaskListFile::CLoadCounts counts;
    (void)CTaskListFile::LoadFromBytes(vecBytes, list, codec,
                                       &counts);  // most inputs are damaged; the counts must agree
    if (counts.nLoaded != list.GetSize()) __builtin_trap();
    // Whatever was read must write back without failing.
    if (list.GetSize() > 0) (void)CTaskListFile::Encode(list, codec);
    return 0;
}
