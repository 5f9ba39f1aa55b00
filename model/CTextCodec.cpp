#include "CTextCodec.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

namespace {

iconv_t Handle(void* p) { return static_cast<iconv_t>(p); }

// No early exit, so the compiler can test many bytes at once.
bool IsAscii(std::string_view str) {
    unsigned char bits = 0;
    for (unsigned char c : str) bits |= c;
    return bits < 0x80;
}

// Length of the UTF-8 sequence starting at p, or 1 for a broken lead byte.
size_t Utf8SeqLen(const char* p, size_t nLeft) {
    unsigned char c = static_cast<unsigned char>(*p);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    return n > nLeft ? nLeft : n;
}

// Runs one iconv conversion; on a byte sequence it cannot convert it emits
// strReplacement and skips one unit of the input (skipLen).
std::string Convert(iconv_t h, std::string_view strIn, const std::string& strReplacement, bool bUtf8Input) {
    std::string strOut;
    iconv(h, nullptr, nullptr, nullptr, nullptr);
    char* pIn = const_cast<char*>(strIn.data());
    size_t nIn = strIn.size();
    char buf[1024];
    while (nIn > 0) {
        char* pOut = buf;
        size_t nOut = sizeof buf;
        size_t r = iconv(h, &pIn, &nIn, &pOut, &nOut);
        strOut.append(buf, static_cast<size_t>(pOut - buf));
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (truncated sequence): replace and move on.
        strOut += strReplacement;
        size_t nSkip = bUtf8Input ? Utf8SeqLen(pIn, nIn) : 1;
        pIn += nSkip;
        nIn -= nSkip;
        iconv(h, nullptr, nullptr, nullptr, nullptr);
    }
    char* pOut = buf;
    size_t nOut = sizeof buf;
    iconv(h, nullptr, nullptr, &pOut, &nOut);
    strOut.append(buf, static_cast<size_t>(pOut - buf));
    return strOut;
}

}  // namespace

std::string CTextCodec::DefaultCodePage() {
    if (const char* psz = std::getenv("QUILLORY_CODEPAGE"); psz && *psz) return psz;
    // The locale from the environment, without disturbing the caller's.
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return "ANSI_X3.4-1968";
    std::string str = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
    return str.empty() ? "ANSI_X3.4-1968" : str;
}

CTextCodec::CTextCodec(const std::string& strCodePage)
    : m_strCodePage(strCodePage.empty() ? DefaultCodePage() : strCodePage) {
    iconv_t hTo = iconv_open(m_strCodePage.c_str(), "UTF-8");
    if (hTo == reinterpret_cast<iconv_t>(-1))
        throw CUnknownCodePage("unknown code page \"" + m_strCodePage + "\"");
    iconv_t hFrom = iconv_open("UTF-8", m_strCodePage.c_str());
    if (hFrom == reinterpret_cast<iconv_t>(-1)) {
        iconv_close(hTo);
        throw CUnknownCodePage("unknown code page \"" + m_strCodePage + "\"");
    }
    m_hToFile = hTo;
    m_hFromFile = hFrom;
    // Most code pages keep ASCII as it is; those let plain text skip iconv.
    std::string strProbe;
    for (int c = 1; c < 0x80; ++c) strProbe += static_cast<char>(c);
    m_bAsciiCompatible = Convert(hTo, strProbe, "?", true) == strProbe;
}

CTextCodec::~CTextCodec() {
    iconv_close(Handle(m_hToFile));
    iconv_close(Handle(m_hFromFile));
}

bool CTextCodec::PassesThrough(std::string_view str) const { return m_bAsciiCompatible && IsAscii(str); }

std::string CTextCodec::FromUtf8(std::string_view strUtf8) const {
    if (PassesThrough(strUtf8)) return std::string(strUtf8);
    return Convert(Handle(m_hToFile), strUtf8, "?", true);
}

std::string CTextCodec::ToUtf8(std::string_view strBytes) const {
    if (PassesThrough(strBytes)) return std::string(strBytes);
    return Convert(Handle(m_hFromFile), strBytes, "\xEF\xBF\xBD", false);
}
