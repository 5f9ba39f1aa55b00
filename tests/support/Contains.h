#pragma once
#include <string>

#include <gtest/gtest.h>

// Whether the text holds the part. The message shows both either way, so a
// failing EXPECT_TRUE(Contains(...)) or EXPECT_FALSE(Contains(...)) says
// what the text was.
template <class TNeedle>
::testing::AssertionResult Contains(const std::string& strText, const TNeedle& part) {
    const bool bFound = strText.find(part) != std::string::npos;
    return (bFound ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
           << '"' << strText << (bFound ? "\" holds \"" : "\" lacks \"") << part << '"';
}
