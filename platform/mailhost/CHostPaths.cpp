#include "CHostPaths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

CResult<> CHostPaths::MakeAbsolute() {
    std::string strProblems;
    for (const char* pszName : {"MAILHOST_PROFILE", "MAILHOST_ACCOUNTS", "MAILHOST_REGISTRY"}) {
        const char* pszValue = std::getenv(pszName);
        if (!pszValue || !*pszValue || *pszValue == '/') continue;
        std::error_code ec;
        const std::filesystem::path path = std::filesystem::absolute(pszValue, ec);
        if (ec || ::setenv(pszName, path.lexically_normal().c_str(), 1) != 0)
            strProblems += std::string(strProblems.empty() ? "" : "; ") + pszName + ": cannot be made absolute";
    }
    if (!strProblems.empty()) return CProblem(strProblems);
    return {};
}
