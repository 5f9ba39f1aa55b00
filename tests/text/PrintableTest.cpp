// What a terminal would obey is escaped, every escape reads back one way, and readable text passes as it is;
// which bytes are well-formed UTF-8.
#include <cstdint>
#include <string_view>

#include <gtest/gtest.h>

#include "CPrintable.h"
#include "Utf8.h"

TEST(PrintableTest, ControlsAreEscapedUnambiguouslyAndTextPassesAsItIs) {
    const struct {
        const char* pszName;
        std::string strIn, strOut;
    } rows[] = {
        {"plain", "Report 09:00", "Report 09:00"},
        {"line breaks and tab", "a\nb\r\tc", "a\\nb\\r\\tc"},
        {"escape sequence", "x\x1b[31m\x07", "x\\x1b[31m\\x07"},
        {"DEL", "a\x7f", "a\\x7f"},
        {"backslash doubled", "a\\nb", "a\\\\nb"},
        {"C1 as UTF-8", "a\302\233b", "a\\u009bb"},
        {"lone C1 byte", "a\x9b[2Jb", "a\\x9b[2Jb"},
        {"accented UTF-8", "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa7", "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa7"},
        {"no-break space", "a\302\240b", "a\302\240b"},
        {"single-byte accent passes", "Caf\xe9", "Caf\xe9"},
        {"cut sequence", "a\xe2\x82", "a\xe2\\x82"},
    };
    for (const auto& row : rows) EXPECT_EQ(CPrintable::Escape(row.strIn), row.strOut) << row.pszName;
}

// Against the rules themselves: the sequence a lead byte announces, its code
// point decoded from the bits, then refused when overlong, a surrogate or past
// U+10FFFF. Every first and second byte, with the later bytes at the edges of
// their ranges, and every cut of each.
TEST(Utf8Test, WellFormedSequencesAreExactlyThoseTheRulesAllow) {
    const auto reference = [](const unsigned char* b, size_t nSize) -> size_t {
        if (b[0] < 0x80) return 1;
        const size_t n = (b[0] & 0xe0) == 0xc0 ? 2 : (b[0] & 0xf0) == 0xe0 ? 3 : (b[0] & 0xf8) == 0xf0 ? 4 : 0;
        if (n == 0 || n > nSize) return 0;
        uint32_t nCode = b[0] & (0x7f >> n);
        for (size_t k = 1; k < n; ++k) {
            if ((b[k] & 0xc0) != 0x80) return 0;
            nCode = nCode << 6 | (b[k] & 0x3f);
        }
        const uint32_t nLeast = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        return nCode < nLeast || (nCode >= 0xd800 && nCode <= 0xdfff) || nCode > 0x10ffff ? 0 : n;
    };
    const unsigned char kEdges[] = {0x00, 0x7f, 0x80, 0x8f, 0x90, 0x9f, 0xa0, 0xbf, 0xc0, 0xff};
    size_t nWellFormed = 0;
    for (unsigned n0 = 0; n0 < 256; ++n0)
        for (unsigned n1 = 0; n1 < 256; ++n1)
            for (const unsigned char c2 : kEdges)
                for (const unsigned char c3 : kEdges) {
                    const unsigned char b[] = {static_cast<unsigned char>(n0), static_cast<unsigned char>(n1), c2, c3};
                    for (size_t nSize = 1; nSize <= 4; ++nSize) {
                        const std::string_view sv(reinterpret_cast<const char*>(b), nSize);
                        const size_t nExpected = reference(b, nSize);
                        ASSERT_EQ(Utf8SequenceAt(sv, 0), nExpected)
                            << std::hex << n0 << ' ' << n1 << ' ' << +c2 << ' ' << +c3 << " of " << nSize;
                        nWellFormed += nExpected == 4;
                    }
                }
    EXPECT_GT(nWellFormed, 0u);  // the edges reach four-byte sequences too
    EXPECT_TRUE(IsUtf8("Zo\xc3\xab \xe2\x82\xac \xf0\x9f\x93\xa7"));
    for (const char* psz : {"Caf\xe9", "a\xe2\x82", "\xed\xa0\x80", "\xc0\xaf", "\xf4\x90\x80\x80", "ok\x80"})
        EXPECT_FALSE(IsUtf8(psz)) << CPrintable::Escape(psz);
}
