// quillory's editing commands with no host running: the tool writes the file itself, a refusal
// leaves every byte as it was; and its help and completion.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CFileOverrideOff.h"
#include "CTaskJson.h"
#include "CTaskListFile.h"
#include "CTempDir.h"
#include "CTemplateFile.h"
#include "CTextCodec.h"
#include "Contains.h"
#include "ShellRun.h"
#include "TaskNames.h"
#include "TaskTime.h"

namespace fs = std::filesystem;

namespace {

using CRun = CShellRun;

class EditCliTest : public ::testing::Test {
protected:
    EditCliTest() {
        fs::create_directories(m_strData);
        // No host can answer: the socket folder is one of this test's own.
        fs::create_directories(m_dir / "run");
        fs::permissions(m_dir / "run", fs::perms::owner_all, fs::perm_options::replace);
    }

    // quillory with the arguments (each quoted), in zone strZone, standard input from strIn.
    CRun Run(const std::vector<std::string>& vecArgs, const std::string& strIn = "",
             const std::string& strZone = "Europe/Berlin") {
        return RunShellIn(m_dir,
                          "TZ=" + strZone + " XDG_RUNTIME_DIR=" + ShellQuoted(m_dir / "run") + " QUILLORY_TEST_NOW=" +
                              ShellQuoted(m_strTestNow) + " " + m_strPrefix + ShellQuoted(QUILLORY_CLI) +
                              ShellWords(vecArgs) + " --file " + ShellQuoted(File()) + " --codepage UTF-8",
                          strIn);
    }
    std::string File() const { return m_strData + "emails.dat"; }
    CTaskList Tasks() const {
        CTaskList list;
        EXPECT_EQ(CTaskListFile::LoadTaskList(File(), list, CTextCodec::Open("UTF-8").Value()).Problem(), "");
        return list;
    }
    // Every file in the data folder with its bytes; the lock file holds
    // the pid of whoever wrote last.
    std::map<std::string, std::string> Folder() const {
        std::map<std::string, std::string> map;
        for (const auto& e : fs::directory_iterator(m_strData))
            map[e.path().filename().string()] = e.path().extension() == ".lock" ? ""
                                                : e.is_directory()              ? "(a folder)"
                                                                                : CTempDir::ReadFile(e.path().string());
        return map;
    }
    // add with a plain message, and the arguments.
    CRun Add(const std::string& strSubject, std::vector<std::string> vecArgs,
             const std::string& strZone = "Europe/Berlin") {
        std::vector<std::string> vec = {"add", "--to", "rita@example.org", "--subject", strSubject, "--body", "Hello"};
        vec.insert(vec.end(), vecArgs.begin(), vecArgs.end());
        return Run(vec, "", strZone);
    }

    // The candidates the completion script offers for a command line whose
    // last word is being completed.
    std::vector<std::string> Complete(const std::vector<std::string>& vecWords) const {
        std::string strScript = "source " + ShellQuoted(QUILLORY_COMPLETION) + "\nCOMP_WORDS=(";
        for (const std::string& str : vecWords) strScript += ShellQuoted(str) + " ";
        strScript += ")\nCOMP_CWORD=" + std::to_string(vecWords.size() - 1) +
                     "\n_quillory\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
        CTempDir::WriteFile(m_dir / "complete.sh", strScript);
        const CRun r =
            RunShell("bash " + ShellQuoted(m_dir / "complete.sh") + " 2> " + ShellQuoted(m_dir / "complete.err"),
                     m_dir / "complete.err");
        EXPECT_EQ(r.strErr, "");
        std::vector<std::string> vec;
        std::istringstream in(r.strOut);
        for (std::string str; std::getline(in, str);)
            if (!str.empty()) vec.push_back(str);
        return vec;
    }

    CTempDir m_dir;
    const std::string m_strData = m_dir / "data/";
    std::string m_strTestNow = "2027-01-04 10:00";  // the tool's present, for the tests alone
    std::string m_strPrefix;                        // what the tool is run through
};

}  // namespace

TEST_F(EditCliTest, AddWritesTheTaskAndATemplateWithTheMessageAndItsFilesOrOneFromStandardInput) {
    CTempDir::WriteFile(m_dir / "figures.csv", "a;b\n1;2\n");
    const CRun r =
        Add("Weekly report", {"--weekly", "--days", "mon,thu", "--start", "2027-01-04 11:30", "--attach",
                              m_dir / "figures.csv", "--attach-entry", m_dir / "reports/*.csv", "--end-after", "3"});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut,
              "Added task 1 \"Weekly report\"\nNext sending times:\n  2027-01-04 11:30\n  2027-01-07 11:30\n"
              "  2027-01-11 11:30\n");
    const CTaskList list = Tasks();
    ASSERT_EQ(list.GetSize(), 1);
    const CTaskItem& t = list[0];
    EXPECT_EQ(t.m_strTemplateFile, m_strData + "Weekly report 20270104100000.oft");
    ASSERT_EQ(t.m_arrAttachments.GetSize(), 1);
    EXPECT_EQ(t.m_arrAttachments[0], m_dir / "reports/*.csv");
    EXPECT_EQ(t.m_nEndKind, 1);
    EXPECT_EQ(t.m_bActive, 1);
    EXPECT_EQ(t.m_bSendOverdue, 1);

    CMailMessage msg;
    ASSERT_EQ(CTemplateFile::Load(t.m_strTemplateFile, msg).Problem(), "");
    EXPECT_EQ(msg.strSubject, "Weekly report");
    EXPECT_EQ(msg.vecTo, std::vector<std::string>{"rita@example.org"});
    EXPECT_TRUE(Contains(msg.strBody, "Hello"));
    ASSERT_EQ(msg.vecAttachments.size(), 1u);
    EXPECT_EQ(msg.vecAttachments[0].strFileName, "figures.csv");
    EXPECT_EQ(std::string(msg.vecAttachments[0].vecData.begin(), msg.vecAttachments[0].vecData.end()), "a;b\n1;2\n");
    // Nothing else is left in the data folder; the new task has its identity.
    std::set<std::string> setNames;
    for (const auto& [strName, strBytes] : Folder()) setNames.insert(strName);
    EXPECT_EQ(setNames, (std::set<std::string>{"emails.dat", "emails.dat.lock", "tasks.json",
                                               "Weekly report 20270104100000.oft"}));

    // A message read from standard input.
    const std::string strEml =
        "From: Ana <ana@example.org>\nTo: Rita <rita@example.org>\nCc: ops@example.org\nSubject: Stock count\n"
        "Reply-To: stock@example.org\nIn-Reply-To: <q1@example.org>\nReferences: <q0@example.org> <q1@example.org>\n"
        "X-Ticket: 4711\nMIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n\nCount the stock.\n";
    const CRun rEml = Run({"add", "--eml", "-", "--daily"}, strEml);
    ASSERT_EQ(rEml.nExit, 0) << rEml.strErr;
    // The account's address sends it, and is its From; the user is told.
    EXPECT_TRUE(Contains(rEml.strErr, "From (Ana <ana@example.org>) is left out"));
    ASSERT_EQ(Tasks().GetSize(), 2);
    EXPECT_EQ(Tasks()[1].m_strTaskName, "Stock count") << "named after the subject";
    ASSERT_EQ(CTemplateFile::Load(Tasks()[1].m_strTemplateFile, msg).Problem(), "");
    EXPECT_EQ(msg.vecCc, std::vector<std::string>{"ops@example.org"});
    EXPECT_TRUE(Contains(msg.strBody, "Count the stock."));
    EXPECT_EQ(msg.strFrom, "");
    const std::vector<std::pair<std::string, std::string>> vecKept = {
        {"Reply-To", "stock@example.org"},
        {"In-Reply-To", "<q1@example.org>"},
        {"References", "<q0@example.org> <q1@example.org>"},
        {"X-Ticket", "4711"}};
    EXPECT_EQ(msg.vecHeaders, vecKept);
}

// Sending times worked out by hand from the rules: wall-clock times of the
// zone, so a zone whose clocks change in between shifts a minutely schedule.
TEST_F(EditCliTest, FirstSendingTimesAreThoseOfTheRulesInEveryZone) {
    const struct {
        const char* pszName;
        std::vector<std::string> vecArgs;
        std::map<std::string, std::vector<std::string>> mapByZone;  // "" for every zone not named
    } arrCases[] = {
        // Days are days on the clock: Berlin's clocks go forward an hour on
        // Sunday 2027-03-28 and Lord Howe's back half an hour on 2027-04-04, and
        // the Mondays after still go at 09:00.
        {"WeeklyMondayAndThursday",
         {"--weekly", "--days", "mon,thu", "--start", "2027-03-25 09:00"},
         {{"", {"2027-03-25 09:00", "2027-03-29 09:00", "2027-04-01 09:00", "2027-04-05 09:00", "2027-04-08 09:00"}}}},
        {"LastWeekdayOfTheMonth",
         {"--monthly", "--ordinal", "last", "--kind", "weekday", "--start", "2027-01-10 08:30"},
         {{"", {"2027-01-29 08:30", "2027-02-26 08:30", "2027-03-31 08:30", "2027-04-30 08:30", "2027-05-31 08:30"}}}},
        {"SecondSundayOfMayYearly",
         {"--yearly", "--ordinal", "second", "--kind", "sun", "--month", "may", "--start", "2027-01-10 07:00"},
         {{"", {"2027-05-09 07:00", "2028-05-14 07:00", "2029-05-13 07:00", "2030-05-12 07:00", "2031-05-11 07:00"}}}},
        {"EveryOtherDayEndingOnADate",
         {"--daily", "--interval", "2", "--start", "2027-01-30 18:00", "--end-date", "2027-02-04"},
         {{"", {"2027-01-30 18:00", "2027-02-01 18:00", "2027-02-03 18:00"}}}},
        {"EveryThirtyMinutesOverAClockChange",
         {"--every-minutes", "30", "--start", "2027-03-28 01:30", "--end-after", "5"},
         {{"", {"2027-03-28 01:30", "2027-03-28 02:00", "2027-03-28 02:30", "2027-03-28 03:00", "2027-03-28 03:30"}},
          // Berlin's clocks go from 02:00 to 03:00 that night: 30 minutes after 01:30 is 03:00.
          {"Europe/Berlin",
           {"2027-03-28 01:30", "2027-03-28 03:00", "2027-03-28 03:30", "2027-03-28 04:00", "2027-03-28 04:30"}}}},
        {"NextWholeMinuteByDefault", {"--once"}, {{"", {"2027-01-05 12:01"}}}},
    };
    m_strTestNow = "2027-01-05 12:00";
    for (const char* pszZone : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata"}) {
        for (const auto& c : arrCases) {
            SCOPED_TRACE(std::string(c.pszName) + " in " + pszZone);
            fs::remove(File());
            const CRun r = Add(c.pszName, c.vecArgs, pszZone);
            ASSERT_EQ(r.nExit, 0) << r.strErr;
            const auto it = c.mapByZone.find(pszZone);
            const std::vector<std::string>& vecTimes = (it != c.mapByZone.end() ? it : c.mapByZone.find(""))->second;
            std::string strExpected = "Added task 1 \"" + std::string(c.pszName) + "\"\nNext sending times:\n";
            for (const std::string& str : vecTimes) strExpected += "  " + str + "\n";
            EXPECT_EQ(r.strOut, strExpected);
            // What is stored is the first of them.
            ASSERT_EQ(Tasks().GetSize(), 1);
            EXPECT_EQ(TaskTime::Format(Tasks()[0].m_dtNextSending), vecTimes.front());
        }
    }
}

TEST_F(EditCliTest, ARefusalWritesNothing) {
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0600), 0);
    CTempDir::WriteFile(
        m_dir / "cut.eml",
        "To: a@example.org\nSubject: s\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n"
        "--b\n\nbody\n--b\nContent-Type: application/pdf\nContent-Transfer-Encoding: base64\n\nJVBERi0x\n");
    CTempDir::WriteFile(m_dir / "bare.eml", "To: rita@example.org\n\nbody\n");
    ASSERT_EQ(Add("First", {"--daily"}).nExit, 0);
    ASSERT_EQ(Add("Second", {"--weekly", "--days", "fri"}).nExit, 0);
    const auto before = Folder();
    // The mistakes a running host refuses alike: EditCommandsTest.
    const struct {
        std::vector<std::string> vecArgs;
        int nExit;
        std::string strMessage;
    } arrCases[] = {
        // clang-format off
        {{"add", "--eml", (m_dir / "missing.eml"), "--name", "x"}, 2, "--eml: cannot open"},
        {{"add", "--eml", (m_dir / "cut.eml"), "--name", "x"}, 2, "--eml: " + m_dir / "cut.eml" + ": the message is cut short"},
        // As the message window's button refuses it.
        {{"add", "--eml", (m_dir / "bare.eml"), "--name", "x"}, 2, "--eml: the message has no subject"},
        // A FIFO nobody writes to once blocked the tool in open() for good.
        {{"add", "--to", "a@example.org", "--subject", "s", "--body-file", m_dir / "fifo"}, 2,
         "--body-file: not a regular file (a FIFO): " + m_dir / "fifo"},
        {{"add", "--to", "a@example.org", "--subject", "s", "--body", "b", "--attach", m_dir / "fifo"}, 2,
         "--attach: not a regular file (a FIFO)"},
        {{"add", "--to", "a@example.org", "--subject", "s", "--body", "b", "--start", "2147483647-01-01 09:00"}, 1,
         "--start"},
        {{"add", "--to", "not an address", "--subject", "s", "--body", "b"}, 2,
         "--to: \"not an address\" is no address"},
        {{"add", "--to", "a@example.org", "--subject", "s", "--body", "b", "--attach", m_dir / "none.pdf"}, 2,
         "--attach: cannot open"},
        // Placeholders that sending could not fill, each with its place.
        {{"add", "--to", "a@example.org", "--subject", "Report {dat} }", "--body", "b"}, 2,
         "--subject: unknown placeholder {dat} at 8\n--subject: single } (a literal brace is written }}) at 14"},
        {{"move", "1", "sideways"}, 1, "move: where to must be up, down, first, last or to N"},
        {{"enable"}, 1, "enable needs a TASK"},
        {{"copy", "1", "2"}, 1, "unexpected argument 2"},
        // A present of the user's choosing would start a flood of catch-up sendings.
        {{"add", "--to", "a@example.org", "--subject", "s", "--body", "b", "--every-minutes", "1", "--start",
          "2025-12-01 09:00", "--now", "2025-11-30 09:00"}, 1, "--now: add and set work from the present"},
        // clang-format on
    };
    for (const auto& c : arrCases) {
        SCOPED_TRACE(c.vecArgs[0] + " " + (c.vecArgs.size() > 1 ? c.vecArgs[1] : ""));
        const CRun r = Run(c.vecArgs);
        EXPECT_EQ(r.nExit, c.nExit) << r.strErr;
        EXPECT_TRUE(Contains(r.strErr, c.strMessage));
        EXPECT_EQ(r.strOut, "");
        EXPECT_EQ(Folder(), before);
    }
}

TEST_F(EditCliTest, EachCommandChangesTheFileWithoutAHost) {
    for (const char* psz : {"A", "B", "C"}) ASSERT_EQ(Add(psz, {"--daily"}).nExit, 0);
    const std::string strTemplateA = Tasks()[0].m_strTemplateFile;

    CRun r = Run({"disable", "B"});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "Disabled task 2 \"B\"\n");
    EXPECT_EQ(Tasks()[1].m_bActive, 0);
    ASSERT_EQ(Run({"enable", "2"}).nExit, 0);
    EXPECT_EQ(Tasks()[1].m_bActive, 1);

    r = Run({"copy", "A"});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "Copied to task 4 \"Copy of A\"\n");
    EXPECT_EQ(Tasks()[3].m_strTemplateFile, strTemplateA + ".oft");

    r = Run({"move", "Copy of A", "to", "2"});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "Moved to task 2 \"Copy of A\"\n");
    EXPECT_EQ(TaskNames(Tasks()), (std::vector<std::string>{"A", "Copy of A", "B", "C"}));
    ASSERT_EQ(Run({"move", "A", "last"}).nExit, 0);

    r = Run({"set", "C", "--monthly", "--day", "15", "--start", "2027-01-01 07:00", "--name", "C monthly"});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut,
              "Changed task 3 \"C monthly\"\nNext sending times:\n  2027-01-15 07:00\n  2027-02-15 07:00\n"
              "  2027-03-15 07:00\n  2027-04-15 07:00\n  2027-05-15 07:00\n");

    // A part of the message given to set replaces that part; the rest, the
    // template's file name (which the task's history is kept by) and the
    // name stay.
    const std::string strTemplateB = Tasks()[1].m_strTemplateFile;
    CTempDir::WriteFile(m_dir / "body.txt", "Body from a file");
    CTempDir::WriteFile(m_dir / "figures.csv", "1,2\n");
    const struct {
        std::vector<std::string> vecArgs;
        const char* pszSubject;
        const char* pszTo;
        const char* pszBody;
        size_t nEmbedded;
    } arrSteps[] = {
        {{"--subject", "B again"}, "B again", "rita@example.org", "Hello", 0},
        {{"--to", "ops@example.org"}, "B again", "ops@example.org", "Hello", 0},
        {{"--body-file", m_dir / "body.txt"}, "B again", "ops@example.org", "Body from a file", 0},
        {{"--attach", m_dir / "figures.csv"}, "B again", "ops@example.org", "Body from a file", 1},
        {{"--daily", "--interval", "2"}, "B again", "ops@example.org", "Body from a file", 1},
    };
    for (const auto& step : arrSteps) {
        SCOPED_TRACE(step.vecArgs[0]);
        std::vector<std::string> vecArgs = {"set", "B"};
        vecArgs.insert(vecArgs.end(), step.vecArgs.begin(), step.vecArgs.end());
        r = Run(vecArgs);
        ASSERT_EQ(r.nExit, 0) << r.strErr;
        ASSERT_EQ(Tasks()[1].m_strTemplateFile, strTemplateB);
        CMailMessage msg;
        ASSERT_EQ(CTemplateFile::Load(strTemplateB, msg).Problem(), "");
        EXPECT_EQ(msg.strSubject, step.pszSubject);
        EXPECT_EQ(msg.vecTo, std::vector<std::string>{step.pszTo});
        EXPECT_EQ(msg.strBody.substr(0, msg.strBody.find_last_not_of("\r\n") + 1), step.pszBody);
        EXPECT_EQ(msg.vecAttachments.size(), step.nEmbedded);
        EXPECT_EQ(Tasks()[1].m_strTaskName, "B");
    }
    // Nothing of the swaps is left: no old message aside, no note.
    for (const auto& [strName, strBytes] : Folder()) EXPECT_FALSE(strName.starts_with(".quillory-")) << strName;
    r = Run({"show", "B"});
    EXPECT_TRUE(Contains(r.strOut,
                         "From:            the account's address\nSubject:         B again\n"
                         "To:              ops@example.org\nEmbedded:        figures.csv (4 bytes)\n"));
    // A task whose message cannot be read needs the whole of a new one.
    fs::remove(strTemplateB);
    r = Run({"set", "B", "--subject", "B once more"});
    EXPECT_EQ(r.nExit, 2);
    EXPECT_TRUE(Contains(r.strErr, "cannot be read"));
    r = Run({"set", "B", "--to", "ops@example.org", "--subject", "B once more", "--body", "Whole"});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(Tasks()[1].m_strTemplateFile, strTemplateB);

    r = Run({"remove", "A"});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "Removed task \"A\"\n");
    EXPECT_TRUE(fs::exists(strTemplateA)) << "a removed task's template stays on disk";
    EXPECT_TRUE(fs::exists(strTemplateA + ".oft"));
    EXPECT_EQ(TaskNames(Tasks()), (std::vector<std::string>{"Copy of A", "B", "C monthly"}));

    // Rules are kept beside the list, shown in words and given to programs.
    ASSERT_EQ(Run({"set", "C monthly", "--missed", "latest", "--zone", "Asia/Tokyo"}).nExit, 0);
    ASSERT_EQ(Run({"set", "C monthly", "--no-zone", "--skip-next"}).nExit, 0);
    r = Run({"show", "C monthly"});
    EXPECT_TRUE(
        Contains(r.strOut, "Rules:           Only the latest missed; skips the next\nMissed:          latest\n"));

    r = Run({"list"});
    ASSERT_EQ(r.nExit, 0);
    EXPECT_TRUE(Contains(r.strOut, "3 * C monthly 2027-01-15 07:00\n      Day 15 of every month at 07:00\n"));
    r = Run({"list", "--json"});
    const auto j = nlohmann::json::parse(r.strOut);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[2]["name"], "C monthly");
    EXPECT_EQ(j[2]["nextSending"], "2027-01-15 07:00");
    EXPECT_EQ(j[2]["schedule"], "Day 15 of every month at 07:00");
    EXPECT_EQ(j[2]["rules"], (nlohmann::json{{"missed", "latest"}, {"skipNext", true}}));
    EXPECT_EQ(j[1]["rules"], nlohmann::json::object());
    EXPECT_EQ(Run({"list", "--names"}).strOut, "Copy of A\nB\nC monthly\n");
}

// "09:00 in New York" on a machine in Berlin: the machine's times move with
// New York's change of the clocks on 14 March 2027 (later ones:
// NextAgainstReferenceTest); the start is read in the task's zone.
TEST_F(EditCliTest, ATaskWithAZoneOfItsOwnGoesAtItsTimeThere) {
    m_strTestNow = "2027-03-10 10:00";
    CRun r = Add("NY", {"--daily", "--start", "2027-03-13 09:00", "--zone", "America/New_York"});
    ASSERT_EQ(r.nExit, 0) << r.strErr;
    EXPECT_TRUE(Contains(r.strOut,
                         "  2027-03-13 15:00 (09:00 America/New_York)\n  2027-03-14 14:00 (09:00 America/New_York)\n"));
    EXPECT_EQ(Tasks()[0].m_dtNextSending.nHour, 15) << "the list keeps the machine's time";
    r = Add("Past", {"--daily", "--start", "2027-03-10 08:00", "--zone", "America/New_York"});
    EXPECT_EQ(r.nExit, 0) << "08:00 in New York is still ahead at 10:00 in Berlin: " << r.strErr;
}

TEST_F(EditCliTest, EveryCommandHasHelpWithAnExample) {
    for (const char* psz : {"add", "set", "remove", "enable", "disable", "copy", "move", "send-now", "list", "show",
                            "next", "ics", "export", "import"}) {
        const CRun r = Run({psz, "--help"});
        EXPECT_EQ(r.nExit, 0) << psz;
        EXPECT_EQ(r.strOut.rfind(std::string("usage: quillory ") + psz, 0), 0u) << r.strOut;
        EXPECT_TRUE(Contains(r.strOut, std::string("example: quillory ") + psz));
    }
    EXPECT_FALSE(fs::exists(File()));
}

TEST_F(EditCliTest, CompletionOffersCommandsOptionsTasksAndNames) {
    ASSERT_EQ(Add("Weekly report", {"--daily"}).nExit, 0);
    ASSERT_EQ(Add("Stock", {"--daily"}).nExit, 0);
    using V = std::vector<std::string>;
    const std::string strCli = QUILLORY_CLI, strFile = File();
    EXPECT_EQ(Complete({strCli, "s"}), (V{"show", "set", "send-now"}));
    EXPECT_EQ(Complete({strCli, "add", "--we"}), (V{"--weekly", "--week-of-month"}));
    EXPECT_EQ(Complete({strCli, "list", "--"}), (V{"--help", "--file", "--codepage", "--json", "--addin", "--names"}));
    EXPECT_EQ(Complete({strCli, "add", "--days", "mon,t"}), (V{"mon,tuesday", "mon,thursday", "mon,tue", "mon,thu"}));
    EXPECT_EQ(Complete({strCli, "set", "1", "--month", "ju"}), (V{"june", "july"}));
    EXPECT_EQ(Complete({strCli, "add", "--kind", "we"}), (V{"weekday", "weekend-day", "wednesday"}));
    // Task names from the file the line names, quoted for the shell.
    EXPECT_EQ(Complete({strCli, "--file", strFile, "--codepage", "UTF-8", "disable", ""}),
              (V{"Weekly\\ report", "Stock"}));
    EXPECT_EQ(Complete({strCli, "remove", "--file", strFile, "W"}), (V{"Weekly\\ report"}));
    EXPECT_EQ(Complete({strCli, "move", "--file", strFile, "Stock", "f"}), (V{"first"}));
    // After the task, a command that takes one wants nothing more.
    EXPECT_EQ(Complete({strCli, "enable", "--file", strFile, "Stock", ""}), V{});
}

// set on tasks of each form: the members the options name take the values
// the rule gives them; every other member keeps the task's value (the next
// and last sending are the schedule's to work out again, so they are left
// out of the comparison).
TEST_F(EditCliTest, SetKeepsEveryMemberItIsNotGiven) {
    const struct {
        const char* pszName;
        std::vector<std::string> vecAdd;  // the task's schedule, as added
        std::vector<std::string> vecSet;  // what set is given
        nlohmann::ordered_json jChanged;  // the members that change, and to what
    } arrCases[] = {
        // clang-format off
        {"OtherDaysKeepEveryOtherWeek", {"--weekly", "--interval", "2", "--days", "mon,thu"}, {"--weekly", "--days", "fri"},
         {{"weekDays", {false, false, false, false, false, true, false}}}},
        {"DailyAloneKeepsItsInterval", {"--daily", "--interval", "3"}, {"--daily"}, {}},
        {"AnotherDayKeepsTheMonthlyInterval", {"--monthly", "--day", "10", "--interval", "3"}, {"--monthly", "--day", "20"},
         {{"monthlyDay", 20}}},
        {"OtherDaysKeepTheWeekOfTheMonth", {"--weekly", "--week-of-month", "3", "--days", "tue"},
         {"--weekly", "--days", "wed"}, {{"weekDays", {false, false, false, true, false, false, false}}}},
        {"AnIntervalSwitchesTheDailyForm", {"--daily", "--kind", "weekday"}, {"--daily", "--interval", "2"},
         {{"dailyMode", 0}, {"dailyInterval", 2}}},
        {"AnOrdinalAloneKeepsKindAndInterval", {"--monthly", "--ordinal", "last", "--kind", "fri", "--interval", "2"},
         {"--monthly", "--ordinal", "first"}, {{"monthlyOrdinal", 0}}},
        // Without a form named, the interval is the task's whichever form it has.
        {"AMonthlyIntervalAloneKeepsTheForm", {"--monthly", "--day", "10", "--interval", "3"},
         {"--monthly", "--interval", "4"}, {{"monthlyInterval", 4}, {"monthlyInterval2", 4}}},
        {"AKindAloneKeepsTheYearlyMonth", {"--yearly", "--ordinal", "second", "--kind", "weekday", "--month", "sep"},
         {"--yearly", "--kind", "fri"}, {{"yearlyDayKind", 10}}},
        {"OptionsAloneKeepTheSchedule", {"--every-minutes", "15"}, {"--no-send-overdue", "--name", "Renamed"},
         {{"sendOverdue", false}, {"taskName", "Renamed"}}},
        // An edited task may start before the present, as in the sheet.
        {"AStartInThePast", {"--daily"}, {"--start", "2020-01-01 10:00"},
         {{"start", {{"year", 2020}, {"month", 1}, {"day", 1}, {"dayOfWeek", 4}, {"hour", 10}, {"minute", 0}, {"second", 0}}}}},
        // clang-format on
    };
    for (const auto& c : arrCases) {
        SCOPED_TRACE(c.pszName);
        fs::remove(File());
        std::vector<std::string> vecAdd = c.vecAdd;
        vecAdd.insert(vecAdd.end(), {"--start", "2027-02-01 09:00"});  // ahead of the tests' present
        ASSERT_EQ(Add(c.pszName, vecAdd).nExit, 0);
        nlohmann::ordered_json jExpected = CTaskJson::ToJson(Tasks()[0]);
        for (const auto& [strKey, jValue] : c.jChanged.items()) jExpected[strKey] = jValue;

        std::vector<std::string> vecSet = {"set", "1"};
        vecSet.insert(vecSet.end(), c.vecSet.begin(), c.vecSet.end());
        const CRun r = Run(vecSet);
        ASSERT_EQ(r.nExit, 0) << r.strErr;
        nlohmann::ordered_json jAfter = CTaskJson::ToJson(Tasks()[0]);
        // Worked out again by the schedule for the edited task, as the sheet does.
        for (const char* pszKey : {"nextSending", "lastSent"}) {
            jExpected.erase(pszKey);
            jAfter.erase(pszKey);
        }
        EXPECT_EQ(jAfter, jExpected) << "expected " << jExpected.dump() << "\n got     " << jAfter.dump();
    }
}

// A task list that is there but cannot be read is no empty list: every
// command names the file and the reason, exits with 2 and writes nothing.
TEST_F(EditCliTest, ATaskListThatCannotBeReadIsNeverTakenForAnEmptyOne) {
    ASSERT_EQ(Add("Kept", {"--daily"}).nExit, 0);
    // Every command, told strReason after the file's name.
    auto checkEvery = [&](const std::string& strReason) {
        const auto before = Folder();
        for (const std::vector<std::string>& vecArgs : std::vector<std::vector<std::string>>{
                 {"list"},
                 {"export"},
                 {"show", "1"},
                 {"next", "1"},
                 {"ics"},
                 {"set", "1", "--daily"},
                 {"enable", "1"},
                 {"remove", "1"},
                 {"add", "--to", "a@example.org", "--subject", "New", "--body", "b"}}) {
            SCOPED_TRACE(vecArgs[0]);
            const CRun r = Run(vecArgs);
            EXPECT_EQ(r.nExit, 2) << r.strErr;
            EXPECT_TRUE(Contains(r.strErr, strReason));
            EXPECT_FALSE(Contains(r.strOut, "Kept"));
            EXPECT_EQ(Folder(), before);
        }
    };
    fs::rename(File(), m_dir / "kept.dat");
    fs::create_directories(File() + "/inside");
    checkEvery("not a regular file (a folder): " + File());
    fs::remove_all(File());
    fs::rename(m_dir / "kept.dat", File());
    // The test runs as root, for whom modes do not count: the tool runs without that power.
    fs::permissions(File(), fs::perms::none);
    if (std::system("setpriv --help > /dev/null 2>&1") == 0) {
        m_strPrefix = CFileOverrideOff::kSetprivPrefix;
        checkEvery("cannot open " + File() + ": Permission denied");
        m_strPrefix.clear();
    } else {
        std::cout << "[  SKIPPED ] a file its user cannot read: setpriv is not there\n";
    }
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(TaskNames(Tasks()), std::vector<std::string>{"Kept"}) << "the list is still all there";
}
