// Saves and message swaps stopped at any moment, by a killed process or a full disk, keep what was saved.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "CMessageSwap.h"
#include "CTaskListFile.h"
#include "CTempDir.h"
#include "Contains.h"

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

// A child saves growing lists over and over and reports each completed save through a pipe; it is killed at a random
// moment. The file must then load at least as many tasks as the last save that completed.
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
        // A save may have completed after its report was lost with the kill, so the file holds the last reported save
        // or a later one.
        if (nLast > 0) {
            EXPECT_TRUE(counts.bOpened);
            EXPECT_EQ(back.GetSize(), counts.nDeclared);
            EXPECT_GE(back.GetSize(), 200);
        }
    }
}

// A write that runs out of space (the file size limit stands in for a full disk) reports the failure and leaves the
// previous file as it was.
TEST(CrashSafety, FullDiskKeepsTheOldFile) {
    CTempDir tmp;
    const std::string strPath = tmp / "emails.dat";
    const CTextCodec codec = CTextCodec::Open("CP1252").Value();
    ASSERT_EQ(CTaskListFile::SaveTaskList(strPath, MakeList(3), codec).Problem(), "");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{4096, 4096};
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

// A set that gives a task's template a new message under its own name, stopped at every moment between its first step
// and its last: whoever settles it next leaves the message the list's values go with (the new one once the list is
// saved, else the old), and nothing aside. A move into place that failed, with the list saved later without the change,
// gets the old message back too.
TEST(CrashSafety, AMessageSwapStoppedAnywhereLeavesTheMessageTheListGoesWith) {
    enum EStop { NoteOnly, OldAside, NewInPlace, Saved, AsideGone, FailedThenSaved };
    const struct {
        const char* pszName;
        bool bHadMessage;
        EStop eStop;
    } kCases[] = {
        {"note written", true, NoteOnly},        {"old message aside", true, OldAside},
        {"new one in place", true, NewInPlace},  {"list saved", true, Saved},
        {"aside removed", true, AsideGone},      {"no old message, new in place", false, NewInPlace},
        {"no old message, saved", false, Saved}, {"move failed, list saved later", true, FailedThenSaved},
    };
    const CTextCodec codec = CTextCodec::Open("UTF-8").Value();
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        CTempDir tmp;
        const std::string strDir = tmp.Path() + "/", strList = strDir + "emails.dat";
        const std::string strTemplate = strDir + "Report.oft", strNew = strDir + ".quillory-new-7.oft";
        ASSERT_TRUE(CTaskListFile::SaveTaskList(strList, MakeList(1), codec).Ok());
        if (c.bHadMessage) CTempDir::WriteFile(strTemplate, "old");
        CTempDir::WriteFile(strNew, "new");
        const auto rSwap = CMessageSwap::Begin(strDir, strList, strTemplate, strNew);
        ASSERT_TRUE(rSwap.Ok()) << rSwap.Problem();
        // The earlier moments, by taking Begin's steps back.
        if (c.eStop <= OldAside || c.eStop == FailedThenSaved) fs::rename(strTemplate, strNew);
        if (c.eStop == NoteOnly) fs::rename(rSwap->strAside, strTemplate);
        const bool bSaved = c.eStop >= Saved;
        if (bSaved) {
            ASSERT_TRUE(CTaskListFile::SaveTaskList(strList, MakeList(2), codec).Ok());
        }
        if (c.eStop == AsideGone) fs::remove(rSwap->strAside);

        std::vector<std::string> vecTold;
        CMessageSwap::Settle(strDir, [&](const std::string& str) { vecTold.push_back(str); });
        EXPECT_EQ(vecTold.size(), 1u);
        const bool bNewTaken = bSaved && c.eStop != FailedThenSaved;
        if (bNewTaken || c.bHadMessage) {
            EXPECT_EQ(CTempDir::ReadFile(strTemplate), bNewTaken ? "new" : "old");
        }
        // What was not saved is the writer's again; and nothing else is left.
        std::set<std::string> setLeft;
        for (const auto& entry : fs::directory_iterator(strDir)) setLeft.insert(entry.path().filename().string());
        std::set<std::string> setWanted = {"emails.dat"};
        if (bNewTaken || c.bHadMessage) setWanted.insert("Report.oft");
        if (!bNewTaken) setWanted.insert(".quillory-new-7.oft");
        EXPECT_EQ(setLeft, setWanted);
    }
}

// Two unsaved swaps of one template (a host whose saves failed, then stopped): undone newest first, back to the first
// message. A note that names a file outside the folder, or is damaged, moves nothing and stays.
TEST(CrashSafety, SwapNotesAreSettledNewestFirstAndABadNoteMovesNothing) {
    CTempDir tmp;
    const std::string strDir = tmp.Path() + "/", strList = strDir + "emails.dat";
    const CTextCodec codec = CTextCodec::Open("UTF-8").Value();
    ASSERT_TRUE(CTaskListFile::SaveTaskList(strList, MakeList(1), codec).Ok());
    CTempDir::WriteFile(strDir + "Report.oft", "first");
    for (const char* psz : {"2", "3"}) {
        CTempDir::WriteFile(strDir + ".quillory-new-" + psz + ".oft", psz);
        ASSERT_TRUE(
            CMessageSwap::Begin(strDir, strList, strDir + "Report.oft", strDir + ".quillory-new-" + psz + ".oft").Ok());
    }
    ASSERT_EQ(CTempDir::ReadFile(strDir + "Report.oft"), "3");
    const std::string strId = CMessageSwap::IdOf(strList).Value();
    const std::string strOutside = tmp.Path() + "-outside";
    CTempDir::WriteFile(strOutside, "theirs");
    const std::string strBadNote = strDir + CMessageSwap::kNotePrefix + "0-bad";
    CTempDir::WriteFile(strBadNote, CMessageSwap::Format({"../" + fs::path(strOutside).filename().string(), "aside",
                                                          "new", "emails.dat", strId}));
    CTempDir::WriteFile(strDir + CMessageSwap::kNotePrefix + "0-cut", "quillory-swap 1");
    // One that would move the store beside the list in place of the template.
    CTempDir::WriteFile(strDir + "tasks.json", "{}");
    CTempDir::WriteFile(strDir + CMessageSwap::kNotePrefix + "0-store",
                        CMessageSwap::Format({"Report.oft", "", "tasks.json", "emails.dat", strId}));
    std::vector<std::string> vecTold;
    CMessageSwap::Settle(strDir, [&](const std::string& str) { vecTold.push_back(str); });
    EXPECT_EQ(CTempDir::ReadFile(strDir + "Report.oft"), "first");
    EXPECT_EQ(CTempDir::ReadFile(strOutside), "theirs");
    EXPECT_TRUE(fs::exists(strBadNote));
    EXPECT_EQ(CTempDir::ReadFile(strDir + "tasks.json"), "{}");
    ASSERT_EQ(vecTold.size(), 5u);
    EXPECT_TRUE(Contains(vecTold[2], "is not a new message of the quillory tool; left as it is"));
    EXPECT_TRUE(Contains(vecTold[3], "cut short; left as it is"));
    EXPECT_TRUE(Contains(vecTold[4], "is not a file name in the data folder; left as it is"));
    fs::remove(strOutside);
}
