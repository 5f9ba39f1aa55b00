#pragma once

#include <gtest/gtest.h>

// The zones a suite that starts host processes or waits on real time runs
// under. Every zone in the normal build; under the sanitizers only the
// first, since the code runs many times slower there and the faults sought
// are of memory and undefined behaviour, which one zone reaches as well.
// Pure schedule tests keep their many zones: there the zones are the point.
template <class... T>
auto TestZones(T... zones) {
#if defined(__SANITIZE_ADDRESS__)
    return [](auto first, auto...) { return ::testing::Values(first); }(zones...);
#else
    return ::testing::Values(zones...);
#endif
}
