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

std::string CHostPaths::Absolute(const std::string& strPath) {
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(strPath, ec);
    return ec ? strPath : path.lexically_normal().string();
}

bool CHostPaths::SamePath(const std::string& strA, const std::string& strB) {
    std::error_code ecA, ecB;
    const std::filesystem::path a = std::filesystem::weakly_canonical(Absolute(strA), ecA);
    const std::filesystem::path b = std::filesystem::weakly_canonical(Absolute(strB), ecB);
    if (ecA || ecB) return Absolute(strA) == Absolute(strB);
    return a == b;
}
