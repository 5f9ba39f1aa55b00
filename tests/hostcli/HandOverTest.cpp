// The headless host and the windows on one profile: as real processes, the
// windows take over from a running headless host, which stands aside and
// runs again once they close, and a due message goes out exactly once from
// whichever holds the profile; against a stand-in holder, one that does not
// stand aside; and the active tasks the windows name before quitting.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "CEnvScope.h"
#include "CHandOver.h"
#include "CHeadlessTestBase.h"
#include "CMailhostRun.h"
#include "CProfileLock.h"
#include "CQuilloryTool.h"
#include "Contains.h"
#include "ZoneGuard.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class HandOverTest : public CHeadlessTestBase {
protected:
    HandOverTest() { setenv("QT_QPA_PLATFORM", "offscreen", 1); }
    ~HandOverTest() override {
        m_windows.Stop();
        unsetenv("QT_QPA_PLATFORM");
    }
    void StartWindows(CTestProcess& process, const std::string& strLog) {
        process.Start({MAILHOST_PROGRAM}, false, strLog);
    }
    std::string Status() { return CMailhostRun::Run(m_dir, {"status"}).strOut; }
    std::string WindowsLog() const { return CTempDir::ReadFile(m_dir / "windows.log"); }
    static size_t Count(const std::string& str, const std::string& strPart) {
        size_t n = 0;
        for (size_t i = str.find(strPart); i != std::string::npos; i = str.find(strPart, i + 1)) ++n;
        return n;
    }

    CTestProcess m_windows;
};

TEST_F(HandOverTest, TheWindowsSendWhileTheHeadlessHostStandsAsideAndItSendsTheNextOccurrenceAfter) {
    CZoneGuard zone("America/St_Johns");  // a half-hour offset, and the host's clock is the real one
    // Far enough ahead that the take-over (a few seconds) is over before it.
    const TaskDateTime dtFirst = MinuteFromNow(std::time(nullptr) % 60 < 40 ? 1 : 2);
    CTaskItem task = Task("every minute", MakeTemplate("minutely", "Every minute", "Body\n"), 1, dtFirst, true);
    task.m_nMinuteInterval = 1;
    CTaskList list;
    list.Add(task);
    Import(list);

    StartHostAndWait();
    StartWindows(m_windows, m_dir / "windows.log");
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "standing aside for the windowed host", seconds(20))) << HostLog();
    ASSERT_TRUE(WaitForLog(m_dir / "windows.log", kConnected, seconds(40))) << WindowsLog();
    const std::string strStatus = Status();
    EXPECT_TRUE(std::regex_search(strStatus, std::regex("host: running, pid [0-9]+, windows, since "))) << strStatus;
    EXPECT_TRUE(std::regex_search(strStatus, std::regex("headless host: standing aside for the windowed host, pid "
                                                        "[0-9]+, since ")))
        << strStatus;
    // Its add-in saved the task list on its way out, for the windows' add-in.
    EXPECT_EQ(Count(HostLog(), "add-in Quillory (TarnwickQuillory.Addin) disconnected"), 1u) << HostLog();

    ASSERT_TRUE(WaitForMessages(1, seconds(150))) << WindowsLog();
    EXPECT_EQ(Count(HostLog(), "mailhost: sent "), 0u) << "the headless host stood aside: " << HostLog();
    m_windows.Stop();
    EXPECT_EQ(m_windows.ExitStatus(), 0) << WindowsLog();
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "the windows are closed: running again", seconds(20))) << HostLog();
    EXPECT_EQ(Count(HostLog(), kConnected), 2u) << HostLog();
    EXPECT_TRUE(Contains(Status(), "host: running, pid"));
    EXPECT_FALSE(Contains(Status(), "standing aside"));

    ASSERT_TRUE(WaitForMessages(2, seconds(100))) << HostLog();
    m_host.Stop();
    EXPECT_EQ(CountSubject("Every minute"), 2u);
    EXPECT_EQ(Count(HostLog(), "mailhost: sent "), 1u) << HostLog();
    const nlohmann::json j = Export();
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["occurrenceCount"], 2) << "one message per occurrence, none sent twice";
}

TEST_F(HandOverTest, ASecondWindowedStartBringsTheFirstToTheFrontAndAHeadlessHostWaitsForTheWindows) {
    StartWindows(m_windows, m_dir / "windows.log");
    ASSERT_TRUE(WaitForLog(m_dir / "windows.log", kConnected, seconds(40))) << WindowsLog();

    // Started again (the desktop entry): the running windows come to the
    // front, and this start ends well without a second host.
    for (int nStart = 0; nStart < 2; ++nStart) {
        CTestProcess second;
        StartWindows(second, m_dir / "second.log");
        EXPECT_EQ(second.Wait(milliseconds(20000)), 0);
        const std::string strSecond = CTempDir::ReadFile(m_dir / "second.log");
        EXPECT_TRUE(Contains(strSecond, "the host's windows are already open (pid "));
        EXPECT_TRUE(Contains(strSecond, "main window was brought to the front"));
        EXPECT_FALSE(Contains(strSecond, kConnected));
    }
    ASSERT_TRUE(WaitForLog(m_dir / "windows.log", "started again: bringing the main window to the front", seconds(20)))
        << WindowsLog();
    EXPECT_TRUE(m_windows.Running()) << "the signal never ends the running host";

    // As a service started at login while the windows are open.
    StartHost();
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "standing aside for the windowed host", seconds(20))) << HostLog();
    EXPECT_FALSE(Contains(HostLog(), kConnected));
    EXPECT_TRUE(Contains(Status(), "headless host: standing aside"));
    // One waiting headless host is enough.
    CTestProcess secondHeadless;
    StartHost(secondHeadless, m_dir / "second-headless.log");
    EXPECT_EQ(secondHeadless.Wait(milliseconds(20000)), 1);
    EXPECT_TRUE(
        Contains(CTempDir::ReadFile(m_dir / "second-headless.log"), "already waits for the windows on the profile"));
    m_windows.Stop();
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", kConnected, seconds(20))) << HostLog();
    EXPECT_TRUE(std::regex_search(Status(), std::regex("host: running, pid [0-9]+, headless")));
}

// The windows' side against a stand-in for the headless host: a child that
// holds the profile lock and answers SIGUSR1 (or not) as it is told.
class TakeOverTest : public ::testing::Test {
protected:
    ~TakeOverTest() override { StopHolder(); }
    // A holder of the profile in pszMode; with bStandsAside it lets go on
    // SIGUSR1 (and stays alive), else it ignores the signal.
    void StartHolder(const char* pszMode, bool bStandsAside) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGUSR1);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            ::close(fds[0]);
            if (bStandsAside) ::sigprocmask(SIG_BLOCK, &set, nullptr);
            else ::signal(SIGUSR1, SIG_IGN);
            CProfileLock lock;
            const bool bHeld = lock.Acquire(m_dir.Path(), pszMode).Ok();
            (void)!::write(fds[1], bHeld ? "1" : "0", 1);
            if (bStandsAside) {
                int nSignal = 0;
                ::sigwait(&set, &nSignal);
                lock.Release();
            }
            ::pause();
            ::_exit(0);
        }
        ::close(fds[1]);
        char c = 0;
        ASSERT_EQ(::read(fds[0], &c, 1), 1);
        ::close(fds[0]);
        ASSERT_EQ(c, '1');
    }
    void StopHolder() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    std::string Take(CProfileLock& takeover, CProfileLock& profile, milliseconds timeout) {
        const CResult<> r = CHandOver::TakeOver(m_dir.Path(), takeover, profile, timeout,
                                                [this](const std::string& s) { m_vecLog.push_back(s); });
        return r.Ok() ? "" : r.Problem();
    }

    CTempDir m_dir;
    pid_t m_pid = -1;
    std::vector<std::string> m_vecLog;
};

// A headless host that does not answer is a clear error after the time
// limit, and windows of another kind holding the profile are not signalled.
TEST_F(TakeOverTest, AHolderThatDoesNotStandAsideKeepsTheProfileAndIsNamed) {
    StartHolder("headless", false);
    CProfileLock takeover, profile;
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_EQ(Take(takeover, profile, milliseconds(1000)),
              "the headless host (pid " + std::to_string(m_pid) +
                  ") did not stand aside within 1 seconds; stop it (systemctl --user stop mailhost-headless) and "
                  "start again");
    EXPECT_GE(std::chrono::steady_clock::now() - tStart, milliseconds(1000));
    EXPECT_FALSE(profile.Held());
    EXPECT_FALSE(takeover.Held()) << "a headless host must not wait on windows that never came";
    EXPECT_FALSE(CHandOver::WindowsHold(m_dir.Path()));
    StopHolder();
    m_vecLog.clear();

    StartHolder("windows", true);
    EXPECT_TRUE(Contains(Take(takeover, profile, milliseconds(10000)), "is already running on the profile"));
    EXPECT_TRUE(m_vecLog.empty());
    EXPECT_TRUE(CProfileLock::Holder(m_dir.Path())) << "the holder is still there";
}

// No task list is no task; of a list, only active tasks with a sending
// time count (an overdue one still waits for a host); without the tool
// the count is unknown.
TEST_F(HandOverTest, OnlyActiveTasksWithASendingTimeCount) {
    const CEnvScope tool("QUILLORY_TOOL", QUILLORY_CLI);
    EXPECT_EQ(CQuilloryTool::ActiveTaskCount(), std::optional<int>(0));
    const std::string strTemplate = MakeTemplate("t", "Subject", "Body\n");
    CTaskList list;
    list.Add(Task("active", strTemplate, 1, MinuteFromNow(10), true));
    CTaskItem disabled = Task("disabled", strTemplate, 1, MinuteFromNow(10), true);
    disabled.m_bActive = 0;
    list.Add(disabled);
    CTaskItem completed = Task("completed", strTemplate, 0, MinuteFromNow(-60), true);
    completed.m_dtNextSending = {};
    list.Add(completed);
    list.Add(Task("overdue", strTemplate, 1, MinuteFromNow(-30), true));
    Import(list);
    EXPECT_EQ(CQuilloryTool::ActiveTaskCount(), std::optional<int>(2));
    const CEnvScope noTool("QUILLORY_TOOL", (m_dir / "no-such-tool").c_str());
    EXPECT_EQ(CQuilloryTool::ActiveTaskCount(), std::nullopt);
}

}  // namespace
