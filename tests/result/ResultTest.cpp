// A value or a problem, and QUILLORY_TRY passing the first problem up.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "CResult.h"

namespace {

// Runs the steps in order and stops at the first problem.
CResult<> Steps(bool bFirst, bool bSecond, int& nRun) {
    const auto step = [](bool bFail, const std::string& strWhat) -> CResult<> {
        if (bFail) return CProblem(strWhat + ": failed");
        return {};
    };
    ++nRun;
    QUILLORY_TRY(step(bFirst, "first"));
    ++nRun;
    QUILLORY_TRY(step(bSecond, "second"));
    ++nRun;
    return {};
}

CResult<std::unique_ptr<int>> Make(int n) {
    if (n < 0) return CProblem("value " + std::to_string(n) + ": must not be negative");
    return std::make_unique<int>(n);
}

CResult<int> Doubled(int n) {
    QUILLORY_TRY_VALUE(const auto p, Make(n));
    return *p * 2;
}

}  // namespace

TEST(ResultTest, TryPassesTheFirstProblemUpAndStopsThere) {
    const struct {
        bool bFirst, bSecond;
        const char* pszProblem;
        int nRun;
    } rows[] = {{false, false, "", 3}, {true, false, "first: failed", 1}, {false, true, "second: failed", 2}};
    for (const auto& row : rows) {
        int nRun = 0;
        const CResult<> r = Steps(row.bFirst, row.bSecond, nRun);
        EXPECT_EQ(r.Ok(), !*row.pszProblem) << row.pszProblem;
        EXPECT_EQ(r.Problem(), row.pszProblem);
        EXPECT_EQ(nRun, row.nRun) << row.pszProblem;
    }
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
    // An empty problem text is still a failure; a value that happens to be a string is a value.
    EXPECT_FALSE(CResult<>(CProblem("")).Ok());
    EXPECT_FALSE(CResult<std::string>(CProblem("")).Ok());
    CResult<std::string> v = std::string("no such file");
    EXPECT_TRUE(v.Ok());
    EXPECT_EQ(v.Value(), "no such file");
}
