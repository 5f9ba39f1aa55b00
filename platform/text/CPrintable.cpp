#include "CPrintable.h"

#include <cstdio>

std::string CPrintable::Escape(const std::string& strText) {
    std::string strOut;
    strOut.reserve(strText.size());
    for (size_t i = 0; i < strText.size(); ++i) {
        const auto c = static_cast<unsigned char>(strText[i]);
        char szHex[8];
        if (c == '\n') {
            strOut += "\\n";
        } else if (c == '\t') {
            strOut += "\\t";
        } else if (c == '\r') {
            strOut += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(szHex, sizeof szHex, "\\x%02x", c);
            strOut += szHex;
        } else if (c == 0xc2 && i + 1 < strText.size() && static_cast<unsigned char>(strText[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(strText[i + 1]) <= 0x9f) {
            // U+0080..U+009F in UTF-8: C1 controls, which some terminals obey.
            std::snprintf(szHex, sizeof szHex, "\\u%04x", static_cast<unsigned char>(strText[++i]));
            strOut += szHex;
        } else {
            strOut += static_cast<char>(c);
        }
    }
    return strOut;
}
