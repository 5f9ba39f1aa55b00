// The windows' side of the hand-over against a stand-in for the headless
// host: a child process that holds the profile lock as "headless" and
// answers SIGUSR1 (or not) as it is told.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CHandOver.h"
#include "CProfileLock.h"
#include "CTempDir.h"
#include "Contains.h"

namespace {

using std::chrono::milliseconds;

class TakeOverTest : public ::testing::Test {
protected:
    ~TakeOverTest() override {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
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
    std::string Take(CProfileLock& takeover, CProfileLock& profile, milliseconds timeout) {
        const CResult<> r = CHandOver::TakeOver(m_dir.Path(), takeover, profile, timeout,
                                                [this](const std::string& s) { m_vecLog.push_back(s); });
        return r.Ok() ? "" : r.Problem();
    }

    CTempDir m_dir;
    pid_t m_pid = -1;
    std::vector<std::string> m_vecLog;
};

// A headless host that stands aside, and a second set of windows refused
// naming the first: HandOverTest, with the real host processes. Here: a
// headless host that does not answer is a clear error after the time limit,
// and windows of another kind holding the profile are not signalled.
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
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_vecLog.clear();

    StartHolder("windows", true);
    EXPECT_TRUE(Contains(Take(takeover, profile, milliseconds(10000)), "is already running on the profile"));
    EXPECT_TRUE(m_vecLog.empty());
    EXPECT_TRUE(CProfileLock::Holder(m_dir.Path())) << "the holder is still there";
}

}  // namespace
