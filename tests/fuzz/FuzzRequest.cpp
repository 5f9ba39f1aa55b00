// Feeds arbitrary bytes as one request line of the host's socket: reading
// it and applying a change to a small list must never throw, crash or
// touch a file (the templates' folder does not exist), and every answer
// must go out as JSON.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CHostProtocol.h"
#include "CJsonText.h"
#include "CTaskJson.h"
#include "CTaskListEdit.h"
#include "CTextCodec.h"

namespace {

CTaskList SmallList() {
    CTaskList list;
    for (const char* psz : {"a", "b", "c"}) {
        CTaskItem t;
        t.m_bActive = 1;
        t.m_strTaskName = psz;
        t.m_strTemplateFile = std::string("/nonexistent-quillory-fuzz/") + psz + ".oft";
        t.m_nRecurrence = 1;
        t.m_nMinuteInterval = 30;
        t.m_dtStart = {2027, 1, 4, 2, 9, 0, 0};
        t.m_dtNextSending = {2027, 1, 11, 2, 9, 0, 1};
        list.Add(t);
    }
    return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const CTextCodec codec = CTextCodec::Open("UTF-8").Value();
    static const CTaskList s_list = SmallList();
    const auto rRequest = CJsonText::Parse(std::string(reinterpret_cast<const char*>(pData), nSize));
    if (!rRequest) return 0;
    CTaskList list = s_list;
    CTaskListEdit::CContext ctx;
    ctx.strDataDir = "/nonexistent-quillory-fuzz/";
    ctx.tNow = 1798000000;  // 2026-12
    ctx.pCodec = &codec;
    const auto rDone = CTaskListEdit::Apply(list, *rRequest, ctx);
    if (rDone) (void)CJsonText::Dump(CTaskJson::ToJson(rDone->task));
    else (void)CJsonText::Dump(nlohmann::ordered_json{{CHostProtocol::kProblems, rDone.Problem()}});
    return 0;
}
