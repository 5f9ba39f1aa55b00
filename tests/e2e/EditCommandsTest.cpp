// The tool's editing commands while `mailhost --headless` runs with the
// add-in, which applies and saves each; mistakes, refusals, a host killed
// mid-change and the documented commands, against real processes.
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "CHeadlessTestBase.h"
#include "CMessageSwap.h"
#include "CSeededRandom.h"
#include "CSettingsAhead.h"
#include "CTaskHistoryFile.h"
#include "CTaskListFile.h"
#include "CTaskListLock.h"
#include "CTaskRulesJson.h"
#include "CTemplateName.h"
#include "CTextCodec.h"
#include "Contains.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "ZoneGuard.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

using CRun = CShellRun;

class EditCommandsTest : public CHeadlessTestBase {
protected:
    CRun Add(const std::string& strSubject, std::vector<std::string> vecArgs) {
        vecArgs.insert(vecArgs.begin(), {"add", "--to", "Rita Receiver <rita@example.com>", "--subject", strSubject,
                                         "--body", "Body of " + strSubject});
        return Tool(vecArgs);
    }
    // The files of the data folder, the lock file (which names its holder) left out.
    std::map<std::string, std::string> Folder() const {
        std::map<std::string, std::string> map;
        for (const auto& e : fs::directory_iterator(DataDir()))
            if (e.path().extension() != ".lock")
                map[e.path().filename().string()] = CTempDir::ReadFile(e.path().string());
        return map;
    }
    // So a change that succeeds was made by the host, not the tool itself.
    void ExpectTheHostHoldsTheLock() {
        CTaskListLock lock;
        EXPECT_EQ(ValueOf(lock.TryAcquire(TaskFile())), CTaskListLock::EState::kBusy);
    }
};

class AddWhileRunningTest : public EditCommandsTest, public ::testing::WithParamInterface<const char*> {};

}  // namespace

TEST_P(AddWhileRunningTest, AnAddedTaskGoesOutAtItsMinuteWithItsAttachments) {
    CZoneGuard zone(GetParam());
    const std::string strMask = MakeAttachmentFolder();
    CTempDir::WriteFile(m_dir / "summary.pdf", "%PDF-1.4 summary\n");
    StartHostAndWait();

    // Not a next minute so close that it passes between the tool's check and the host's.
    if (TaskTime::FromAbsolute(std::time(nullptr)).nSecond > 50) std::this_thread::sleep_for(seconds(10));
    const TaskDateTime start = MinuteFromNow(1);
    const CRun run = Add("Quarterly figures", {"--once", "--start", TaskTime::Format(start), "--attach",
                                               m_dir / "summary.pdf", "--attach-entry", strMask});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut,
              "Added task 1 \"Quarterly figures\"\nNext sending times:\n  " + TaskTime::Format(start) + "\n");
    ExpectTheHostHoldsTheLock();

    ASSERT_TRUE(WaitForMessages(1, seconds(90))) << HostLog();
    ExpectOneMessage("Quarterly figures", "Body of Quarterly figures", {"summary.pdf", "a.txt", "b.txt"},
                     "rita@example.com");
    if (HasFailure()) return;

    const nlohmann::json j = Export();
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_EQ(j[0]["lastSent"]["day"], start.nDay);
    EXPECT_EQ(j[0]["lastSent"]["hour"], start.nHour);
    EXPECT_EQ(j[0]["lastSent"]["minute"], start.nMinute);
    EXPECT_EQ(j[0]["nextSending"]["year"], 0) << "sent once, completed";
    EXPECT_EQ(fs::path(j[0]["templateFile"].get<std::string>()).parent_path(), fs::path(DataDir()).parent_path());
}

INSTANTIATE_TEST_SUITE_P(Zones, AddWhileRunningTest, TestZones("Europe/Berlin", "America/New_York"),
                         [](const auto& info) { return ZoneTestName(info.param); });

TEST_F(EditCommandsTest, ChangesMadeByTheHostSurviveItsRestart) {
    // Far ahead, so that nothing is sent while the test runs.
    for (const char* psz : {"A", "B", "C"})
        ASSERT_EQ(Add(psz, {"--weekly", "--days", "mon", "--start", "2030-01-07 09:00"}).nExit, 0);
    StartHostAndWait();
    const std::string strTemplateA = Export()[0]["templateFile"];

    for (const std::vector<std::string>& vecArgs :
         {std::vector<std::string>{"set", "B", "--monthly", "--day", "15", "--name", "B monthly", "--end-after", "4"},
          {"disable", "C"},
          {"move", "C", "first"},
          {"copy", "B monthly"},
          {"remove", "A"},
          {"disable", "Copy of B monthly"},
          {"enable", "3"}}) {
        const CRun run = Tool(vecArgs);
        ASSERT_EQ(run.nExit, 0) << vecArgs[0] << ": " << run.strErr;
    }
    ExpectTheHostHoldsTheLock();
    const CRun list = Tool({"list"});
    EXPECT_EQ(list.nExit, 0);
    EXPECT_TRUE(Contains(list.strOut, "1   C 2030-01-07 09:00\n"));
    EXPECT_TRUE(
        Contains(list.strOut, "2 * B monthly 2030-01-15 09:00\n      Day 15 of every month at 09:00, 4 times\n"));
    const auto fnCheck = [&](const char* pszWhen) {
        SCOPED_TRACE(pszWhen);
        const nlohmann::json j = Export();
        ASSERT_EQ(Names(j), (std::vector<std::string>{"C", "B monthly", "Copy of B monthly"}));
        EXPECT_EQ(j[0]["active"], false);
        EXPECT_EQ(j[2]["active"], true);
        EXPECT_EQ(j[1]["endAfterCount"], 4);
        EXPECT_EQ(j[1]["nextSending"]["day"], 15);
        EXPECT_EQ(j[2]["templateFile"], j[1]["templateFile"].get<std::string>() + ".oft");
        EXPECT_TRUE(fs::exists(j[2]["templateFile"].get<std::string>()));
        EXPECT_TRUE(fs::exists(strTemplateA)) << "a removed task's template stays on disk";
    };
    fnCheck("saved by the host at once");
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
    fnCheck("after the host's save at its end");
    StartHostAndWait();
    m_host.Stop();
    fnCheck("after a restart");
    EXPECT_EQ(m_server.Received().size(), 0u);
}

// One mistake of each kind (the rules themselves are TaskListEditTest's),
// with no host and with one: the same status (a script cannot tell which
// served it), the same words, every file as it was; 3 is kept for a host
// out of reach or refusing for its own reasons. send-now uses up no
// occurrence and carries the time it was sent for in place of one.
TEST_F(EditCommandsTest, AMistakeHasTheSameStatusWithAndWithoutAHostAndSendNowIsAnExtraMessage) {
    ASSERT_EQ(Add("Kept", {"--daily", "--start", "2030-01-07 09:00"}).nExit, 0);
    ASSERT_EQ(
        Add("Stock count", {"--weekly", "--days", "mon", "--start", "2030-01-07 09:00", "--end-after", "5"}).nExit, 0);
    CTempDir::WriteFile(m_dir / "bad.json",
                        R"([{"taskName": "X", "recurrence": 1, "minuteInterval": 0,)"
                        R"( "start": {"year": 2030, "month": 1, "day": 7, "hour": 9, "minute": 0}}])");
    const struct {
        std::vector<std::string> vecArgs;
        int nExit;
        std::string strProblem;
    } arrCases[] = {
        {{"add", "--to", "a@example.org", "--subject", "Kept", "--body", "b"},
         2,
         "--name: The task name already exists, please change it."},
        {{"set", "9", "--daily"}, 2, "there is no task 9 (the list has 2)"},
        {{"set", "Kept", "--daily", "--interval", "0"}, 1, "--interval: Please enter a number between 1 and 999999."},
        {{"remove", "Gone"}, 2, "there is no task named \"Gone\""},
        {{"send-now", "Gone"}, 2, "there is no task named \"Gone\""},
        {{"import"}, 2, "minuteInterval: must be at least 1, not 0"},
        {{"send-now", "Stock count"}, 3, "a running host is needed to send"},
    };
    const auto before = Folder();
    for (const bool bHost : {false, true}) {
        if (bHost) StartHostAndWait();
        for (const auto& c : arrCases) {
            if (bHost && c.nExit == 3) continue;  // with a host it sends: below
            SCOPED_TRACE((bHost ? "host: " : "no host: ") + c.vecArgs[0] + " " +
                         (c.vecArgs.size() > 1 ? c.vecArgs[1] : ""));
            const CRun run = c.vecArgs[0] == "import" ? Tool(c.vecArgs, m_dir / "bad.json") : Tool(c.vecArgs);
            EXPECT_EQ(run.nExit, c.nExit) << run.strErr;
            EXPECT_TRUE(Contains(run.strErr, c.strProblem));
            EXPECT_EQ(Folder(), before);
        }
    }

    const std::string strBytes = CTempDir::ReadFile(TaskFile());
    const CRun run = Tool({"send-now", "2"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, "Sent task 2 \"Stock count\" now; next sending: 2030-01-07 09:00\n");
    ASSERT_TRUE(WaitForMessages(1, seconds(30))) << HostLog();
    EXPECT_EQ(CountSubject("Stock count"), 1u);
    EXPECT_FALSE(Contains(m_server.Received().at(0).strData, "X-Quillory")) << "stamps stay home";
    EXPECT_EQ(CTempDir::ReadFile(TaskFile()), strBytes) << "nothing of the schedule changed";
    std::string strShow;
    const auto fnShown = [&] {
        strShow = Tool({"show", "2"}).strOut;
        return strShow.find("The extra message sent now (") != std::string::npos;
    };
    EXPECT_TRUE(WaitUntil(fnShown, seconds(10))) << strShow;
    EXPECT_TRUE(Contains(strShow, "Last sent:       never"));
    m_host.Stop();
    EXPECT_EQ(CTempDir::ReadFile(TaskFile()), strBytes);
    const auto jHistory = nlohmann::json::parse(CTempDir::ReadFile(DataDir() + "tasks.json"));
    const std::string strStock = fs::path(Export()[1]["templateFile"].get<std::string>()).filename();
    ASSERT_TRUE(jHistory["tasks"].contains(strStock)) << jHistory.dump();
    const auto& jOne = jHistory["tasks"][strStock]["history"].at(0);
    EXPECT_EQ(jOne["sendNow"], true) << jOne.dump();
    EXPECT_EQ(jOne["kind"], "sent") << jOne.dump();
    // The copy in Sent Items names the time it was sent for, and no occurrence.
    std::string strCopy;
    for (const auto& e : fs::recursive_directory_iterator(m_dir.Path()))
        if (e.is_regular_file() && Contains(e.path().string(), "/Sent Items/"))
            strCopy = CTempDir::ReadFile(e.path().string());
    EXPECT_TRUE(Contains(strCopy, "X-Quillory-Send-Now: 20"));
    EXPECT_FALSE(Contains(strCopy, "X-Quillory-Occurrence"));
    EXPECT_EQ(m_server.Received().size(), 1u);
}

// A data folder that cannot be written: a new message is the folder's
// problem (2), with or without a host; a change the host cannot save is its
// own refusal (3), without a host the file's (2). Nothing changes.
TEST_F(EditCommandsTest, AFolderThatCannotBeWrittenIsNamedAndTheHostsOwnRefusalIs3) {
    ASSERT_EQ(Add("Kept", {"--daily", "--start", "2030-01-07 09:00"}).nExit, 0);
    if (CTestProcess::Run({"/usr/bin/chattr", "+i", DataDir()}) != 0) GTEST_SKIP() << "chattr +i needs root and ext4";
    struct CWritableAgain {
        std::string strFolder;
        ~CWritableAgain() { (void)CTestProcess::Run({"/usr/bin/chattr", "-i", strFolder}); }  // the temp folder must go
    } again{DataDir()};
    const auto before = Folder();
    for (const bool bHost : {false, true}) {
        SCOPED_TRACE(bHost ? "host" : "no host");
        if (bHost) StartHostAndWait();
        CRun run = Tool({"set", "Kept", "--subject", "Changed"});
        EXPECT_EQ(run.nExit, 2) << run.strErr;
        EXPECT_TRUE(Contains(run.strErr, "cannot write the message into the data folder"));
        EXPECT_FALSE(Contains(run.strErr, "--eml"));
        // The list, the rules ahead of it, the rules alone.
        for (const std::vector<std::string>& vecArgs : {std::vector<std::string>{"disable", "Kept"},
                                                        {"set", "Kept", "--end-after", "3", "--missed", "none"},
                                                        {"set", "Kept", "--missed", "latest"}}) {
            run = Tool(vecArgs);
            EXPECT_EQ(run.nExit, bHost ? 3 : 2) << vecArgs[0] << vecArgs.size() << run.strErr;
            EXPECT_TRUE(Contains(run.strErr, bHost ? "left as it was" : "nothing written")) << run.strErr;
        }
        EXPECT_EQ(Folder(), before);
    }
    m_host.Stop();
}

// A host killed while it carries out a set or an add: the tool's word
// matches the file, exit 0 only when it holds the change, 3 only when not.
// The host is held (SIGSTOP) until the tool's connection waits for it, then
// killed at once (first round) or within the few milliseconds the change
// takes. QUILLORY_HOST_KILLS sets how many kills (6).
TEST_F(EditCommandsTest, AToolWhoseHostDiesSaysWhatTheFileHolds) {
    ASSERT_EQ(Add("Base", {"--weekly", "--days", "mon", "--start", "2030-01-07 09:00"}).nExit, 0);
    const char* pszKills = std::getenv("QUILLORY_HOST_KILLS");
    const int nKills = pszKills ? std::atoi(pszKills) : 6;
    CSeededRandom random(20261208);
    const auto codec = CTextCodec::Open("UTF-8").Value();
    const std::string strSocket = ValueOf(CTaskListLock::SocketPathOf(TaskFile()));
    // A connection the held host has not taken yet: its socket's path, not listening.
    auto Waiting = [&] {
        std::ifstream in("/proc/net/unix");
        for (std::string strLine; std::getline(in, strLine);)
            if (strLine.ends_with(" " + strSocket) && !Contains(strLine, " 00010000 ")) return true;
        return false;
    };
    for (int i = 0; i < nKills; ++i) {
        SCOPED_TRACE("kill " + std::to_string(i));
        fs::remove(m_dir / "host.log");  // "connected" must be this host's
        StartHostAndWait();
        const bool bAdd = i % 2 == 1;
        const std::string strName = "Added " + std::to_string(i);
        const std::string strCount = std::to_string(i + 2);
        // A new message (placed, then saved) and rules beside the list: its longest changes.
        std::vector<std::string> vecArgs = {"--to", "a@example.org", "--subject", strName, "--body", "b"};
        const std::string strPause = "2031-02-" + std::string(i < 9 ? "0" : "") + std::to_string(i + 1);
        if (bAdd) vecArgs.insert(vecArgs.begin(), "add");
        else vecArgs.insert(vecArgs.begin(), {"set", "Base", "--end-after", strCount, "--pause-until", strPause});
        ::kill(m_host.Pid(), SIGSTOP);
        auto run = std::async(std::launch::async, [&] { return Tool(vecArgs); });
        WaitUntil(Waiting, seconds(20));
        std::this_thread::sleep_for(milliseconds(200));  // the request follows the connection at once
        if (i > 0) {
            ::kill(m_host.Pid(), SIGCONT);
            std::this_thread::sleep_for(milliseconds(random.Int(0, 3)));
        }
        m_host.Kill();
        const CRun result = run.get();
        if (i == 0) {
            EXPECT_EQ(result.nExit, 3) << "the host never read the request: " << result.strErr;
            EXPECT_TRUE(Contains(result.strErr, "the host stopped before it saved the set")) << result.strErr;
        }

        CTaskList list;
        ASSERT_TRUE(CTaskListFile::LoadTaskList(TaskFile(), list, codec).Ok());
        bool bInFile = false;
        for (const CTaskItem& task : list) {
            bInFile |= bAdd ? task.m_strTaskName == strName
                            : task.m_strTaskName == "Base" && task.m_nEndAfterCount == i + 2 && task.m_nEndKind == 1;
            // A set's message and rules go with its values, whenever the host stopped.
            if (!bAdd && task.m_strTaskName == "Base") {
                ASSERT_TRUE(fs::exists(task.m_strTemplateFile)) << result.strErr;
                EXPECT_EQ(Contains(CTempDir::ReadFile(task.m_strTemplateFile), "Subject: " + strName), bInFile)
                    << result.strErr;
                const auto rRules = CTaskRulesJson::Of(CTaskHistoryFile::ReadBeside(TaskFile()), TaskFile(), task);
                ASSERT_TRUE(rRules) << rRules.Problem();
                EXPECT_EQ(CTaskRulesJson::ToJson(*rRules).value("pauseUntil", "") == strPause, bInFile)
                    << result.strErr;
            }
        }
        if (result.nExit == 0) {
            EXPECT_TRUE(bInFile) << "claimed, but not in the file: " << result.strOut << result.strErr;
            EXPECT_TRUE(Contains(result.strOut, bAdd ? "Added task" : "Changed task 1"));
        } else {
            EXPECT_EQ(result.nExit, 3) << result.strErr;
            EXPECT_FALSE(bInFile) << "in the file, but the tool says: " << result.strErr;
            EXPECT_TRUE(Contains(result.strErr, "not applied")) << result.strErr;
        }
        for (const auto& [strFile, strBytes] : Folder())
            EXPECT_FALSE(strFile.starts_with(".quillory-") || Contains(strFile, ".tmp-")) << strFile << " left";
    }
}

// A set's new message in place and its list not saved: whoever takes the
// list next, the tool or the host starting, first puts the old message
// back. Rules left ahead of the list are taken where the list holds their
// record (before the tool's change moves it on), dropped where not.
TEST_F(EditCommandsTest, AMessageLeftWithoutItsSavedListIsUndoneByWhoeverTakesTheListNext) {
    ASSERT_EQ(Add("Base", {"--weekly", "--days", "mon", "--start", "2030-01-07 09:00"}).nExit, 0);
    const std::string strTemplate = Export()[0]["templateFile"];
    const std::string strOld = CTempDir::ReadFile(strTemplate), strNew = DataDir() + ".quillory-new-1.oft";
    const auto codec = CTextCodec::Open("UTF-8").Value();
    const std::string strStore = DataDir() + CTaskHistoryFile::kFileName;
    auto Rules = [&] {
        CTaskList list;
        EXPECT_TRUE(CTaskListFile::LoadTaskList(TaskFile(), list, codec).Ok());
        const auto rRules = CTaskRulesJson::Of(CTaskHistoryFile::ReadBeside(TaskFile()), TaskFile(), list[0]);
        return rRules ? CTaskRulesJson::ToJson(*rRules) : nlohmann::json(rRules.Problem());
    };
    for (const bool bHost : {false, true}) {
        SCOPED_TRACE(bHost ? "the host" : "the tool");
        CTempDir::WriteFile(strNew, "Subject: never saved\n\nbody\n");
        ASSERT_TRUE(CMessageSwap::Begin(DataDir(), TaskFile(), strTemplate, strNew).Ok());
        // The tool finds rules ahead for the record the list holds; the host, for another.
        CTaskList list;
        ASSERT_TRUE(CTaskListFile::LoadTaskList(TaskFile(), list, codec).Ok());
        CTaskItem record = list[0];
        if (bHost) record.m_nEndKind = 1;
        auto rContent = CTaskHistoryFile::FromJsonText(CTempDir::ReadFile(strStore));
        ASSERT_TRUE(rContent) << rContent.Problem();
        rContent->mapEntries[CTaskHistory::KeyOf(strTemplate)].jAhead = {
            {"settings", {{"rules", {{"missed", bHost ? "latest" : "none"}}}}},
            {"record", CSettingsAhead::RecordOf(record, codec)}};
        CTempDir::WriteFile(strStore, CTaskHistoryFile::ToJsonText(*rContent));
        // A new message whose tool ended before its change.
        const pid_t nGone = ::fork();
        if (nGone == 0) ::_exit(0);
        ASSERT_EQ(::waitpid(nGone, nullptr, 0), nGone);
        const std::string strOrphan = CTemplateName::PendingPath(DataDir(), nGone);
        CTempDir::WriteFile(strOrphan, "Subject: orphan\n\nbody\n");
        std::string strTold;
        if (bHost) {
            StartHostAndWait();
            strTold = HostLog();
        } else {
            const CRun run = Tool({"disable", "Base"});
            EXPECT_EQ(run.nExit, 0) << run.strErr;
            strTold = run.strErr;
        }
        EXPECT_TRUE(Contains(strTold, "stopped before the task list was saved, and is undone")) << strTold;
        EXPECT_EQ(CTempDir::ReadFile(strTemplate), strOld);
        EXPECT_EQ(CTempDir::ReadFile(strNew), "Subject: never saved\n\nbody\n") << "its tool (pid 1) still runs";
        EXPECT_FALSE(fs::exists(strOrphan)) << strTold;
        if (bHost) m_host.Stop();  // its start saved the store
        EXPECT_EQ(Rules(), nlohmann::json({{"missed", "none"}}));
        EXPECT_FALSE(Contains(CTempDir::ReadFile(strStore), "\"ahead\"")) << "settled on disk";
        for (const auto& [strFile, strBytes] : Folder())
            EXPECT_FALSE(strFile.starts_with(CMessageSwap::kAsidePrefix) ||
                         strFile.starts_with(CMessageSwap::kNotePrefix))
                << strFile;
    }
}

// Every command in the `sh` blocks of docs/cron-comparison.md, run as
// written against a running host from a folder with the files it names.
TEST_F(EditCommandsTest, DocumentedCommandsRunAsWritten) {
    const std::string strDoc = CTempDir::ReadFile(QUILLORY_CRON_DOC);
    std::vector<std::string> vecCommands;
    bool bInSh = false;
    std::string strPending;
    std::istringstream in(strDoc);
    for (std::string strLine; std::getline(in, strLine);) {
        const std::string strTrimmed = strLine.substr(std::min(strLine.find_first_not_of(' '), strLine.size()));
        if (strTrimmed.rfind("```", 0) == 0) {
            bInSh = !bInSh && strTrimmed == "```sh";
            continue;
        }
        if (!bInSh) continue;
        strPending += strTrimmed;
        if (!strPending.empty() && strPending.back() == '\\') {
            strPending.pop_back();
            continue;
        }
        if (!strPending.empty()) vecCommands.push_back(strPending);
        strPending.clear();
    }
    ASSERT_GE(vecCommands.size(), 8u) << strDoc;

    const fs::path work = m_dir / "jobs";
    fs::create_directories(work / "reports");
    CTempDir::WriteFile(work / "report.txt", "Figures of the day.\n");
    CTempDir::WriteFile(work / "summary.pdf", "%PDF-1.4 summary\n");
    CTempDir::WriteFile(work / "reports/a.csv", "1,2\n");
    CTempDir::WriteFile(work / "reports/b.csv", "3,4\n");
    CTempDir::WriteFile(work / "reminder.eml",
                        "From: Ana <ana@example.org>\nTo: rita@example.com\nSubject: Invoice reminder\n"
                        "Reply-To: billing@example.org\n\nPlease pay the open invoices.\n");
    StartHostAndWait();
    for (const std::string& strCommand : vecCommands) {
        SCOPED_TRACE(strCommand);
        ASSERT_EQ(strCommand.rfind("quillory ", 0), 0u) << "a command of the tool";
        const CRun run = RunShell("cd " + ShellQuoted(work) + " && " + ShellQuoted(QUILLORY_CLI) +
                                      strCommand.substr(8) + " 2> " + ShellQuoted(m_dir / "tool.err"),
                                  m_dir / "tool.err");
        EXPECT_EQ(run.nExit, 0) << run.strErr;
    }
    const nlohmann::json j = Export();
    EXPECT_EQ(Names(j), (std::vector<std::string>{"Daily report", "Stand-up notes", "Month end", "Invoice reminder",
                                                  "Maintenance window"}));
    ASSERT_FALSE(j.empty());
    EXPECT_EQ(j[0]["attachments"], nlohmann::json::array({work / "summary.pdf", work / "reports/*.csv"}))
        << "entries made absolute from the folder they were typed in";
    // send-now went out through the host, with the file and what the mask matched.
    ASSERT_TRUE(WaitForMessages(1, seconds(60))) << HostLog();
    ExpectOneMessage("Daily report", "Figures of the day.", {"summary.pdf", "a.csv", "b.csv"}, "ops@example.com");
}
