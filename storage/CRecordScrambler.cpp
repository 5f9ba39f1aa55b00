#include "CRecordScrambler.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QUILLORY_AVX2_PATH 1
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The 8-byte key, repeated for loads of 16 and 32 bytes at a time.
constexpr char kKey[] = "7F2B94D67F2B94D67F2B94D67F2B94D6";

// Scrambling is a running XOR of (byte ^ key); it is computed a block at a
// time as a prefix XOR inside the block (log2 of its width shifts) XORed
// with the byte carried in from the block before. The carry for the next
// block is the carry XOR the block's own last prefix byte, so blocks wait on
// one another for a single XOR. Unscrambling needs no carry chain at all:
// each output byte depends on two input bytes. The key repeats every eight
// bytes from the body start, so every block starts on a key boundary.
template <bool bScramble>
void RunningXor(const uint8_t* pIn, uint8_t* pOut, size_t n) {
    size_t i = 0;
    uint8_t prev = 0;  // the scrambled byte before position i
#if defined(__SSE2__)
    {
        const __m128i vecKey = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKey));
        __m128i vecCarry = _mm_setzero_si128();  // the carried byte in every lane (scrambling) or in lane 0
        for (; i + 16 <= n; i += 16) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pIn + i));
            __m128i vecOut;
            if constexpr (bScramble) {
                __m128i x = _mm_xor_si128(w, vecKey);
                x = _mm_xor_si128(x, _mm_slli_si128(x, 1));
                x = _mm_xor_si128(x, _mm_slli_si128(x, 2));
                x = _mm_xor_si128(x, _mm_slli_si128(x, 4));
                x = _mm_xor_si128(x, _mm_slli_si128(x, 8));
                vecOut = _mm_xor_si128(x, vecCarry);
                // Byte 15 of the prefix into every lane.
                __m128i top = _mm_unpackhi_epi8(x, x);
                top = _mm_unpackhi_epi16(top, top);
                top = _mm_shuffle_epi32(top, 0xFF);
                vecCarry = _mm_xor_si128(vecCarry, top);
            } else {
                vecOut = _mm_xor_si128(_mm_xor_si128(w, vecKey), _mm_or_si128(_mm_slli_si128(w, 1), vecCarry));
                vecCarry = _mm_srli_si128(w, 15);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + i), vecOut);
        }
        prev = static_cast<uint8_t>(_mm_cvtsi128_si32(vecCarry));
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t nKey = 0;
        std::memcpy(&nKey, kKey, 8);
        uint64_t nPrev = prev;
        for (; i + 8 <= n; i += 8) {
            uint64_t w;
            std::memcpy(&w, pIn + i, 8);
            uint64_t nWord;
            if constexpr (bScramble) {
                uint64_t nPrefix = w ^ nKey;
                nPrefix ^= nPrefix << 8;
                nPrefix ^= nPrefix << 16;
                nPrefix ^= nPrefix << 32;
                nWord = nPrefix ^ (nPrev * 0x0101010101010101ULL);
                nPrev ^= nPrefix >> 56;
            } else {
                nWord = w ^ nKey ^ ((w << 8) | nPrev);
                nPrev = w >> 56;
            }
            std::memcpy(pOut + i, &nWord, 8);
        }
        prev = static_cast<uint8_t>(nPrev);
    }
    for (; i < n; ++i) {
        const uint8_t c = pIn[i];
        pOut[i] = static_cast<uint8_t>(c ^ kKey[i % 8] ^ prev);
        prev = bScramble ? pOut[i] : c;
    }
}

// Unscrambling into a separate buffer needs no carry: each block is the
// input XOR the key XOR the same input one byte back. Blocks start on key
// boundaries (i a multiple of 8, at least 8) and return where they stopped.
size_t UnscrambleShifted16(const uint8_t* pIn, uint8_t* pOut, size_t i, size_t n) {
#if defined(__SSE2__)
    const __m128i vecKey = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKey));
    for (; i + 16 <= n; i += 16) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pIn + i));
        const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pIn + i - 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut + i), _mm_xor_si128(_mm_xor_si128(w, vecKey), back));
    }
#else
    (void)pIn;  // the byte loop after it does the work
    (void)pOut;
    (void)n;
#endif
    return i;
}

#if defined(QUILLORY_AVX2_PATH)
__attribute__((target("avx2"))) size_t UnscrambleShifted32(const uint8_t* pIn, uint8_t* pOut, size_t i, size_t n) {
    const __m256i vecKey = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kKey));
    for (; i + 32 <= n; i += 32) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pIn + i));
        const __m256i back = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pIn + i - 1));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pOut + i), _mm256_xor_si256(_mm256_xor_si256(w, vecKey), back));
    }
    return UnscrambleShifted16(pIn, pOut, i, n);
}

bool HasAvx2() {
    static const bool s_bAvx2 = __builtin_cpu_supports("avx2");
    return s_bAvx2;
}
#endif

void UnscrambleApart(const uint8_t* pIn, uint8_t* pOut, size_t n) {
    RunningXor<false>(pIn, pOut, 8);
#if defined(QUILLORY_AVX2_PATH)
    size_t i = HasAvx2() ? UnscrambleShifted32(pIn, pOut, 8, n) : UnscrambleShifted16(pIn, pOut, 8, n);
#else
    size_t i = UnscrambleShifted16(pIn, pOut, 8, n);
#endif
    for (; i < n; ++i) pOut[i] = static_cast<uint8_t>(pIn[i] ^ kKey[i % 8] ^ pIn[i - 1]);
}

}  // namespace

void CRecordScrambler::Scramble(const uint8_t* pIn, uint8_t* pOut, size_t n) { RunningXor<true>(pIn, pOut, n); }

void CRecordScrambler::Unscramble(const uint8_t* pIn, uint8_t* pOut, size_t n) {
    if (pIn == pOut || n < 8) RunningXor<false>(pIn, pOut, n);
    else UnscrambleApart(pIn, pOut, n);
}
