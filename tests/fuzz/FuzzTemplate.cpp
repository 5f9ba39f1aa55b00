// Feeds arbitrary bytes to the message reader that loads templates: every
// input is a message or a problem, never a crash; a message it reads must
// compose again without crashing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CMimeReader.h"
#include "CMimeWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strBytes(reinterpret_cast<const char*>(pData), nSize);
    auto rMessage = CMimeReader::Parse(strBytes);
    if (!rMessage) return 0;
    (void)CMimeWriter::Compose(*rMessage, {.bDate = false});  // a refusal is fine; a crash is not
    return 0;
}
