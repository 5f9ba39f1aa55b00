#pragma once
#include <stdlib.h>

#include <optional>
#include <string>

// One environment variable set (or, with nullptr, unset) for a scope and
// put back as it was at its end.
class CEnvScope {
public:
    CEnvScope(const char* pszName, const char* pszValue) : m_strName(pszName) {
        if (const char* psz = getenv(pszName)) m_oldValue = psz;
        if (pszValue) setenv(pszName, pszValue, 1);
        else unsetenv(pszName);
    }
    ~CEnvScope() {
        if (m_oldValue) setenv(m_strName.c_str(), m_oldValue->c_str(), 1);
        else unsetenv(m_strName.c_str());
    }
    CEnvScope(const CEnvScope&) = delete;
    CEnvScope& operator=(const CEnvScope&) = delete;

private:
    std::string m_strName;
    std::optional<std::string> m_oldValue;
};
