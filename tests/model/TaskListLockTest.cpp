// Who may write a task list: the lock beside the file, what its holder records for others, and where the socket of the
// add-in serving a file is.
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "CEnvScope.h"
#include "CTaskListLock.h"
#include "CTempDir.h"
#include "Contains.h"
#include "ResultValue.h"

namespace fs = std::filesystem;

namespace {

class TaskListLockTest : public ::testing::Test {
protected:
    TaskListLockTest() { ::mkdir((m_strDir + "/run").c_str(), 0700); }
    std::string File() const { return m_strDir + "/emails.dat"; }

    CTempDir m_tmp;
    const std::string m_strDir = m_tmp.Path();
    const CEnvScope m_runtime{"XDG_RUNTIME_DIR", (m_strDir + "/run").c_str()};
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

    // A lock file that cannot be made is a failure naming it.
    const auto rState = CTaskListLock().TryAcquire(m_strDir + "/missing/emails.dat");
    EXPECT_FALSE(rState.Ok());
    EXPECT_TRUE(Contains(rState.Problem(), m_strDir + "/missing/emails.dat.lock"));
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
    // A path too long for a socket is a problem, not a truncation.
    const std::string strDeep = m_strDir + "/run/" + std::string(100, 'r');
    ::mkdir(strDeep.c_str(), 0700);
    const CEnvScope deep("XDG_RUNTIME_DIR", strDeep.c_str());
    const auto rLong = CTaskListLock::SocketPathOf(File());
    EXPECT_FALSE(rLong.Ok());
    EXPECT_TRUE(Contains(rLong.Problem(), "too long"));
}

// Where the socket goes when the runtime folder cannot be used, with /tmp as another local user may have left it. Each
// case runs in a child with a /tmp of its own (a private mount namespace), so the real one is untouched.
TEST(TaskListSocketFallbackTest, AFolderAnotherUserMadeIsPassedOverForOneOnlyTheUserCanMake) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for a private /tmp";
    const std::string strOwn = "/tmp/quillory-" + std::to_string(::getuid());
    const std::string strCache = "/tmp/home/.cache/quillory";
    struct CCase {
        const char* pszName;
        std::function<void()> fnPrepare;  // runs in the child, on its empty /tmp
        std::string strFolder;            // where the socket goes; empty: a problem
        std::string strNotice;            // text the notice holds; empty: none
    };
    const CCase kCases[] = {
        {"free", [] {}, strOwn, ""},
        {"made by another user",
         [&] {
             ::mkdir(strOwn.c_str(), 0700);
             (void)::chown(strOwn.c_str(), 65534, 65534);
         },
         strCache, strOwn + ": belongs to another user; the quillory tool's socket is in " + strCache + " instead"},
        {"a link another user planted",
         [&] {
             ::mkdir("/tmp/elsewhere", 0700);
             ::symlink("/tmp/elsewhere", strOwn.c_str());
         },
         strCache, strOwn + ": not a folder"},
        {"open to everyone", [&] { ::mkdir(strOwn.c_str(), 0777), ::chmod(strOwn.c_str(), 0777); }, strCache,
         "others may enter it"},
        {"the cache blocked as well",
         [&] {
             ::mkdir(strOwn.c_str(), 0700);
             (void)::chown(strOwn.c_str(), 65534, 65534);
             fs::create_directories(strCache);
             (void)::chown(strCache.c_str(), 65534, 65534);
         },
         "", ""},
    };
    for (const CCase& c : kCases) {
        SCOPED_TRACE(c.pszName);
        int arrPipe[2];
        ASSERT_EQ(::pipe(arrPipe), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(arrPipe[0]);
            if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") != 0)
                ::_exit(3);
            ::mkdir("/tmp/run", 0755);
            ::mkdir("/tmp/home", 0700);
            setenv("XDG_RUNTIME_DIR", "/tmp/run", 1);  // open to others: passed over
            setenv("HOME", "/tmp/home", 1);
            unsetenv("XDG_CACHE_HOME");
            c.fnPrepare();
            std::string strNotice;
            const auto rPath = CTaskListLock::SocketPathOf("/tmp/home/emails.dat", &strNotice);
            struct stat st {};
            const std::string strFolder = rPath ? fs::path(*rPath).parent_path().string() : "";
            const bool bPrivate = rPath && ::lstat(strFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                                  (st.st_mode & 077) == 0 && st.st_uid == ::getuid();
            const std::string strOut = (rPath ? strFolder : "problem: " + rPath.Problem()) + "\n" + strNotice + "\n" +
                                       (bPrivate || !rPath ? "private" : "open");
            (void)!::write(arrPipe[1], strOut.data(), strOut.size());
            ::_exit(0);
        }
        ::close(arrPipe[1]);
        std::string strOut;
        char buf[512];
        for (ssize_t n; (n = ::read(arrPipe[0], buf, sizeof buf)) > 0;) strOut.append(buf, static_cast<size_t>(n));
        ::close(arrPipe[0]);
        int nStatus = 0;
        ::waitpid(pid, &nStatus, 0);
        ASSERT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << "the child could not get a /tmp of its own";
        std::istringstream in(strOut);
        std::string strFolder, strNotice, strPrivate;
        std::getline(std::getline(std::getline(in, strFolder), strNotice), strPrivate);
        if (c.strFolder.empty()) {
            EXPECT_EQ(strFolder.rfind("problem: ", 0), 0u) << strFolder;
            EXPECT_TRUE(Contains(strFolder, strCache));
        } else {
            EXPECT_EQ(strFolder, c.strFolder);
        }
        EXPECT_EQ(strPrivate, "private");
        EXPECT_EQ(strNotice.empty(), c.strNotice.empty()) << strNotice;
        EXPECT_TRUE(Contains(strNotice, c.strNotice));
    }
}

}  // namespace
