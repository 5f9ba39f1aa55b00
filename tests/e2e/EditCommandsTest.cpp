// quillory add, set, remove, enable, disable, copy, move and send-now while
// `mailhost --headless` runs with the add-in: the add-in applies each to its
// own list and saves it, a task added this way goes out with its embedded
// and its folder attachments, the changes survive the host's restart,
// send-now is sent by the host and counted, and a refused change leaves
// the file as it was.
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "CHeadlessTestBase.h"
#include "CTaskListLock.h"
#include "ResultValue.h"
#include "ShellRun.h"
#include "ZoneGuard.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

using CRun = CShellRun;

class EditCommandsTest : public CHeadlessTestBase {
protected:
    EditCommandsTest() {
        ::mkdir((m_dir / "run").c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", (m_dir / "run").c_str(), 1);
    }
    ~EditCommandsTest() override { unsetenv("XDG_RUNTIME_DIR"); }

    // The tool with these arguments, on the default task list (the host's).
    CRun Tool(const std::vector<std::string>& vecArgs) {
        std::string strCmd = ShellQuoted(QUILLORY_CLI);
        for (const std::string& str : vecArgs) strCmd += " " + ShellQuoted(str);
        return RunShell(strCmd + " 2> " + ShellQuoted(m_dir / "tool.err"), m_dir / "tool.err");
    }
    CRun Add(const std::string& strSubject, std::vector<std::string> vecArgs) {
        std::vector<std::string> vec = {"add",
                                        "--to",
                                        "Rita Receiver <rita@example.com>",
                                        "--subject",
                                        strSubject,
                                        "--body",
                                        "Body of " + strSubject};
        vec.insert(vec.end(), vecArgs.begin(), vecArgs.end());
        return Tool(vec);
    }
    static std::vector<std::string> Names(const nlohmann::json& j) {
        std::vector<std::string> vec;
        for (const auto& t : j) vec.push_back(t["taskName"]);
        return vec;
    }
    void StartHostAndWait() {
        StartHost();
        ASSERT_TRUE(WaitForLog(m_dir / "host.log", "add-in Quillory (TarnwickQuillory.Addin) connected", seconds(20)))
            << CTempDir::ReadFile(m_dir / "host.log");
    }
    // The files of the data folder, the lock file (which names its holder) left out.
    std::map<std::string, std::string> Folder() const {
        std::map<std::string, std::string> map;
        for (const auto& e : fs::directory_iterator(DataDir()))
            if (e.path().extension() != ".lock")
                map[e.path().filename().string()] = CTempDir::ReadFile(e.path().string());
        return map;
    }
    // While the host runs, its lock keeps the tool from writing the file
    // itself: a change that succeeds was made by the host.
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

    // Scheduled as at 10:00 for 10:01 on a day long past: on the host's
    // clock that minute is overdue, and a new task sends overdue messages.
    const CRun run = Add("Quarterly figures", {"--once", "--now", "2024-06-07 10:00", "--start", "2024-06-07 10:01",
                                               "--attach", m_dir / "summary.pdf", "--attach-entry", strMask});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, "Added task 1 \"Quarterly figures\"\nNext sending times:\n  2024-06-07 10:01\n");
    ExpectTheHostHoldsTheLock();

    ASSERT_TRUE(WaitForMessages(1, seconds(30))) << CTempDir::ReadFile(m_dir / "host.log");
    ExpectOneMessage("Quarterly figures", "Body of Quarterly figures", {"summary.pdf", "a.txt", "b.txt"},
                     "rita@example.com");
    if (HasFailure()) return;

    const nlohmann::json j = Export();
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_EQ(j[0]["lastSent"]["day"], 7);
    EXPECT_EQ(j[0]["lastSent"]["hour"], 10);
    EXPECT_EQ(j[0]["lastSent"]["minute"], 1);
    EXPECT_EQ(j[0]["nextSending"]["year"], 0) << "sent once, completed";
    EXPECT_EQ(fs::path(j[0]["templateFile"].get<std::string>()).parent_path(), fs::path(DataDir()).parent_path());
}

INSTANTIATE_TEST_SUITE_P(Zones, AddWhileRunningTest, ::testing::Values("Europe/Berlin", "America/New_York"),
                         [](const auto& info) { return ZoneTestName(info.param); });

TEST_F(EditCommandsTest, ChangesMadeByTheHostSurviveItsRestart) {
    // Far ahead, so that nothing is sent while the test runs.
    for (const char* psz : {"A", "B", "C"})
        ASSERT_EQ(Add(psz, {"--weekly", "--days", "mon", "--start", "2030-01-07 09:00"}).nExit, 0);
    StartHostAndWait();
    const std::string strTemplateA = Export()[0]["templateFile"];

    const std::vector<std::vector<std::string>> vecCommands = {
        {"set", "B", "--monthly", "--day", "15", "--name", "B monthly", "--end-after", "4"},
        {"disable", "C"},
        {"move", "C", "first"},
        {"copy", "B monthly"},
        {"remove", "A"},
        {"disable", "Copy of B monthly"},
        {"enable", "3"},
    };
    for (const auto& vecArgs : vecCommands) {
        const CRun run = Tool(vecArgs);
        ASSERT_EQ(run.nExit, 0) << vecArgs[0] << ": " << run.strErr;
    }
    ExpectTheHostHoldsTheLock();
    // The reading commands read what the host saved.
    const CRun list = Tool({"list"});
    EXPECT_EQ(list.nExit, 0);
    EXPECT_NE(list.strOut.find("1   C 2030-01-07 09:00\n"), std::string::npos) << list.strOut;
    EXPECT_NE(list.strOut.find("2 * B monthly 2030-01-15 09:00\n      Day 15 of every month at 09:00, 4 times\n"),
              std::string::npos)
        << list.strOut;
    EXPECT_EQ(Tool({"next", "2", "--count", "2"}).strOut, "2030-01-15 09:00\n2030-02-15 09:00\n");
    const auto fnCheck = [&](const char* pszWhen) {
        SCOPED_TRACE(pszWhen);
        const nlohmann::json j = Export();
        ASSERT_EQ(Names(j), (std::vector<std::string>{"C", "B monthly", "Copy of B monthly"}));
        EXPECT_EQ(j[0]["active"], false);
        EXPECT_EQ(j[2]["active"], true);
        EXPECT_EQ(j[1]["recurrence"], 4);
        EXPECT_EQ(j[1]["monthlyDay"], 15);
        EXPECT_EQ(j[1]["endAfterCount"], 4);
        EXPECT_EQ(j[1]["nextSending"]["day"], 15);
        EXPECT_EQ(j[1]["nextSending"]["month"], 1);
        EXPECT_EQ(j[1]["nextSending"]["year"], 2030);
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

TEST_F(EditCommandsTest, SendNowIsSentByTheHostAndCounted) {
    ASSERT_EQ(
        Add("Stock count", {"--weekly", "--days", "mon", "--start", "2030-01-07 09:00", "--end-after", "5"}).nExit, 0);
    const std::string strBytes = CTempDir::ReadFile(TaskFile());
    // Without a host nothing can be sent, and nothing is written.
    CRun run = Tool({"send-now", "Stock count"});
    EXPECT_EQ(run.nExit, 3);
    EXPECT_NE(run.strErr.find("a running host is needed to send"), std::string::npos) << run.strErr;
    EXPECT_EQ(CTempDir::ReadFile(TaskFile()), strBytes);

    StartHostAndWait();
    run = Tool({"send-now", "1"});
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strOut, "Sent task 1 \"Stock count\" now; next sending: 2030-01-07 09:00\n");
    ASSERT_TRUE(WaitForMessages(1, seconds(30))) << CTempDir::ReadFile(m_dir / "host.log");
    EXPECT_EQ(CountSubject("Stock count"), 1u);
    const nlohmann::json j = Export();
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_NE(j[0]["lastSent"]["year"], 0);
    EXPECT_EQ(j[0]["nextSending"]["year"], 2030) << "the regular sending still stands";
    m_host.Stop();
    EXPECT_EQ(Export()[0]["occurrenceCount"], 1);
    EXPECT_EQ(m_server.Received().size(), 1u);
}

TEST_F(EditCommandsTest, WhatTheHostRefusesLeavesEveryFileAsItWas) {
    ASSERT_EQ(Add("Kept", {"--daily", "--start", "2030-01-07 09:00"}).nExit, 0);
    StartHostAndWait();
    const auto before = Folder();
    const struct {
        std::vector<std::string> vecArgs;
        std::string strProblem;
    } arrCases[] = {
        {{"add", "--to", "a@example.org", "--subject", "Kept", "--body", "b"},
         "--name: The task name already exists, please change it."},
        {{"add", "--to", "a@example.org", "--subject", "New", "--body", "b", "--start", "2024-01-01 10:00", "--now",
          "2024-01-01 11:00"},
         ""},
        {{"set", "9", "--daily"}, "there is no task 9 (the list has 1)"},
        {{"set", "Kept", "--end-date", "2029-12-31"}, "--end-date: 2029-12-31 is before the starting date"},
        {{"move", "1", "to", "2"}, "to: must be up, down, first, last or a place from 1 to 1"},
        {{"remove", "Gone"}, "there is no task named \"Gone\""},
    };
    for (const auto& c : arrCases) {
        SCOPED_TRACE(c.vecArgs[0] + " " + c.vecArgs[1]);
        const CRun run = Tool(c.vecArgs);
        // A start before the present is refused before any host is asked.
        EXPECT_EQ(run.nExit, c.strProblem.empty() ? 1 : 3) << run.strErr;
        EXPECT_NE(run.strErr.find(c.strProblem), std::string::npos) << run.strErr;
        if (!c.strProblem.empty()) {
            EXPECT_NE(run.strErr.find("refused the " + c.vecArgs[0] + "; nothing changed"), std::string::npos);
        }
        EXPECT_EQ(Folder(), before);
    }
    m_host.Stop();
    EXPECT_EQ(Folder(), before);
}
