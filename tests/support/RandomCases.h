#pragma once

#include <algorithm>

// How many random cases a randomised test runs. Under the sanitizers the
// code runs many times slower and the faults sought are of memory and
// undefined behaviour, which a quarter of the cases reach as well.
inline int RandomCases(int nNormal) {
#if defined(__SANITIZE_ADDRESS__)
    return std::max(1, nNormal / 4);
#else
    return nNormal;
#endif
}
