#include "CTextCodec.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

iconv_t Handle(void* p) { return static_cast<iconv_t>(p); }

// Eight bytes at a time and no early exit: most texts are short and plain.
// The last word overlaps the one before it instead of a byte loop for the
// tail; a text under eight bytes is read as two overlapping halves.
bool IsAscii(std::string_view str) {
    constexpr uint64_t kHighBits = 0x8080808080808080ULL;
    const char* p = str.data();
    const size_t n = str.size();
    if (n >= 8) {
        uint64_t nBits = 0;
        uint64_t w;
        for (size_t i = 0; i + 8 < n; i += 8) {
            std::memcpy(&w, p + i, 8);
            nBits |= w;
        }
        std::memcpy(&w, p + n - 8, 8);
        return ((nBits | w) & kHighBits) == 0;
    }
    if (n >= 4) {
        uint32_t nHead, nTail;
        std::memcpy(&nHead, p, 4);
        std::memcpy(&nTail, p + n - 4, 4);
        return ((nHead | nTail) & static_cast<uint32_t>(kHighBits)) == 0;
    }
    unsigned nBits = 0;
    for (size_t i = 0; i < n; ++i) nBits |= static_cast<unsigned char>(p[i]);
    return (nBits & 0x80) == 0;
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

CResult<CTextCodec> CTextCodec::Open(const std::string& strCodePage) {
    std::string strName = strCodePage.empty() ? DefaultCodePage() : strCodePage;
    iconv_t hTo = iconv_open(strName.c_str(), "UTF-8");
    if (hTo == reinterpret_cast<iconv_t>(-1)) return CProblem("unknown code page \"" + strName + "\"");
    iconv_t hFrom = iconv_open("UTF-8", strName.c_str());
    if (hFrom == reinterpret_cast<iconv_t>(-1)) {
        iconv_close(hTo);
        return CProblem("unknown code page \"" + strName + "\"");
    }
    return CTextCodec(std::move(strName), hTo, hFrom);
}

CTextCodec::CTextCodec(std::string strCodePage, void* hToFile, void* hFromFile)
    : m_strCodePage(std::move(strCodePage)), m_hToFile(hToFile), m_hFromFile(hFromFile) {
    // Most code pages keep ASCII as it is; those let plain text skip iconv.
    // Each direction is asked on its own: Shift_JIS writes the backslash as 0x5C but
    // reads 0x5C as the yen sign.
    std::string strProbe;
    for (int c = 0; c < 0x80; ++c) strProbe += static_cast<char>(c);
    m_bAsciiToFile = Convert(Handle(m_hToFile), strProbe, "?", true) == strProbe;
    m_bAsciiFromFile = Convert(Handle(m_hFromFile), strProbe, "\xEF\xBF\xBD", false) == strProbe;
}

CTextCodec::CTextCodec(CTextCodec&& other) noexcept
    : m_strCodePage(std::move(other.m_strCodePage)),
      m_bAsciiToFile(other.m_bAsciiToFile),
      m_bAsciiFromFile(other.m_bAsciiFromFile),
      m_hToFile(std::exchange(other.m_hToFile, nullptr)),
      m_hFromFile(std::exchange(other.m_hFromFile, nullptr)) {}

CTextCodec::~CTextCodec() {
    // A codec moved from holds no handles.
    if (m_hToFile) iconv_close(Handle(m_hToFile));
    if (m_hFromFile) iconv_close(Handle(m_hFromFile));
}

bool CTextCodec::PassesThrough(std::string_view str) const { return m_bAsciiToFile && IsAscii(str); }

std::string CTextCodec::FromUtf8(std::string_view strUtf8) const {
    if (PassesThrough(strUtf8)) return std::string(strUtf8);
    return Convert(Handle(m_hToFile), strUtf8, "?", true);
}

std::string CTextCodec::ToUtf8(std::string_view strBytes) const {
    std::string str;
    ToUtf8(strBytes, str);
    return str;
}

void CTextCodec::ToUtf8(std::string_view strBytes, std::string& strOut) const {
    if (!m_bAsciiFromFile || !IsAscii(strBytes)) strOut = Convert(Handle(m_hFromFile), strBytes, "\xEF\xBF\xBD", false);
    else if (strOut.capacity() >= strBytes.size()) strOut.assign(strBytes);
    else strOut = std::string(strBytes);  // assign would grow an empty string to twice the short size
}
