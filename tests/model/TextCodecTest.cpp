// The conversions between UTF-8 and the task list's code page.
#include <cstdlib>

#include <gtest/gtest.h>

#include "CTextCodec.h"
#include "Contains.h"

// Each direction on its own: what a code page lacks is one '?' per character, bytes it cannot decode (broken UTF-8 in
// memory, a lone lead byte) one replacement character each; Shift_JIS writes the backslash as 0x5C but reads 0x5C as
// the yen sign; EBCDIC converts plain text too.
TEST(TextCodec, EachWayConvertsAsTheCodePageSays) {
    enum EWay { kFrom, kTo, kBoth };  // from UTF-8, to UTF-8, or both
    const struct {
        const char* pszCodePage;
        EWay eWay;
        std::string strUtf8, strBytes;
    } rows[] = {
        // clang-format off
        {"CP1252", kBoth, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC", "Gr\xFC\xDF" "e \x80"},
        {"CP1252", kFrom, "a\xD0\x96\xD0\x96" "b", "a??b"},
        {"CP1252", kFrom, "x\xFFy", "x?y"},
        {"CP1252", kTo, "C:\\a~", "C:\\a~"},
        {"UTF-8", kTo, "a\xEF\xBF\xBD" "b", "a\xFF" "b"},
        {"CP932", kBoth, "\xE6\x97\xA5\xE6\x9C\xAC", "\x93\xFA\x96\x7B"},
        {"CP932", kTo, "ok\xEF\xBF\xBD", "ok\x93"},
        {"SJIS", kFrom, "C:\\a", "C:\\a"},
        {"SJIS", kTo, "C:\xC2\xA5" "a", "C:\\a"},
        {"SJIS", kTo, "C:\xC2\xA5\xE6\x97\xA5", "C:\\\x93\xFA"},
        {"SJIS", kTo, std::string("a\0b", 3), std::string("a\0b", 3)},
        {"IBM037", kBoth, "A", "\xC1"},
        {"IBM037", kTo, "\xC2\xA0", "A"},  // 0x41 is the no-break space there
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.pszCodePage) + " " + row.strUtf8);
        const CTextCodec codec = CTextCodec::Open(row.pszCodePage).Value();
        if (row.eWay != kTo) {
            EXPECT_EQ(codec.FromUtf8(row.strUtf8), row.strBytes);
        }
        if (row.eWay != kFrom) {
            EXPECT_EQ(codec.ToUtf8(row.strBytes), row.strUtf8);
        }
    }
}

// An unknown code page is named; the environment chooses the default.
TEST(TextCodec, TheCodePageComesFromTheCallerOrTheEnvironment) {
    const auto rCodec = CTextCodec::Open("NO-SUCH-CODEPAGE");
    ASSERT_FALSE(rCodec.Ok());
    EXPECT_TRUE(Contains(rCodec.Problem(), "NO-SUCH-CODEPAGE"));
    setenv("QUILLORY_CODEPAGE", "CP1251", 1);
    const CTextCodec codec = CTextCodec::Open().Value();
    unsetenv("QUILLORY_CODEPAGE");
    EXPECT_EQ(codec.CodePage(), "CP1251");
    EXPECT_EQ(codec.FromUtf8("\xD0\x96"), "\xC6");
}

// Plain text skips the conversion; one byte with the high bit anywhere in a text of any length must still be converted,
// whether the text is returned or decoded into a string that held something before.
TEST(TextCodec, OneAccentedByteAnywhereIsConverted) {
    const CTextCodec codec = CTextCodec::Open("CP1252").Value();
    for (size_t n = 1; n <= 40; ++n)
        for (size_t nAt = 0; nAt < n; ++nAt) {
            std::string strFile(n, 'a'), strExpected;
            strFile[nAt] = '\xE9';  // e acute in CP1252
            for (char c : strFile) strExpected += c == '\xE9' ? std::string("\xC3\xA9") : std::string(1, c);
            EXPECT_EQ(codec.ToUtf8(strFile), strExpected) << n << " " << nAt;
            std::string strInto = nAt % 2 ? "held before, long enough for the heap" : "short";
            codec.ToUtf8(strFile, strInto);
            EXPECT_EQ(strInto, strExpected) << n << " " << nAt;
        }
    for (size_t n = 0; n <= 40; ++n) {
        const std::string strPlain(n, 'z');
        std::string strInto = n % 2 ? "held before, long enough for the heap" : "short";
        codec.ToUtf8(strPlain, strInto);
        EXPECT_EQ(strInto, strPlain) << n;
    }
}
