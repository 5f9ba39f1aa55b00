#include "CTaskTemplate.h"

#include <filesystem>

namespace fs = std::filesystem;

CResult<> CTaskTemplate::Write(_MailItem* pMail, const std::string& strPath) {
    if (!pMail) return CProblem("there is no message to save");
    const std::string strTemp = strPath + ".new";
    std::error_code ec;
    fs::remove(strTemp, ec);
    (void)TakeErrorDescription();  // only the clearing matters: an older reason is not this one
    if (FAILED(pMail->SaveAs(strTemp, CVariant(olTemplate))) || !fs::is_regular_file(strTemp, ec)) {
        const std::string strWhy = TakeErrorDescription();
        fs::remove(strTemp, ec);
        return CProblem(strWhy.empty() ? "the host could not write " + strTemp : strWhy);
    }
    if (fs::rename(strTemp, strPath, ec); ec) {
        fs::remove(strTemp, ec);
        return CProblem("cannot replace " + strPath + ": " + ec.message());
    }
    return {};
}
