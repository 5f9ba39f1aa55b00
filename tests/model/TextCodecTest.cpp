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
