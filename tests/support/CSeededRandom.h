#pragma once
#include <cstdint>
#include <random>

// Numbers for randomized tests, the same on every run from the same seed.
class CSeededRandom {
public:
    explicit CSeededRandom(uint64_t nSeed) : m_rng(nSeed) {}
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    bool Chance(int nPercent) { return Int(1, 100) <= nPercent; }

    std::mt19937_64 m_rng;
};
