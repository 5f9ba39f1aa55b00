// The quillory tool's reading commands, import and export, run as a process against a real task list file.
#include <filesystem>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "CTaskJson.h"
#include "CTaskListFile.h"
#include "CTempDir.h"
#include "Contains.h"
#include "ShellRun.h"

namespace fs = std::filesystem;

namespace {

using CRun = CShellRun;

class CliTest : public ::testing::Test {
protected:
    // The CLI through the shell with the given standard input.
    CRun Run(const std::string& strArgs, const std::string& strIn = "") {
        return RunShellIn(m_dir, m_strEnv + ShellQuoted(QUILLORY_CLI) + " " + strArgs, strIn);
    }
    std::string FileArg() const { return "--file " + ShellQuoted(m_strFile) + " --codepage CP1252"; }
    std::string Bytes() const { return CTempDir::ReadFile(m_strFile); }
    void Save(const CTaskList& list) const {
        ASSERT_EQ(CTaskListFile::SaveTaskList(m_strFile, list, m_codec).Problem(), "");
    }
    CTaskList Load() const {
        CTaskList list;
        EXPECT_EQ(CTaskListFile::LoadTaskList(m_strFile, list, m_codec).Problem(), "");
        return list;
    }

    CTempDir m_dir;
    const std::string m_strFile = m_dir / "emails.dat";
    const CTextCodec m_codec = CTextCodec::Open("CP1252").Value();
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
    a.m_nEndKind = 0;
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

// A missing file in its folder is a list with no task yet; a missing
// folder is a mistyped --file, which no reading command takes for one;
// usage mistakes exit with 1, data that cannot be read with 2.
TEST_F(CliTest, MissingFileIsAnEmptyListAndEachMistakeHasItsExitStatus) {
    CRun r = Run("list " + FileArg());
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(r.strOut, "");
    r = Run("export " + FileArg());
    EXPECT_EQ(r.nExit, 0);
    EXPECT_EQ(nlohmann::json::parse(r.strOut), nlohmann::json::array());
    const std::string strNoFolder = ShellQuoted(m_dir / "no/such/dir/emails.dat");
    for (const char* pszCommand : {"list", "export", "show 1", "next 1", "ics"}) {
        SCOPED_TRACE(pszCommand);
        r = Run(std::string(pszCommand) + " --file " + strNoFolder);
        EXPECT_EQ(r.nExit, 2);
        EXPECT_EQ(r.strOut, "");
        EXPECT_TRUE(Contains(r.strErr, "there is no folder " + m_dir / "no/such/dir"));
    }
    for (const char* pszUsage : {"", "frobnicate", "list --bogus", "list --file"})
        EXPECT_EQ(Run(pszUsage).nExit, 1) << pszUsage;
    // Text that is not UTF-8 cannot go into a request or the store: refused, never a crash.
    for (const char* pszArgs : {"set 1 --name \"$(printf 'a\\351')\"", "set 1 --holidays \"$(printf '\\351.ics')\"",
                                "set 1 --name \"$(printf 'a\\355\\240\\200')\""}) {  // a surrogate
        r = Run(std::string(pszArgs) + " " + FileArg());
        EXPECT_EQ(r.nExit, 1) << pszArgs << r.strErr;
        EXPECT_TRUE(Contains(r.strErr, "is not UTF-8 text: ")) << r.strErr;
    }
    r = Run("list --codepage NO-SUCH --file " + ShellQuoted(m_strFile));
    EXPECT_EQ(r.nExit, 1);
    EXPECT_TRUE(Contains(r.strErr, "NO-SUCH"));
    CTempDir::WriteFile(m_strFile, std::string("\x02\x00\x00\x00\x10\x00", 6));
    r = Run("list " + FileArg());
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(Contains(r.strErr, m_strFile));
}

// Read in another code page than it was written in, the list is shown, but
// no change writes it: the save would change its names and paths.
TEST_F(CliTest, AListReadInAnotherCodePageIsShownButNeverWritten) {
    Save(Sample());
    const std::string strBytes = Bytes(), strWrong = "--file " + ShellQuoted(m_strFile) + " --codepage UTF-8";
    EXPECT_EQ(Run("list " + strWrong).nExit, 0);
    CRun r = Run("disable 2 " + strWrong);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(Contains(r.strErr, "task 1: its texts are not in the code page UTF-8")) << r.strErr;
    EXPECT_EQ(Bytes(), strBytes);
    r = Run("disable 2 " + FileArg());
    EXPECT_EQ(r.nExit, 0) << r.strErr;
}

// Export then import reproduces the file byte for byte; export shows
// out-of-range values as stored.
TEST_F(CliTest, ExportThenImportReproducesTheFileByteForByte) {
    Save(Sample());
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
    // Over a file that does not load whole, as the salvage of one goes: its bytes are kept aside first.
    const std::string strDamaged("\x02\x00\x00\x00\x10\x00", 6);
    CTempDir::WriteFile(m_strFile, strDamaged);
    imp = Run("import " + FileArg(), exp.strOut);
    ASSERT_EQ(imp.nExit, 0) << imp.strErr;
    EXPECT_EQ(Bytes(), before);
    std::vector<std::string> vecKept;
    for (const auto& entry : fs::directory_iterator(m_dir.Path()))
        if (entry.path().filename().string().starts_with("emails.dat.damaged-"))
            vecKept.push_back(CTempDir::ReadFile(entry.path().string()));
    EXPECT_EQ(vecKept, std::vector<std::string>{strDamaged}) << imp.strErr;

    CTaskList list;
    CTaskItem t;
    t.m_dtNextSending = {2025, 14, 40, 9, 99, -3, 7};
    t.m_bActive = 5;
    list.Add(t);
    Save(list);
    exp = Run("export " + FileArg());
    ASSERT_EQ(exp.nExit, 0);
    j = nlohmann::json::parse(exp.strOut);
    EXPECT_EQ(j[0]["nextSending"]["month"], 14);
    EXPECT_EQ(j[0]["nextSending"]["hour"], 99);
    EXPECT_EQ(j[0]["active"], true);
}

TEST_F(CliTest, InvalidImportReportsEveryProblemAndWritesNothing) {
    Save(Sample());
    const std::string before = Bytes();
    const CRun r = Run("import " + FileArg(),
                       R"([{"taskName":"ok","start":{"year":2025,"month":3,"day":3},"endKind":0},
                     {"colour":"red","start":{"year":2025,"month":13,"day":1}},
                     {"active":1,"weekDays":[true],"start":{"year":2025,"month":3,"day":3},"endKind":0}])");
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(Contains(r.strErr, "task 2: colour: unknown key"));
    EXPECT_TRUE(Contains(r.strErr, "task 2: start: invalid date: month 13"));
    EXPECT_TRUE(Contains(r.strErr, "task 3: active"));
    EXPECT_TRUE(Contains(r.strErr, "task 3: weekDays"));
    EXPECT_FALSE(Contains(r.strErr, "task 1"));
    EXPECT_EQ(Bytes(), before);  // input that is no JSON: HostWriteTest, refused before the tool asks
}

TEST_F(CliTest, MissingKeysTakeTheDefaultsAndADayOfWeekComesFromItsDate) {
    CRun r = Run("import " + FileArg(), R"([{"taskName":"x","start":{"year":1980,"month":1,"day":1,"second":1}},
                                            {"taskName":"y","endKind":2,
                                             "start":{"year":2026,"month":4,"day":7,"dayOfWeek":0,"hour":9},
                                             "end":{"year":2028,"month":2,"day":29},
                                             "lastSent":{"year":2025,"month":12,"day":31,"hour":9},
                                             "nextSending":{"year":2026,"month":1,"day":4,"hour":9}}])");
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    const CTaskList back = Load();
    ASSERT_EQ(back.GetSize(), 2);
    CTaskItem expect;
    expect.m_strTaskName = "x";
    EXPECT_EQ(back[0], expect);
    // 2026-04-07 is a Tuesday, 29 February 2028 a Tuesday, 31 December 2025
    // a Wednesday and 4 January 2026 a Sunday.
    EXPECT_EQ(back[1].m_dtStart, (TaskDateTime{2026, 4, 7, 3, 9, 0, 0}));
    EXPECT_EQ(back[1].m_dtEnd, (TaskDate{2028, 2, 29, 3}));
    EXPECT_EQ(back[1].m_dtLastSent.nDayOfWeek, 4);
    EXPECT_EQ(back[1].m_dtNextSending.nDayOfWeek, 1);
}

// Every rule of a task built from outside, one row each: the keys set on
// top of a valid task, and the one problem expected, or none. Fields of a
// type or mode not chosen may hold anything, as the options sheet leaves
// them. Messages are written out here as the user is to read them.
struct CRuleCase {
    const char* pszKeys;
    const char* pszProblem;  // null: accepted
};

// clang-format off
const CRuleCase kRuleCases[] = {
    {R"({"recurrence":6})", "recurrence: must be 0..5, not 6"},
    {R"({"recurrence":-1})", "recurrence: must be 0..5, not -1"},
    {R"({"recurrence":0,"minuteInterval":0,"dailyMode":7})", nullptr},
    {R"({"recurrence":1,"minuteInterval":0})", "minuteInterval: must be at least 1, not 0"},
    {R"({"recurrence":1,"minuteInterval":1000000})", "minuteInterval: must be at most 999999, not 1000000"},
    {R"({"recurrence":1,"minuteInterval":999999})", nullptr},
    {R"({"recurrence":2,"dailyMode":2,"dailyInterval":1})", "dailyMode: must be 0..1, not 2"},
    {R"({"recurrence":2,"dailyMode":0,"dailyInterval":0})", "dailyInterval: must be at least 1, not 0"},
    {R"({"recurrence":2,"dailyInterval":1000000})", "dailyInterval: must be at most 999999, not 1000000"},
    {R"({"recurrence":2,"dailyMode":1,"dailyDayKind":5})", "dailyDayKind: must be 0..4, not 5"},
    {R"({"recurrence":2,"dailyMode":1,"dailyDayKind":-1})", "dailyDayKind: must be 0..4, not -1"},
    {R"({"recurrence":2,"dailyInterval":3,"dailyDayKind":9})", nullptr},
    {R"({"recurrence":2,"dailyMode":1,"dailyDayKind":4,"dailyInterval":0})", nullptr},
    {R"({"recurrence":3,"weeklyMode":2,"weeklyInterval":1})", "weeklyMode: must be 0..1, not 2"},
    {R"({"recurrence":3,"weeklyInterval":0})", "weeklyInterval: must be at least 1, not 0"},
    {R"({"recurrence":3,"weeklyInterval":1000000})", "weeklyInterval: must be at most 999999, not 1000000"},
    {R"({"recurrence":3,"weeklyMode":1,"weeklyWeekOfMonth":3})", "weeklyWeekOfMonth: must be 0..2, not 3"},
    {R"({"recurrence":3,"weeklyMode":1,"weeklyWeekOfMonth":-1})", "weeklyWeekOfMonth: must be 0..2, not -1"},
    {R"({"recurrence":3,"weeklyInterval":2,"weeklyWeekOfMonth":-1})", nullptr},
    {R"({"recurrence":3,"weeklyMode":1,"weeklyWeekOfMonth":2,"weeklyInterval":0})", nullptr},
    {R"({"recurrence":3,"weekDays":[false,false,false,false,false,false,false]})",
     "weekDays: at least one day must be set"},
    {R"({"recurrence":3,"weeklyMode":1,"weeklyWeekOfMonth":0,"weekDays":[false,false,false,false,false,false,false]})",
     "weekDays: at least one day must be set"},
    {R"({"recurrence":2,"weekDays":[false,false,false,false,false,false,false]})", nullptr},
    {R"({"recurrence":4,"monthlyMode":-1})", "monthlyMode: must be 0..1, not -1"},
    {R"({"recurrence":4,"monthlyDay":0})", "monthlyDay: must be at least 1, not 0"},
    {R"({"recurrence":4,"monthlyDay":32})", "monthlyDay: must be at most 31, not 32"},
    {R"({"recurrence":4,"monthlyDay":31})", nullptr},
    {R"({"recurrence":4,"monthlyInterval":0})", "monthlyInterval: must be at least 1, not 0"},
    {R"({"recurrence":4,"monthlyMode":1,"monthlyOrdinal":5})", "monthlyOrdinal: must be 0..4, not 5"},
    {R"({"recurrence":4,"monthlyMode":1,"monthlyDayKind":12})", "monthlyDayKind: must be 0..11, not 12"},
    {R"({"recurrence":4,"monthlyMode":1,"monthlyInterval2":0})", "monthlyInterval2: must be at least 1, not 0"},
    {R"({"recurrence":4,"monthlyMode":1,"monthlyInterval2":1000000})",
     "monthlyInterval2: must be at most 999999, not 1000000"},
    {R"({"recurrence":4,"monthlyOrdinal":9,"monthlyDayKind":-4,"monthlyInterval2":0})", nullptr},
    {R"({"recurrence":4,"monthlyMode":1,"monthlyDay":0,"monthlyInterval":0})", nullptr},
    {R"({"recurrence":5,"yearlyMode":2})", "yearlyMode: must be 0..1, not 2"},
    {R"({"recurrence":5,"yearlyMonth":12})", "yearlyMonth: must be 0..11, not 12"},
    {R"({"recurrence":5,"yearlyMonth":-1})", "yearlyMonth: must be 0..11, not -1"},
    {R"({"recurrence":5,"yearlyDay":0})", "yearlyDay: must be at least 1, not 0"},
    {R"({"recurrence":5,"yearlyDay":32})", "yearlyDay: must be at most 31, not 32"},
    {R"({"recurrence":5,"yearlyMonth":1,"yearlyDay":30})", "yearlyDay: must be at most 29 in February, not 30"},
    {R"({"recurrence":5,"yearlyMonth":3,"yearlyDay":31})", "yearlyDay: must be at most 30 in April, not 31"},
    {R"({"recurrence":5,"yearlyMonth":1,"yearlyDay":29})", nullptr},
    {R"({"recurrence":5,"yearlyMonth":11,"yearlyDay":31})", nullptr},
    {R"({"recurrence":5,"yearlyMode":1,"yearlyOrdinal":5})", "yearlyOrdinal: must be 0..4, not 5"},
    {R"({"recurrence":5,"yearlyMode":1,"yearlyDayKind":12})", "yearlyDayKind: must be 0..11, not 12"},
    {R"({"recurrence":5,"yearlyMode":1,"yearlyMonth2":12})", "yearlyMonth2: must be 0..11, not 12"},
    {R"({"recurrence":5,"yearlyMode":1,"yearlyDay":0,"yearlyMonth":40})", nullptr},
    {R"({"endKind":3})", "endKind: must be 0..2, not 3"},
    {R"({"endKind":1,"endAfterCount":0})", "endAfterCount: must be at least 1, not 0"},
    {R"({"endKind":1,"endAfterCount":1000000})", "endAfterCount: must be at most 999999, not 1000000"},
    {R"({"endKind":0,"endAfterCount":0,"end":{"year":0,"month":0,"day":0}})", nullptr},
    {R"({"endKind":2,"end":{"year":0,"month":0,"day":0}})", "end: must be set when endKind is 2"},
    {R"({"endKind":2,"end":{"year":2026,"month":4,"day":6}})",
     "end: 2026-04-06 is before the starting date 2026-04-07"},
    {R"({"endKind":2,"end":{"year":2026,"month":4,"day":7}})", nullptr},
    {R"({"endKind":2,"end":{"year":2026,"month":4,"day":8,"dayOfWeek":5}})",
     "end.dayOfWeek: must be 4 (Wednesday) for 2026-04-08, not 5"},
    {R"({"endKind":2,"end":{"year":2027,"month":2,"day":29}})",
     "end.day: 29 is not a day of February 2027, which has 28"},
    {R"({"start":null})", "start: must be given"},
    {R"({"start":{"year":0,"month":0,"day":0}})", "start: must be set"},
    {R"({"start":{"year":2026,"month":4,"day":7,"hour":24}})", "start: invalid date: hour 24 is not 0..23"},
    {R"({"start":{"year":2026,"month":4,"day":31}})", "start.day: 31 is not a day of April 2026, which has 30"},
    {R"({"start":{"year":2026,"month":4,"day":7,"dayOfWeek":2}})",
     "start.dayOfWeek: must be 3 (Tuesday) for 2026-04-07, not 2"},
    {R"({"start":{"year":2026,"month":4,"day":7,"dayOfWeek":3}})", nullptr},
    {R"({"lastSent":{"year":2026,"month":4,"day":5,"dayOfWeek":2,"hour":9}})",
     "lastSent.dayOfWeek: must be 1 (Sunday) for 2026-04-05, not 2"},
    {R"({"nextSending":{"year":2026,"month":4,"day":11,"dayOfWeek":1,"hour":9}})",
     "nextSending.dayOfWeek: must be 7 (Saturday) for 2026-04-11, not 1"},
    // A year near INT_MAX once overflowed the day-of-week sum and indexed before its table.
    {R"({"start":{"year":2147483647,"month":1,"day":1,"hour":9}})",
     "start: invalid date: year 2147483647 is not 1900..9999"},
    {R"({"endKind":2,"end":{"year":10000,"month":1,"day":1}})", "end: invalid date: year 10000 is not 1900..9999"},
    {R"({"start":{"year":1899,"month":12,"day":31,"hour":9}})", "start: invalid date: year 1899 is not 1900..9999"},
    {R"({"endKind":2,"end":{"year":9999,"month":12,"day":31}})", nullptr},
};
// clang-format on

nlohmann::ordered_json RuleTask(const CRuleCase& c, int nIndex) {
    // Valid for every recurrence: each count 1, Monday ticked by default.
    auto j = nlohmann::ordered_json::parse(
        R"({"taskName":"t","endKind":0,"minuteInterval":1,"dailyInterval":1,"weeklyInterval":1,"monthlyDay":1,
        "monthlyInterval":1,"monthlyInterval2":1,"yearlyDay":1,"start":{"year":2026,"month":4,"day":7,"hour":9}})");
    j["taskName"] = "t" + std::to_string(nIndex);  // names are unique in a list
    const auto jKeys = nlohmann::ordered_json::parse(c.pszKeys);
    for (auto& [k, v] : jKeys.items()) {
        if (v.is_null()) j.erase(k);
        else j[k] = v;
    }
    return j;
}

TEST_F(CliTest, ImportChecksEveryRuleAndNamesTaskAndKey) {
    nlohmann::ordered_json arr = nlohmann::ordered_json::array();
    for (const auto& c : kRuleCases) arr.push_back(RuleTask(c, static_cast<int>(arr.size())));
    CRun r = Run("import " + FileArg(), arr.dump());
    EXPECT_EQ(r.nExit, 2);
    std::map<int, std::vector<std::string>> mapProblems;
    std::istringstream in(r.strErr);
    for (std::string strLine; std::getline(in, strLine);) {
        int nTask = 0;
        int nUsed = 0;
        if (std::sscanf(strLine.c_str(), "quillory: task %d: %n", &nTask, &nUsed) == 1 && nUsed > 0)
            mapProblems[nTask].push_back(strLine.substr(static_cast<size_t>(nUsed)));
    }
    int i = 0;
    for (const auto& c : kRuleCases) {
        ++i;
        const std::vector<std::string> vecExpected =
            c.pszProblem ? std::vector<std::string>{c.pszProblem} : std::vector<std::string>{};
        EXPECT_EQ(mapProblems[i], vecExpected) << "task " << i << ": " << c.pszKeys;
    }
    EXPECT_TRUE(Contains(r.strErr, "nothing written"));
    EXPECT_FALSE(fs::exists(m_strFile));

    // The accepted rows alone go in.
    nlohmann::ordered_json arrGood = nlohmann::ordered_json::array();
    for (const auto& c : kRuleCases)
        if (!c.pszProblem) arrGood.push_back(RuleTask(c, static_cast<int>(arrGood.size())));
    r = Run("import " + FileArg(), arrGood.dump());
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    const CTaskList back = Load();
    EXPECT_EQ(back.GetSize(), static_cast<int>(arrGood.size()));
}

// A task must fit in one record of the file, measured in its code page:
// 248 bytes around the texts, so a name of 1,048,328 bytes is the most.
TEST_F(CliTest, ImportRefusesATaskTooLargeForTheFile) {
    const size_t nMostName = 1048576 - 248;
    auto task = [](const std::string& strName, const std::string& strTemplate) {
        auto j = nlohmann::ordered_json::parse(R"({"endKind":0,"start":{"year":2026,"month":4,"day":7}})");
        j["taskName"] = strName;
        j["templateFile"] = strTemplate;
        return j;
    };
    // "\xC3\xA9" is two bytes here and one in CP1252.
    std::string strAccented;
    for (size_t i = 0; i < nMostName; ++i) strAccented += "\xC3\xA9";
    nlohmann::ordered_json arr = {task("small", ""), task(std::string(nMostName + 1, 'n'), ""),
                                  task("x", std::string(nMostName - 1, 't')), task("y", std::string(nMostName, 't'))};
    arr[3]["attachments"] = {"/a"};
    CRun r = Run("import " + FileArg(), arr.dump());
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(Contains(r.strErr,
                         "task 2: taskName: the task would take 1048577 bytes in the task list file, more than "
                         "the 1048576 a task may take"));
    EXPECT_TRUE(Contains(r.strErr, "task 4: templateFile: the task would take 1048583 bytes"));
    EXPECT_FALSE(Contains(r.strErr, "task 1"));
    EXPECT_FALSE(Contains(r.strErr, "task 3"));
    EXPECT_FALSE(fs::exists(m_strFile));

    r = Run("import " + FileArg(), nlohmann::ordered_json{task(strAccented, ""), task("after", "")}.dump());
    ASSERT_EQ(r.nExit, 0) << r.strErr.substr(0, 2000);
    const CTaskList back = Load();
    ASSERT_EQ(back.GetSize(), 2);
    EXPECT_EQ(back[0].m_strTaskName, strAccented);
    EXPECT_EQ(back[1].m_strTaskName, "after");
}

// The output and exit status of next (the times themselves:
// NextAgainstReferenceTest), under a fixed zone so
// the expected lines do not depend on the machine.
TEST_F(CliTest, NextPrintsTheComingSendingTimes) {
    m_strEnv = "TZ=Europe/Berlin ";
    CRun r = Run("import " + FileArg(), R"([
        {"taskName":"daily","recurrence":2,"dailyInterval":1,"endKind":0,
         "start":{"year":2025,"month":3,"day":29,"dayOfWeek":7,"hour":10,"minute":0,"second":1}},
        {"taskName":"twice","recurrence":1,"minuteInterval":15,"endKind":1,"endAfterCount":2,
         "start":{"year":2025,"month":1,"day":1,"dayOfWeek":4,"hour":10,"minute":0,"second":1}},
        {"taskName":"bad","recurrence":0,"start":{"year":1980,"month":1,"day":1},
         "lastSent":{"year":2025,"month":1,"day":1,"dayOfWeek":4,"hour":10,"minute":0,"second":1}}])");
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    // Stored state: no next time yet, so the schedule is complete as stored.
    r = Run("next 1 --count 3 " + FileArg());
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "Completed\n");

    // From a present: the spring change leaves the sending time on the clock.
    r = Run("next 1 --count 4 --now '2025-03-29 09:00' " + FileArg());
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "2025-03-29 10:00\n2025-03-30 10:00\n2025-03-31 10:00\n2025-04-01 10:00\n") << r.strOut;
    // The file is left as it was.
    const CTaskList back = Load();
    EXPECT_FALSE(back[0].m_dtNextSending.IsSet());

    // A task by its exact name, as every command takes it.
    r = Run("next twice --now '2025-01-01 10:00' " + FileArg());
    EXPECT_EQ(r.strOut, "2025-01-01 10:00\n2025-01-01 10:15\nCompleted\n");
    for (const char* pszMissing : {"next 4", "next 0", "next x"}) {
        r = Run(std::string(pszMissing) + " " + FileArg());
        EXPECT_EQ(r.nExit, 2) << pszMissing;
        EXPECT_TRUE(Contains(r.strErr, "there is no task"));
    }
    for (const char* pszBad : {"next", "next 1 --count 0", "next 1 --now 2025-02-30", "list --count 3"}) {
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
    Save(list);
    const CRun r = Run("next 1 " + FileArg());
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(Contains(r.strErr, "task 1: lastSent: invalid date: hour 25"));
}

// A list shows each task's place, mark, name and next time; a damaged
// file still shows the tasks before the damage, so that they can be
// salvaged, and says it is not whole.
TEST_F(CliTest, ListShowsEachTaskAndOfADamagedFileTheReadableOnesWithExit2) {
    Save(Sample());
    for (const bool bDamaged : {false, true}) {
        SCOPED_TRACE(bDamaged ? "damaged" : "whole");
        const CRun r = Run("list " + FileArg());
        EXPECT_EQ(r.nExit, bDamaged ? 2 : 0);
        EXPECT_EQ(r.strErr, bDamaged ? "quillory: " + m_strFile +
                                           ": task 3: record length 2000000 out of range (2 of 3 tasks readable)\n"
                                     : "");
        EXPECT_EQ(r.strOut.substr(0, r.strOut.find('\n')), "1 * Weekly report \xC3\xA9 2025-03-10 09:00");
        EXPECT_TRUE(Contains(r.strOut, "\n2   Done Completed\n"));
        std::vector<uint8_t> v = CTaskListFile::Encode(Sample(), m_codec);
        v[0] = 3;                                                   // a third task ...
        for (uint8_t b : {0x80, 0x84, 0x1E, 0x00}) v.push_back(b);  // ... whose record claims 2,000,000 bytes
        CTempDir::WriteFile(m_strFile, std::string(v.begin(), v.end()));
    }
    CRun r = Run("export " + FileArg());
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(Contains(r.strErr, "task 3: record length 2000000"));
    auto j = nlohmann::json::parse(r.strOut);
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["taskName"], "Weekly report \xC3\xA9");
    EXPECT_EQ(j[1]["taskName"], "Done");
    // What was salvaged goes back in whole.
    fs::remove(m_strFile);
    r = Run("import " + FileArg(), j.dump());
    EXPECT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(Load().GetSize(), 2);
}

// `next` reads each task's rules from the store beside the list: damaged
// rules are told and count as none, a calendar that is gone names no
// holiday. The times the rules give: NextAgainstReferenceTest.
TEST_F(CliTest, NextToldOfRulesItCannotReadTakesNone) {
    const CRun rImport = Run("import " + FileArg(), R"([{"taskName":"t","active":true,"endKind":0,"recurrence":2,
        "templateFile":"/d/t.oft","dailyInterval":1,"start":{"year":2027,"month":12,"day":1,"hour":9,"second":1}}])");
    ASSERT_EQ(rImport.nExit, 0) << rImport.strErr;
    const struct {
        const char* pszName;
        nlohmann::json jRules;  // as the store keeps them
        const char* pszErr;     // found in what is told
    } cases[] = {
        {"damaged rules count as none", {{"onHoliday", "sideways"}}, "rules.onHoliday"},
        {"a missing calendar names no holiday",
         {{"onHoliday", "after"}, {"holidays", {m_dir / "gone.ics"}}, {"workingDays", "mon-sun"}},
         "gone.ics"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CTempDir::WriteFile(m_dir / "tasks.json", R"({"version":2,"tasks":{"t.oft":{"id":"0123456789abcdef",)"
                                                  R"("history":[],"settings":{"rules":)" +
                                                      c.jRules.dump() + "}}}}");
        const CRun r = Run("next 1 --count 4 --now '2027-12-24 00:00' " + FileArg());
        EXPECT_EQ(r.nExit, 0) << r.strErr;
        EXPECT_EQ(r.strOut, "2027-12-24 09:00\n2027-12-25 09:00\n2027-12-26 09:00\n2027-12-27 09:00\n");
        EXPECT_TRUE(Contains(r.strErr, c.pszErr));
    }
}
