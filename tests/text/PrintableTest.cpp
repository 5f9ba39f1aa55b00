// What a terminal would obey is escaped, every escape reads back one way, and readable text passes as it is.
#include <gtest/gtest.h>

#include "CPrintable.h"

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
