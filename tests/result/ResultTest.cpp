#include <memory>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "CResult.h"

namespace {

CResult<> Step(bool bFail, const std::string& strWhat) {
    if (bFail) return CProblem(strWhat + ": failed");
    return {};
}

// Runs the steps in order and stops at the first problem.
CResult<> Steps(bool bFirst, bool bSecond, int& nRun) {
    ++nRun;
    QUILLORY_TRY(Step(bFirst, "first"));
    ++nRun;
    QUILLORY_TRY(Step(bSecond, "second"));
    ++nRun;
    return {};
}

CResult<std::unique_ptr<int>> Make(int n) {
    if (n < 0) return CProblem("value " + std::to_string(n) + ": must not be negative");
    return std::make_unique<int>(n);
}

CResult<int> Doubled(int n) {
    auto value = Make(n);
    if (!value) return value.TakeProblem();
    return **value * 2;
}

}  // namespace

TEST(ResultTest, TryPassesTheFirstProblemUpAndStopsThere) {
    int nRun = 0;
    EXPECT_TRUE(Steps(false, false, nRun).Ok());
    EXPECT_EQ(nRun, 3);

    nRun = 0;
    CResult<> r = Steps(true, false, nRun);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.Problem(), "first: failed");
    EXPECT_EQ(nRun, 1);

    nRun = 0;
    r = Steps(false, true, nRun);
    EXPECT_EQ(r.Problem(), "second: failed");
    EXPECT_EQ(nRun, 2);
}

TEST(ResultTest, AValueOrAProblem) {
    CResult<std::unique_ptr<int>> made = Make(4);
    ASSERT_TRUE(made);
    EXPECT_TRUE(made.Problem().empty());
    std::unique_ptr<int> p = std::move(made).Value();  // a move-only value can be taken out
    EXPECT_EQ(*p, 4);

    EXPECT_EQ(Doubled(21).Value(), 42);
    CResult<int> bad = Doubled(-1);
    EXPECT_FALSE(bad.Ok());
    EXPECT_EQ(bad.Problem(), "value -1: must not be negative");
}

TEST(ResultTest, AnEmptyProblemTextIsStillAFailure) {
    CResult<> r = CProblem("");
    EXPECT_FALSE(r.Ok());
    CResult<std::string> s = CProblem("");
    EXPECT_FALSE(s.Ok());
    // A value that happens to be a string is a value, not a problem.
    CResult<std::string> v = std::string("no such file");
    EXPECT_TRUE(v.Ok());
    EXPECT_EQ(v.Value(), "no such file");
}
