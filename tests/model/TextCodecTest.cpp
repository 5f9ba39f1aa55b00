#include <cstdlib>

#include <gtest/gtest.h>

#include "CTextCodec.h"

TEST(TextCodec, Cp1252RoundTripAndReplacement) {
    const CTextCodec codec = CTextCodec::Open("CP1252").Value();
    EXPECT_EQ(codec.FromUtf8("Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x82\xAC"),
              "Gr\xFC\xDF"
              "e \x80");
    EXPECT_EQ(codec.ToUtf8("Gr\xFC\xDF"
                           "e \x80"),
              "Gr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC");
    // Cyrillic is not in CP1252: one '?' per character.
    EXPECT_EQ(codec.FromUtf8("a\xD0\x96\xD0\x96"
                             "b"),
              "a??b");
    // Broken UTF-8 in memory does not stop the conversion either.
    EXPECT_EQ(codec.FromUtf8("x\xFFy"), "x?y");
}

TEST(TextCodec, UndecodableBytesBecomeReplacementCharacters) {
    const CTextCodec codec = CTextCodec::Open("UTF-8").Value();
    EXPECT_EQ(codec.ToUtf8("a\xFF"
                           "b"),
              "a\xEF\xBF\xBD"
              "b");
    const CTextCodec sjis = CTextCodec::Open("CP932").Value();
    // Shift-JIS "日本" round-trips; a lone lead byte at the end does not decode.
    EXPECT_EQ(sjis.ToUtf8("\x93\xFA\x96\x7B"), "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(sjis.FromUtf8("\xE6\x97\xA5\xE6\x9C\xAC"), "\x93\xFA\x96\x7B");
    EXPECT_EQ(sjis.ToUtf8("ok\x93"), "ok\xEF\xBF\xBD");
}

TEST(TextCodec, UnknownCodePageIsAClearError) {
    const auto rCodec = CTextCodec::Open("NO-SUCH-CODEPAGE");
    ASSERT_FALSE(rCodec.Ok());
    EXPECT_NE(rCodec.Problem().find("NO-SUCH-CODEPAGE"), std::string::npos);
}

TEST(TextCodec, EnvironmentChoosesTheDefault) {
    setenv("QUILLORY_CODEPAGE", "CP1251", 1);
    const CTextCodec codec = CTextCodec::Open().Value();
    unsetenv("QUILLORY_CODEPAGE");
    EXPECT_EQ(codec.CodePage(), "CP1251");
    EXPECT_EQ(codec.FromUtf8("\xD0\x96"), "\xC6");
}

// Plain ASCII skips the conversion only where the code page keeps it as it
// is, and each direction is judged on its own: Shift_JIS writes the
// backslash as 0x5C but reads 0x5C as the yen sign, in a plain text as in
// one with Japanese characters.
TEST(TextCodec, PlainTextReadsAsTheCodePageSays) {
    const CTextCodec sjis = CTextCodec::Open("SJIS").Value();
    EXPECT_EQ(sjis.FromUtf8("C:\\a"), "C:\\a");
    EXPECT_TRUE(sjis.PassesThrough("C:\\a"));
    EXPECT_EQ(sjis.ToUtf8("C:\\a"),
              "C:\xC2\xA5"
              "a");
    EXPECT_EQ(sjis.ToUtf8("C:\\\x93\xFA"), "C:\xC2\xA5\xE6\x97\xA5");
    EXPECT_EQ(sjis.ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));

    const CTextCodec ebcdic = CTextCodec::Open("IBM037").Value();
    EXPECT_FALSE(ebcdic.PassesThrough("A"));
    EXPECT_EQ(ebcdic.FromUtf8("A"), "\xC1");
    EXPECT_EQ(ebcdic.ToUtf8("\xC1"), "A");
    EXPECT_EQ(ebcdic.ToUtf8("A"), "\xC2\xA0");  // 0x41 is the no-break space there

    const CTextCodec cp1252 = CTextCodec::Open("CP1252").Value();
    EXPECT_TRUE(cp1252.PassesThrough(std::string_view("a\0~", 3)));
    EXPECT_FALSE(cp1252.PassesThrough("abcdefgh\xC3\xA9"));  // the non-ASCII byte past the first eight
    EXPECT_EQ(cp1252.ToUtf8("C:\\a~"), "C:\\a~");
}

// Plain text skips the conversion; one byte with the high bit anywhere in a
// text of any length must still be converted, whether the text is returned
// or decoded into a string that held something before.
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
