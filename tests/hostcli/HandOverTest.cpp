// The headless host and the windows on one profile, as real processes: the
// windows take over from a running headless host, which stands aside and
// runs again once they close; a due message goes out exactly once, from
// whichever host holds the profile at that moment.
#include <regex>
#include <thread>

#include "CHeadlessTestBase.h"
#include "CMailhostRun.h"
#include "Contains.h"
#include "ZoneGuard.h"

namespace {

using std::chrono::seconds;

constexpr const char* kConnected = "add-in Quillory (TarnwickQuillory.Addin) connected";

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
    std::string HostLog() const { return CTempDir::ReadFile(m_dir / "host.log"); }
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
    const std::time_t tNow = std::time(nullptr);
    const int nAhead = tNow % 60 < 40 ? 1 : 2;
    const TaskDateTime dtFirst = MinuteFromNow(nAhead);
    CTaskItem task = Task("every minute", MakeTemplate("minutely", "Every minute", "Body\n"), 1, dtFirst, true);
    task.m_nMinuteInterval = 1;
    CTaskList list;
    list.Add(task);
    Import(list);

    StartHost();
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", kConnected, seconds(20))) << HostLog();
    StartWindows(m_windows, m_dir / "windows.log");
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "standing aside for the windowed host", seconds(20))) << HostLog();
    ASSERT_TRUE(WaitForLog(m_dir / "windows.log", kConnected, seconds(40))) << WindowsLog();
    const std::string strStatus = Status();
    EXPECT_TRUE(std::regex_search(strStatus, std::regex("host: running, pid [0-9]+, windows, since "))) << strStatus;
    EXPECT_TRUE(std::regex_search(strStatus, std::regex("headless host: standing aside for the windowed host, pid "
                                                        "[0-9]+, since ")))
        << strStatus;
    // The headless host saved the task list on its way out: the windows'
    // add-in has the task as it was.
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
        EXPECT_EQ(second.Wait(std::chrono::milliseconds(20000)), 0);
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
    EXPECT_EQ(secondHeadless.Wait(std::chrono::milliseconds(20000)), 1);
    EXPECT_TRUE(
        Contains(CTempDir::ReadFile(m_dir / "second-headless.log"), "already waits for the windows on the profile"));
    m_windows.Stop();
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", kConnected, seconds(20))) << HostLog();
    EXPECT_TRUE(std::regex_search(Status(), std::regex("host: running, pid [0-9]+, headless")));
}

}  // namespace
