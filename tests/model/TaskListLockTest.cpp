// Who may write a task list: the lock beside the file, what its holder
// records for others, and where the socket of the add-in serving a file is.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "CTaskListLock.h"
#include "CTempDir.h"
#include "ResultValue.h"

namespace fs = std::filesystem;

namespace {

class TaskListLockTest : public ::testing::Test {
protected:
    TaskListLockTest() {
        ::mkdir((m_strDir + "/run").c_str(), 0700);
        const char* psz = std::getenv("XDG_RUNTIME_DIR");
        if (psz) m_strOldRuntime = psz;
        m_bHadRuntime = psz != nullptr;
        setenv("XDG_RUNTIME_DIR", (m_strDir + "/run").c_str(), 1);
    }
    ~TaskListLockTest() override {
        if (m_bHadRuntime) setenv("XDG_RUNTIME_DIR", m_strOldRuntime.c_str(), 1);
        else unsetenv("XDG_RUNTIME_DIR");
    }
    std::string File() const { return m_strDir + "/emails.dat"; }

    CTempDir m_tmp;
    const std::string m_strDir = m_tmp.Path();
    std::string m_strOldRuntime;
    bool m_bHadRuntime = false;
};

TEST_F(TaskListLockTest, OneHolderAtATimeAndOthersLearnWhoAndWhere) {
    CTaskListLock first, second;
    ASSERT_EQ(ValueOf(first.TryAcquire(File())), CTaskListLock::EState::kHeld);
    EXPECT_TRUE(fs::exists(File() + ".lock"));
    EXPECT_FALSE(fs::exists(File())) << "the task list itself is not touched";
    EXPECT_EQ(ValueOf(second.TryAcquire(File())), CTaskListLock::EState::kBusy);
    EXPECT_EQ(second.HolderPid(), ::getpid());
    EXPECT_EQ(second.HolderSocket(), "");
    first.RecordSocket("/run/user/1000/quillory-0123456789abcdef.sock");
    EXPECT_EQ(ValueOf(second.TryAcquire(File())), CTaskListLock::EState::kBusy);
    EXPECT_EQ(second.HolderSocket(), "/run/user/1000/quillory-0123456789abcdef.sock");
    EXPECT_FALSE(second.IsHeld());

    // A holder that lets go within the wait hands the lock on.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        first.Release();
    });
    EXPECT_EQ(ValueOf(second.Acquire(File(), 3000)), CTaskListLock::EState::kHeld);
    release.join();
    EXPECT_EQ(ValueOf(first.Acquire(File(), 150)), CTaskListLock::EState::kBusy);
}

TEST_F(TaskListLockTest, ALockFileThatCannotBeMadeIsAFailureNamingIt) {
    CTaskListLock lock;
    const auto rState = lock.TryAcquire(m_strDir + "/missing/emails.dat");
    EXPECT_FALSE(rState.Ok());
    EXPECT_NE(rState.Problem().find(m_strDir + "/missing/emails.dat.lock"), std::string::npos) << rState.Problem();
}

TEST_F(TaskListLockTest, EveryTaskListFileHasItsOwnSocketInThePrivateRuntimeFolder) {
    fs::create_directories(m_strDir + "/a");
    fs::create_directories(m_strDir + "/b");
    fs::create_symlink(m_strDir + "/a", m_strDir + "/link");
    const auto a = CTaskListLock::SocketPathOf(m_strDir + "/a/emails.dat");
    ASSERT_EQ(a.Problem(), "");
    EXPECT_TRUE(std::regex_match(*a, std::regex(m_strDir + "/run/quillory-[0-9a-f]{16}\\.sock"))) << *a;
    EXPECT_NE(ValueOf(CTaskListLock::SocketPathOf(m_strDir + "/b/emails.dat")), *a);
    // The same file by another name is the same file.
    EXPECT_EQ(ValueOf(CTaskListLock::SocketPathOf(m_strDir + "/link/emails.dat")), *a);
    EXPECT_EQ(ValueOf(CTaskListLock::SocketPathOf(m_strDir + "/b/../a/./emails.dat")), *a);
    const fs::path cwd = fs::current_path();
    fs::current_path(m_strDir + "/a");
    EXPECT_EQ(ValueOf(CTaskListLock::SocketPathOf("emails.dat")), *a);
    fs::current_path(cwd);
}

TEST_F(TaskListLockTest, ARuntimeFolderOthersMayEnterIsNotUsed) {
    ::chmod((m_strDir + "/run").c_str(), 0755);
    const auto s = CTaskListLock::SocketPathOf(File());
    if (!s.Ok()) {
        EXPECT_NE(s.Problem(), "");
    } else {
        const std::string strFallback = "/tmp/quillory-" + std::to_string(::getuid()) + "/";
        EXPECT_EQ(s->rfind(strFallback, 0), 0u) << *s;
        struct stat st {};
        ASSERT_EQ(::lstat(strFallback.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 077, 0u);
        EXPECT_EQ(st.st_uid, ::getuid());
    }
}

TEST_F(TaskListLockTest, APathTooLongForASocketIsAProblemNotATruncation) {
    std::string strDeep = m_strDir + "/run/" + std::string(100, 'r');
    ::mkdir(strDeep.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", strDeep.c_str(), 1);
    const auto s = CTaskListLock::SocketPathOf(File());
    EXPECT_FALSE(s.Ok());
    EXPECT_NE(s.Problem().find("too long"), std::string::npos) << s.Problem();
}

}  // namespace
