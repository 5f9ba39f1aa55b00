// Template file names from task names: cleaned, cut, stamped, and kept
// inside the data directory without clashing.
#include <filesystem>

#include <gtest/gtest.h>

#include "CTempDir.h"
#include "CTemplateName.h"
#include "ResultValue.h"

namespace {
const TaskDateTime kStamp{2013, 5, 7, 3, 9, 5, 3};
}

TEST(TemplateNameTest, TheNineCharactersGoAndTheStampFollows) {
    EXPECT_EQ(CTemplateName::FileName("Weekly report: sales", kStamp), "Weekly report sales 20130507090503.oft");
    EXPECT_EQ(CTemplateName::FileName("\\/:*?\"<>|", kStamp), " 20130507090503.oft");
    EXPECT_EQ(CTemplateName::FileName("  spaced  ", kStamp), "  spaced   20130507090503.oft");
}

TEST(TemplateNameTest, NamesThatCouldLeaveTheFolderOrHideTheFileAreMadeHarmless) {
    EXPECT_EQ(CTemplateName::CleanName("../../etc/passwd"), "etcpasswd");
    EXPECT_EQ(CTemplateName::CleanName(".."), "");
    EXPECT_EQ(CTemplateName::CleanName("...hidden"), "hidden");
    EXPECT_EQ(CTemplateName::CleanName("tab\there\nnew\x7F"
                                       "line\x01"),
              "tabherenewline");
    EXPECT_EQ(CTemplateName::CleanName("a.b"), "a.b");
}

TEST(TemplateNameTest, LongNamesAreCutByCharactersAndBytes) {
    const std::string str150(150, 'x');
    EXPECT_EQ(CTemplateName::FileName(str150, kStamp), std::string(100, 'x') + " 20130507090503.oft");
    // 100 characters of three bytes each would not fit a file name: the cut
    // stays within the byte limit and never splits a character.
    std::string strWide;
    for (int i = 0; i < 120; ++i) strWide += "\xE2\x82\xAC";  // the euro sign
    const std::string strCut = CTemplateName::CleanName(strWide);
    EXPECT_EQ(strCut.size(), 198u);
    EXPECT_EQ(strCut.substr(195), "\xE2\x82\xAC");
    std::string strMixed = std::string(99, 'y') + "\xC3\xA9\xC3\xA9";
    EXPECT_EQ(CTemplateName::CleanName(strMixed), std::string(99, 'y') + "\xC3\xA9");
}

TEST(TemplateNameTest, TakenPathsGetACounter) {
    CTempDir dir;
    const std::string strDir = dir.Path() + "/";
    EXPECT_EQ(ValueOf(CTemplateName::UniquePath(strDir, "a 1.oft", {})), strDir + "a 1.oft");
    CTempDir::WriteFile(strDir + "a 1.oft", "x");
    std::filesystem::create_symlink("/nonexistent", strDir + "a 1 (2).oft");  // a dangling link is taken too
    auto fnTaken = [&](const std::string& str) { return str == strDir + "a 1 (3).oft"; };
    EXPECT_EQ(ValueOf(CTemplateName::UniquePath(strDir, "a 1.oft", fnTaken)), strDir + "a 1 (4).oft");
}

TEST(TemplateNameTest, AFolderThatCannotBeLookedIntoGivesNoPathInsteadOfAskingForever) {
    CTempDir dir;
    std::filesystem::create_symlink("loop", dir.Path() + "/loop");
    EXPECT_EQ(CTemplateName::UniquePath(dir.Path() + "/loop/", "a 1.oft", {}).Problem(),
              dir.Path() + "/loop/: cannot be looked into");
    EXPECT_FALSE(CTemplateName::UniquePath(dir.Path() + "/", std::string(300, 'n') + ".oft", {}).Ok());
    auto fnAllTaken = [](const std::string&) { return true; };
    EXPECT_EQ(CTemplateName::UniquePath(dir.Path() + "/", "a 1.oft", fnAllTaken).Problem(),
              "a 1.oft: every name up to (10000) is taken");
}

TEST(TemplateNameTest, InsideMeansDirectlyInTheDataDirectory) {
    EXPECT_TRUE(CTemplateName::IsInside("/d/q/", "/d/q/x.oft"));
    EXPECT_TRUE(CTemplateName::IsInside("/d/q/", "/d/q/./x.oft"));
    EXPECT_FALSE(CTemplateName::IsInside("/d/q/", "/d/q/../x.oft"));
    EXPECT_FALSE(CTemplateName::IsInside("/d/q/", "/d/q/sub/x.oft"));
    EXPECT_FALSE(CTemplateName::IsInside("/d/q/", "/d/q/"));
    EXPECT_FALSE(CTemplateName::IsInside("/d/q/", "/etc/passwd"));
    EXPECT_FALSE(CTemplateName::IsInside("/d/q/", ""));
}
