#pragma once
#include <cstddef>
#include <cstdint>

// The scrambling of a task record body: with the 8-byte key "7F2B94D6",
// out[i] = in[i] ^ key[i % 8] ^ c[i - 1], where c is the scrambled side
// (the output when scrambling, the input when unscrambling) and c[-1] = 0.
// Example: the body bytes 00 00 scramble to '7' (0x37), 0x37 ^ 'F' = 0x71.
// pOut may equal pIn; the ranges must not overlap otherwise.
class CRecordScrambler {
public:
    static void Scramble(const uint8_t* pIn, uint8_t* pOut, size_t n);
    static void Unscramble(const uint8_t* pIn, uint8_t* pOut, size_t n);
};
