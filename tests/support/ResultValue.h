#pragma once
#include <utility>

#include <gtest/gtest.h>

#include "CResult.h"

// The value of a result the test expects to have one; otherwise the test
// fails with the problem, and T{} stands in for the value.
template <class T>
T ValueOf(CResult<T> r) {
    EXPECT_TRUE(r.Ok()) << r.Problem();
    return r.Ok() ? std::move(r).Value() : T{};
}
