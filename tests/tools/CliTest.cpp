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
        std::string strCmd = m_strEnv + std::string("'") + QUILLORY_CLI + "' " + strArgs + " < '" + strInFile + "' 2> '" +
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
    std::string m_strEnv;  // variable settings put before the command
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
    for (const char* psz : {"list", "export", "import", "next"}) {
        CRun h = Run(std::string(psz) + " --help");
        EXPECT_EQ(h.nExit, 0);
        EXPECT_NE(h.strOut.find(std::string("quillory ") + psz), std::string::npos);
    }
    std::ofstream(m_strFile, std::ios::binary) << std::string("\x02\x00\x00\x00\x10\x00", 6);
    r = Run("list " + FileArg());
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strErr.find(m_strFile), std::string::npos);
}

TEST_F(CliTest, ImportRefusesZeroIntervalsOfTheChosenRecurrence) {
    CRun r = Run("import " + FileArg(), R"([{"taskName":"a","recurrence":1},
                                            {"taskName":"b","recurrence":2,"dailyMode":1},
                                            {"taskName":"c","recurrence":4,"monthlyMode":1,"monthlyInterval":3},
                                            {"taskName":"d","recurrence":3,"weeklyInterval":2,"dailyInterval":0}])");
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strErr.find("task 1: minuteInterval: the interval must be at least 1 minute"), std::string::npos)
        << r.strErr;
    EXPECT_NE(r.strErr.find("task 3: monthlyInterval2"), std::string::npos) << r.strErr;
    // Intervals of modes and types not chosen do not matter.
    EXPECT_EQ(r.strErr.find("task 2"), std::string::npos) << r.strErr;
    EXPECT_EQ(r.strErr.find("task 4"), std::string::npos) << r.strErr;
    EXPECT_FALSE(fs::exists(m_strFile));
}

// The coming times as the scheduler would send them, under a fixed zone so
// the expected lines do not depend on the machine.
TEST_F(CliTest, NextPrintsTheComingSendingTimes) {
    m_strEnv = "TZ=Europe/Berlin ";
    CRun r = Run("import " + FileArg(), R"([
        {"taskName":"daily","recurrence":2,"dailyInterval":1,"endKind":0,
         "start":{"year":2025,"month":3,"day":29,"dayOfWeek":7,"hour":10,"minute":0,"second":1}},
        {"taskName":"twice","recurrence":1,"minuteInterval":15,"endKind":1,"endAfterCount":2,
         "start":{"year":2025,"month":1,"day":1,"dayOfWeek":4,"hour":10,"minute":0,"second":1}},
        {"taskName":"bad","recurrence":0,
         "lastSent":{"year":2025,"month":1,"day":1,"dayOfWeek":4,"hour":10,"minute":0,"second":1}}])");
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    // Stored state: no next time yet, so the schedule is complete as stored.
    r = Run("next 1 --count 3 " + FileArg());
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "Completed\n");

    // From a present: the spring change moves one sending an hour, once.
    r = Run("next 1 --count 4 --now '2025-03-29 09:00' " + FileArg());
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "2025-03-29 10:00\n2025-03-30 11:00\n2025-03-31 10:00\n2025-04-01 10:00\n") << r.strOut;
    r = Run("next 2 --now '2025-01-01 10:00' " + FileArg());
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "2025-01-01 10:00\n2025-01-01 10:15\nCompleted\n");
    // The file is left as it was.
    CTaskList back;
    CTextCodec codec("CP1252");
    CTaskListFile::LoadTaskList(m_strFile, back, codec);
    EXPECT_FALSE(back[0].m_dtNextSending.IsSet());

    r = Run("next 4 " + FileArg());
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strErr.find("no task 4"), std::string::npos) << r.strErr;
    for (const char* pszBad : {"next 0", "next x", "next", "next 1 --count 0", "next 1 --now 2025-02-30", "list --count 3"}) {
        r = Run(std::string(pszBad) + " " + FileArg());
        EXPECT_EQ(r.nExit, 1) << pszBad;
        EXPECT_FALSE(r.strErr.empty()) << pszBad;
    }
}

TEST_F(CliTest, NextNamesAnInvalidDateGroup) {
    CTaskList list;
    CTaskItem t;
    t.m_strTaskName = "hand-edited";
    t.m_nRecurrence = 2;
    t.m_nDailyInterval = 1;
    t.m_dtLastSent = {2025, 2, 1, 0, 25, 0, 1};  // hour 25
    list.Add(t);
    CTextCodec codec("CP1252");
    ASSERT_EQ(CTaskListFile::SaveTaskList(m_strFile, list, codec), "");
    CRun r = Run("next 1 " + FileArg());
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strErr.find("task 1: lastSent: invalid date: hour 25"), std::string::npos) << r.strErr;
}
