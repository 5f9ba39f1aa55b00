#pragma once
#include <string>

// Text from a task, a message or a server made safe to show a person on a
// terminal or in a log line: control characters (C0, DEL and the C1 range
// U+0080..U+009F, and single bytes 0x80..0x9F that are not UTF-8) are
// written as escapes, so a name cannot start a new row, move the cursor or
// change colours; a backslash is doubled, so the escapes stay unambiguous.
// Everything else, other invalid UTF-8 too, passes through unchanged. Machine-readable output (JSON, journal fields)
// keeps the exact text and does not use this.
//     CPrintable::Escape("Report\n1 * fake\x1b[31m") == "Report\\n1 * fake\\x1b[31m"
class CPrintable {
public:
    static std::string Escape(const std::string& strText);
};
