#pragma once
#include <cstddef>
#include <string_view>

// The length of the well-formed UTF-8 sequence that starts at sv[i] (1 for
// ASCII), or 0 where none does: a stray continuation byte, a lead byte cut
// short, an overlong form, a surrogate, or a code point past U+10FFFF. The
// JSON library refuses exactly these, so a text it is given must pass here.
//     Utf8SequenceAt("\xc3\xa9", 0) == 2; Utf8SequenceAt("\xc0\xaf", 0) == 0 (an overlong "/")
inline size_t Utf8SequenceAt(std::string_view sv, size_t i) {
    const auto c = static_cast<unsigned char>(sv[i]);
    if (c < 0x80) return 1;
    // The second byte's range narrows after E0, ED, F0 and F4; later ones are 80..BF.
    const size_t n = c >= 0xc2 && c <= 0xdf ? 2 : c >= 0xe0 && c <= 0xef ? 3 : c >= 0xf0 && c <= 0xf4 ? 4 : 0;
    if (n == 0 || i + n > sv.size()) return 0;
    const unsigned char nLow = c == 0xe0 ? 0xa0 : c == 0xf0 ? 0x90 : 0x80;
    const unsigned char nHigh = c == 0xed ? 0x9f : c == 0xf4 ? 0x8f : 0xbf;
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(sv[i + k]);
        if (b < (k == 1 ? nLow : 0x80) || b > (k == 1 ? nHigh : 0xbf)) return 0;
    }
    return n;
}

// Whether all of sv is well-formed UTF-8.
//     IsUtf8("Zo\xc3\xab") is true; IsUtf8("Caf\xe9") and IsUtf8("\xed\xa0\x80") (a surrogate) are false
inline bool IsUtf8(std::string_view sv) {
    for (size_t i = 0; i < sv.size();) {
        const size_t n = Utf8SequenceAt(sv, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}
