#include "CPrintable.h"

#include <cstdio>

#include "Utf8.h"

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
        } else if (const size_t n = Utf8SequenceAt(strText, i); n == 0) {
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
