#include "CPrintable.h"

#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at strText[i] (lead byte >= 0x80), or 0.
size_t SequenceAt(const std::string& strText, size_t i) {
    const auto c = static_cast<unsigned char>(strText[i]);
    const size_t n = c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3 : c >= 0xf0 && c <= 0xf4 ? 4 : 0;
    if (n == 0 || i + n > strText.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(strText[i + k]) & 0xc0) != 0x80) return 0;
    return n;
}

}  // namespace

std::string CPrintable::Escape(const std::string& strText) {
    std::string strOut;
    strOut.reserve(strText.size());
    char szHex[8];
    for (size_t i = 0; i < strText.size(); ++i) {
        const auto c = static_cast<unsigned char>(strText[i]);
        if (c == '\n') {
            strOut += "\\n";
        } else if (c == '\t') {
            strOut += "\\t";
        } else if (c == '\r') {
            strOut += "\\r";
        } else if (c == '\\') {
            strOut += "\\\\";  // so that an escape in the text never passes for one of ours
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(szHex, sizeof szHex, "\\x%02x", c);
            strOut += szHex;
        } else if (c < 0x80) {
            strOut += static_cast<char>(c);
        } else if (const size_t n = SequenceAt(strText, i); n == 0) {
            // Not UTF-8: a lone byte in the C1 range is a control on 8-bit terminals.
            if (c <= 0x9f) {
                std::snprintf(szHex, sizeof szHex, "\\x%02x", c);
                strOut += szHex;
            } else {
                strOut += static_cast<char>(c);
            }
        } else if (c == 0xc2 && static_cast<unsigned char>(strText[i + 1]) <= 0x9f) {
            // U+0080..U+009F in UTF-8: C1 controls, which some terminals obey.
            std::snprintf(szHex, sizeof szHex, "\\u%04x", static_cast<unsigned char>(strText[++i]));
            strOut += szHex;
        } else {
            strOut.append(strText, i, n);
            i += n - 1;
        }
    }
    return strOut;
}
