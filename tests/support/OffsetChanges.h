#pragma once
#include <ctime>
#include <vector>

// The instants at which the local zone's offset from UTC changes in
// [tFrom, tTo), as the C library tells them, probed every nStep seconds:
// each is the first probe after a change. Tests put tasks near them.
inline std::vector<time_t> OffsetChanges(time_t tFrom, time_t tTo, time_t nStep) {
    auto offsetAt = [](time_t t) {
        std::tm tm{};
        localtime_r(&t, &tm);
        return tm.tm_gmtoff;
    };
    std::vector<time_t> vec;
    long nPrev = offsetAt(tFrom);
    for (time_t t = tFrom + nStep; t < tTo; t += nStep) {
        const long n = offsetAt(t);
        if (n != nPrev) vec.push_back(t);
        nPrev = n;
    }
    return vec;
}
