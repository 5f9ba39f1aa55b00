#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CTaskJson.h"
#include "CTaskListFile.h"

namespace fs = std::filesystem;

namespace {

struct CRun {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/quillory-cli-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_strFile = (m_dir / "emails.dat").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs the CLI through the shell with the given standard input.
    CRun Run(const std::string& strArgs, const std::string& strIn = "") {
        std::string strInFile = (m_dir / "stdin").string();
        std::ofstream(strInFile) << strIn;
        std::string strErrFile = (m_dir / "stderr").string();
        std::string strCmd = std::string("'") + QUILLORY_CLI + "' " + strArgs + " < '" + strInFile + "' 2> '" +
                             strErrFile + "'";
        CRun r;
        FILE* p = popen(strCmd.c_str(), "r");
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.strOut.append(buf, n);
        int status = pclose(p);
        r.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream err(strErrFile);
        r.strErr.assign(std::istreambuf_iterator<char>(err), {});
        return r;
    }
    std::string FileArg() const { return "--file '" + m_strFile + "' --codepage CP1252"; }
    std::string Bytes() const {
        std::ifstream in(m_strFile, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path m_dir;
    std::string m_strFile;
};

CTaskList Sample() {
    CTaskList list;
    CTaskItem a;
    a.m_bActive = 1;
    a.m_strTaskName = "Weekly report \xC3\xA9";
    a.m_strTemplateFile = "/data/Weekly report.oft";
    a.m_nRecurrence = 3;
    a.m_nWeeklyInterval = 1;
    a.m_dtStart = {2025, 3, 3, 2, 9, 0, 1};
    a.m_dtNextSending = {2025, 3, 10, 2, 9, 0, 1};
    a.m_arrAttachments.Add("/files/a.pdf");
    a.m_arrAttachments.Add("/files/*.txt");
    list.Add(a);
    CTaskItem b;
    b.m_strTaskName = "Done";
    b.m_nEndKind = 1;
    b.m_nOccurrenceCount = 1;
    list.Add(b);
    return list;
}

}  // namespace

TEST_F(CliTest, ListShowsIndexActiveNameAndNextTime) {
    CTextCodec codec("CP1252");
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strFile, Sample(), codec), "");
    CRun r = Run("list " + FileArg());
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "1 * Weekly report \xC3\xA9 2025-03-10 09:00\n2   Done Completed\n");
}

TEST_F(CliTest, MissingFileIsAnEmptyList) {
    CRun r = Run("list " + FileArg());
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strOut, "");
    r = Run("export " + FileArg());
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(nlohmann::json::parse(r.strOut), nlohmann::json::array());
}

TEST_F(CliTest, ExportThenImportReproducesTheFileByteForByte) {
    CTextCodec codec("CP1252");
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strFile, Sample(), codec), "");
    const std::string before = Bytes();
    CRun exp = Run("export " + FileArg());
    ASSERT_EQ(exp.nExit, 0) << exp.strErr;
    auto j = nlohmann::json::parse(exp.strOut);
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["weekDays"], nlohmann::json::parse("[false,true,false,false,false,false,false]"));
    EXPECT_EQ(j[0]["start"]["hour"], 9);
    EXPECT_FALSE(j[1]["end"].contains("hour"));
    fs::remove(m_strFile);
    CRun imp = Run("import " + FileArg(), exp.strOut);
    ASSERT_EQ(imp.nExit, 0) << imp.strErr;
    EXPECT_EQ(Bytes(), before);
}

TEST_F(CliTest, ExportShowsOutOfRangeValuesAsStored) {
    CTaskList list;
    CTaskItem t;
    t.m_dtNextSending = {2025, 14, 40, 9, 99, -3, 7};
    t.m_bActive = 5;
    list.Add(t);
    CTextCodec codec("CP1252");
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strFile, list, codec), "");
    CRun r = Run("export " + FileArg());
    ASSERT_EQ(r.nExit, 0);
    auto j = nlohmann::json::parse(r.strOut);
    EXPECT_EQ(j[0]["nextSending"]["month"], 14);
    EXPECT_EQ(j[0]["nextSending"]["hour"], 99);
    EXPECT_EQ(j[0]["active"], true);
}

TEST_F(CliTest, InvalidImportReportsEveryProblemAndWritesNothing) {
    CTextCodec codec("CP1252");
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strFile, Sample(), codec), "");
    const std::string before = Bytes();
    CRun r = Run("import " + FileArg(),
                 R"([{"taskName":"ok"},
                     {"colour":"red","start":{"year":2025,"month":13,"day":1}},
                     {"active":1,"weekDays":[true]}])");
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strErr.find("task 2: colour: unknown key"), std::string::npos) << r.strErr;
    EXPECT_NE(r.strErr.find("task 2: start: month 13"), std::string::npos) << r.strErr;
    EXPECT_NE(r.strErr.find("task 3: active"), std::string::npos) << r.strErr;
    EXPECT_NE(r.strErr.find("task 3: weekDays"), std::string::npos) << r.strErr;
    EXPECT_EQ(r.strErr.find("task 1"), std::string::npos) << r.strErr;
    EXPECT_EQ(Bytes(), before);

    r = Run("import " + FileArg(), "not json");
    EXPECT_EQ(r.nExit, 2);
    EXPECT_EQ(Bytes(), before);
}

TEST_F(CliTest, MissingKeysTakeTheDefaults) {
    CRun r = Run("import " + FileArg(), R"([{"taskName":"x"}])");
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    CTaskList back;
    CTextCodec codec("CP1252");
    CTaskListFile::LoadTaskList(m_strFile, back, codec);
    ASSERT_EQ(back.GetSize(), 1);
    CTaskItem expect;
    expect.m_strTaskName = "x";
    EXPECT_EQ(back[0], expect);
}

TEST_F(CliTest, UsageAndDataErrorsHaveTheirExitCodes) {
    EXPECT_EQ(Run("").nExit, 1);
    EXPECT_EQ(Run("frobnicate").nExit, 1);
    EXPECT_EQ(Run("list --bogus").nExit, 1);
    EXPECT_EQ(Run("list --file").nExit, 1);
    CRun r = Run("list --codepage NO-SUCH " + std::string("--file '") + m_strFile + "'");
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.strErr.find("NO-SUCH"), std::string::npos);
    for (const char* psz : {"list", "export", "import"}) {
        CRun h = Run(std::string(psz) + " --help");
        EXPECT_EQ(h.nExit, 0);
        EXPECT_NE(h.strOut.find(std::string("quillory ") + psz), std::string::npos);
    }
    std::ofstream(m_strFile, std::ios::binary) << std::string("\x02\x00\x00\x00\x10\x00", 6);
    r = Run("list " + FileArg());
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strErr.find(m_strFile), std::string::npos);
}
