#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "CTaskListFile.h"
#include "CTempDir.h"

namespace fs = std::filesystem;

namespace {

CTaskList MakeList(int n) {
    CTaskList list;
    for (int i = 0; i < n; ++i) {
        CTaskItem t;
        t.m_strTaskName = "task " + std::to_string(i) + std::string(static_cast<size_t>(i % 50), 'x');
        t.m_strTemplateFile = "/some/where/template-" + std::to_string(i) + ".oft";
        t.m_arrAttachments.Add("/files/report-" + std::to_string(i) + ".pdf");
        list.Add(t);
    }
    return list;
}

}  // namespace

// A child saves growing lists over and over and reports each completed
// save through a pipe; it is killed at a random moment. The file must then
// load at least as many tasks as the last save that completed.
TEST(CrashSafety, KilledDuringSavesNeverLosesCompletedSaves) {
    CTempDir tmp;
    const std::string strPath = tmp / "emails.dat";
    std::mt19937 rng(12345);
    const CTextCodec codec = CTextCodec::Open("CP1252").Value();
    for (int round = 0; round < 25; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            const CTextCodec childCodec = CTextCodec::Open("CP1252").Value();
            for (int n = 1;; ++n) {
                CTaskList list = MakeList(200 + n % 400);
                if (!CTaskListFile::SaveTaskList(strPath, list, childCodec).Ok()) _exit(3);
                int32_t nDone = list.GetSize();
                if (write(fds[1], &nDone, sizeof nDone) != sizeof nDone) _exit(4);
            }
        }
        close(fds[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 40000));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        int32_t nLast = 0, n = 0;
        while (read(fds[0], &n, sizeof n) == sizeof n) nLast = n;
        close(fds[0]);
        CTaskList back;
        CTaskListFile::CLoadCounts counts;
        const auto rLoaded = CTaskListFile::LoadTaskList(strPath, back, codec, &counts);
        EXPECT_TRUE(rLoaded.Ok()) << "round " << round << ": " << rLoaded.Problem();
        // A save may have completed after its report was lost with the kill,
        // so the file holds the last reported save or a later one.
        if (nLast > 0) {
            EXPECT_TRUE(counts.bOpened);
            EXPECT_EQ(back.GetSize(), counts.nDeclared);
            EXPECT_GE(back.GetSize(), 200);
        }
    }
}

// A write that runs out of space (the file size limit stands in for a full
// disk) reports the failure and leaves the previous file as it was.
TEST(CrashSafety, FullDiskKeepsTheOldFile) {
    CTempDir tmp;
    const std::string strPath = tmp / "emails.dat";
    const CTextCodec codec = CTextCodec::Open("CP1252").Value();
    ASSERT_EQ(CTaskListFile::SaveTaskList(strPath, MakeList(3), codec).Problem(), "");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl {
            4096, 4096
        };
        setrlimit(RLIMIT_FSIZE, &rl);
        const CTextCodec childCodec = CTextCodec::Open("CP1252").Value();
        const auto rSaved = CTaskListFile::SaveTaskList(strPath, MakeList(500), childCodec);
        _exit(rSaved.Ok() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed save was reported as success";
    CTaskList back;
    EXPECT_EQ(CTaskListFile::LoadTaskList(strPath, back, codec).Problem(), "");
    EXPECT_EQ(back, MakeList(3));
    EXPECT_FALSE(fs::exists(strPath + ".tmp"));
}
