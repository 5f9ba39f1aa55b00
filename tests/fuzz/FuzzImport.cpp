// Feeds arbitrary bytes to `quillory import`'s reading of its standard
// input: no input may throw out of it or crash it, and a list it accepts
// must go out again as JSON and read back to the same list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CJsonText.h"
#include "CTaskJson.h"
#include "CTextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const CTextCodec codec = CTextCodec::Open("CP1252").Value();
    const auto rJson = CJsonText::Parse(std::string(reinterpret_cast<const char*>(pData), nSize));
    if (!rJson) return 0;
    CTaskList list;
    CProblems problems;
    CTaskJson::FromJson(*rJson, list, problems, codec);
    if (!problems.Empty()) return 0;
    CTaskList again;
    CTaskJson::FromJson(CTaskJson::ToJson(list), again, problems, codec);
    if (!problems.Empty() || !(again == list)) __builtin_trap();
    return 0;
}
