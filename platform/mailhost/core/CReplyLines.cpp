#include "CReplyLines.h"

void CReplyLines::Feed(const char* pData, size_t nSize, const std::function<void(const std::string&)>& fnLine) {
    m_strPartial.append(pData, nSize);
    size_t nNl;
    while ((nNl = m_strPartial.find('\n')) != std::string::npos) {
        std::string strLine = m_strPartial.substr(0, nNl);
        if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
        m_strPartial.erase(0, nNl + 1);
        fnLine(strLine);
    }
}
