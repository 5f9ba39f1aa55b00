#include "CRangeNotes.h"

#include <algorithm>

void CRangeNotes::Clamp(int32_t& n, int nMin, int nMax, const std::string& strWhat) {
    const int32_t nClamped = std::clamp<int32_t>(n, nMin, nMax);
    if (nClamped == n) return;
    m_vecNotes.push_back(strWhat + ": " + std::to_string(n) + " is shown as " + std::to_string(nClamped));
    n = nClamped;
}

void CRangeNotes::Index(int32_t& n, int nCount, const std::string& strWhat) {
    const int32_t nOld = n;
    n = std::clamp<int32_t>(n, 0, nCount - 1);
    if (n != nOld)
        m_vecNotes.push_back(strWhat + ": item " + std::to_string(nOld) + " does not exist, item " + std::to_string(n) +
                             " is shown");
}

std::string CRangeNotes::Message() const {
    std::string str =
        "Some settings of this task were out of range and are shown adjusted. "
        "They are stored so only when you schedule the task.\n";
    for (const auto& strNote : m_vecNotes) str += "\n" + strNote;
    return str;
}
