#pragma once
#include <cstddef>
#include <string_view>

// Whether sv is a count written plainly: 1 to nMaxDigits ASCII digits and
// nothing else (no sign, no blank, no "0x"), so that std::stoi or
// std::stoull of it cannot throw while nMaxDigits stays below the type's width.
//     IsDigits("042", 3) is true; IsDigits("", 3), IsDigits("-1", 3) and IsDigits("1234", 3) are false
inline bool IsDigits(std::string_view sv, size_t nMaxDigits) {
    return !sv.empty() && sv.size() <= nMaxDigits && sv.find_first_not_of("0123456789") == std::string_view::npos;
}
