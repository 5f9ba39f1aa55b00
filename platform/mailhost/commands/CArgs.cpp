#include "CArgs.h"

bool CArgs::Flag(const std::string& strName) {
    bool bFound = false;
    for (size_t i = 0; i < m_vecArgs.size(); ++i)
        if (!m_vecTaken[i] && m_vecArgs[i] == strName) m_vecTaken[i] = bFound = true;
    return bFound;
}

std::optional<std::string> CArgs::Value(const std::string& strName) {
    std::optional<std::string> value;
    for (size_t i = 0; i < m_vecArgs.size(); ++i) {
        if (m_vecTaken[i]) continue;
        if (m_vecArgs[i].rfind(strName + "=", 0) == 0) {
            m_vecTaken[i] = true;
            value = m_vecArgs[i].substr(strName.size() + 1);
        } else if (m_vecArgs[i] == strName) {
            m_vecTaken[i] = true;
            if (i + 1 == m_vecArgs.size()) {
                if (!m_strProblem) m_strProblem = strName + " needs a value";
                continue;
            }
            m_vecTaken[i + 1] = true;
            value = m_vecArgs[++i];
        }
    }
    return value;
}

std::optional<std::string> CArgs::Problem() const {
    if (m_strProblem) return m_strProblem;
    for (size_t i = 0; i < m_vecArgs.size(); ++i)
        if (!m_vecTaken[i])
            return (m_vecArgs[i].rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + m_vecArgs[i];
    return std::nullopt;
}
