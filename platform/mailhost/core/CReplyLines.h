#pragma once
#include <cstddef>
#include <functional>
#include <string>

// Cuts a server's reply bytes, handed over by curl in arbitrary pieces,
// into whole lines without their CR LF.
class CReplyLines {
public:
    void Feed(const char* pData, size_t nSize, const std::function<void(const std::string&)>& fnLine);

private:
    std::string m_strPartial;  // bytes not yet ending in a newline
};
