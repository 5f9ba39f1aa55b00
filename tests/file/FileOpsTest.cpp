// The one file layer: what a named file may be (a FIFO, a folder, a device, a socket, a link) and may not do (block, be
// read, be followed where the system's own state is opened), and the modes of what it writes.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CFileOps.h"
#include "CTempDir.h"
#include "Contains.h"
#include "UnixSocket.h"

namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& strPath) {
    struct stat st {};
    return ::lstat(strPath.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

class FileOpsTest : public ::testing::Test {
protected:
    ~FileOpsTest() override { ::umask(m_oldUmask); }
    CTempDir m_dir;
    const mode_t m_oldUmask = ::umask(0);  // the loosest: no mode may come from the umask
};

TEST_F(FileOpsTest, OnlyARegularFileIsReadAndNothingElseBlocks) {
    const std::string strFile = m_dir / "file", strFifo = m_dir / "fifo", strLink = m_dir / "link",
                      strSocket = m_dir / "sock", strMissing = m_dir / "missing", strDangling = m_dir / "dangling";
    CTempDir::WriteFile(strFile, "bytes");
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);  // nobody writes: a blocking open() would wait for good
    ASSERT_EQ(::symlink(strFile.c_str(), strLink.c_str()), 0);
    ASSERT_EQ(::symlink(strMissing.c_str(), strDangling.c_str()), 0);
    const int fdSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un addr = UnixAddress(strSocket);
    ASSERT_EQ(::bind(fdSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    using ELinks = CFileOps::ELinks;
    struct CRow {
        const char* pszName;
        std::string strPath;
        ELinks links;
        const char* pszProblem;  // empty: read
        bool bAbsent;            // a reader may take it as "no file yet"
    } rows[] = {
        {"regular file", strFile, ELinks::Follow, "", false},
        {"link followed", strLink, ELinks::Follow, "", false},
        {"link refused", strLink, ELinks::Refuse, "a symbolic link, not opened: ", false},
        {"FIFO", strFifo, ELinks::Follow, "not a regular file (a FIFO): ", false},
        {"folder", m_dir.Path(), ELinks::Follow, "not a regular file (a folder): ", false},
        {"character device", "/dev/zero", ELinks::Follow, "not a regular file (a character device): ", false},
        {"socket", strSocket, ELinks::Follow, "cannot open ", false},  // open() refuses a socket itself
        {"missing", strMissing, ELinks::Follow, "cannot open ", true},
        {"under a file", strFile + "/x", ELinks::Follow, "cannot open ", false},
        // What a dangling link named may be gone, but the link is there.
        {"dangling link", strDangling, ELinks::Follow, "cannot open ", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszName);
        const auto rBytes = CFileOps::ReadFile(row.strPath, 1 << 20, row.links);
        if (!*row.pszProblem) {
            ASSERT_TRUE(rBytes.Ok()) << rBytes.Problem();
            EXPECT_EQ(*rBytes, "bytes");
        } else {
            ASSERT_FALSE(rBytes.Ok());
            EXPECT_EQ(rBytes.Problem().rfind(row.pszProblem, 0), 0u) << rBytes.Problem();
            EXPECT_TRUE(Contains(rBytes.Problem(), row.strPath));
        }
        EXPECT_EQ(CFileOps::IsAbsent(row.strPath), row.bAbsent);
        // A message's head is read by the same rule (links are followed there).
        if (row.links == ELinks::Refuse) continue;
        const auto rHead = CFileOps::ReadHead(row.strPath, 3);
        EXPECT_EQ(rHead.Ok(), !*row.pszProblem) << rHead.Problem();
        if (rHead.Ok()) {
            EXPECT_EQ(*rHead, "byt");
        }
    }
    ::close(fdSocket);
    EXPECT_FALSE(CFileOps::ReadFile(strFile, 4).Ok());  // larger than allowed
}

TEST_F(FileOpsTest, ReplacingKeepsAnExistingModeAndMakesNewFilesPrivate) {
    using EMode = CFileOps::EMode;
    struct CRow {
        const char* pszName;
        int nExisting;  // -1: no file yet
        EMode mode;
        mode_t expected;
    } rows[] = {
        {"new file", -1, EMode::KeepExisting, 0600},
        {"chmod 640 kept", 0640, EMode::KeepExisting, 0640},
        {"chmod 644 kept", 0644, EMode::KeepExisting, 0644},
        {"secret made private", 0644, EMode::Always, 0600},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszName);
        const std::string strPath = m_dir / "data";
        ::unlink(strPath.c_str());
        if (row.nExisting >= 0) {
            CTempDir::WriteFile(strPath, "old");
            ASSERT_EQ(::chmod(strPath.c_str(), static_cast<mode_t>(row.nExisting)), 0);
        }
        ASSERT_TRUE(CFileOps::ReplaceFile(strPath, "new", 0600, row.mode).Ok());
        EXPECT_EQ(CTempDir::ReadFile(strPath), "new");
        EXPECT_EQ(ModeOf(strPath), row.expected);
    }
}

// A writer killed in the middle of a replace leaves its temporary file; whoever takes the folder next removes it, and
// nothing else.
TEST_F(FileOpsTest, WhatAKilledReplaceLeftIsRemovedAndNothingElse) {
    CTempDir::WriteFile(m_dir / "emails.dat", "old");
    // A writer killed half way; its parent collects it or, for a while, not.
    auto KilledWriter = [&](bool bCollected) {
        const pid_t nChild = ::fork();
        if (nChild == 0) {
            (void)CFileOps::ReplaceWith(m_dir / "emails.dat", [](int fd, const std::string&) -> CResult<> {
                (void)CFileOps::WriteAll(fd, "half");
                ::raise(SIGKILL);
                return {};
            });
            ::_exit(0);
        }
        siginfo_t info{};
        EXPECT_EQ(::waitid(P_PID, static_cast<id_t>(nChild), &info, WEXITED | (bCollected ? 0 : WNOWAIT)), 0);
        EXPECT_EQ(info.si_code, CLD_KILLED);
        return nChild;
    };
    const pid_t nZombie = KilledWriter(false), nChild = KilledWriter(true);
    auto LeftBy = [&](pid_t nPid) {
        std::string strLeft;  // the counter after the pid is this process's at the fork
        for (const auto& entry : fs::directory_iterator(m_dir.Path()))
            if (entry.path().filename().string().starts_with(".emails.dat.tmp-" + std::to_string(nPid) + "-"))
                strLeft = entry.path().string();
        EXPECT_EQ(CTempDir::ReadFile(strLeft), "half");
        return strLeft;
    };
    std::vector<std::string> vecLeft = {LeftBy(nZombie), LeftBy(nChild)};
    const std::string strDead = std::to_string(nChild), strOwn = std::to_string(::getpid());
    std::vector<std::string> vecKept = {".emails.dat.tmp-" + strOwn + "-3",   // this process may be writing it
                                        ".tasks.json.tmp-1-0",                // so may a running one
                                        ".emails.dat.tmp-" + strDead + "-x",  // not a name a replace gives
                                        "emails.dat.tmp-" + strDead + "-0",
                                        ".tmp-" + strDead + "-0",
                                        "emails.dat"};
    for (const std::string& strName : vecKept)
        if (strName != "emails.dat") CTempDir::WriteFile(m_dir / strName, "kept");
    ASSERT_EQ(::mkdir((m_dir / (".d.tmp-" + strDead + "-0")).c_str(), 0700), 0);  // not a file
    CTempDir::WriteFile(m_dir / (".notes.txt.tmp-" + strDead + "-0"), "another program's");
    vecKept.push_back(".notes.txt.tmp-" + strDead + "-0");
    std::vector<std::string> vecRemoved = CFileOps::RemoveStrayTemporaries(
        m_dir.Path(), [](const std::string& strName) { return strName == "emails.dat" || strName == "tasks.json"; });
    std::sort(vecRemoved.begin(), vecRemoved.end());
    std::sort(vecLeft.begin(), vecLeft.end());
    EXPECT_EQ(vecRemoved, vecLeft);
    (void)::waitpid(nZombie, nullptr, 0);
    for (const std::string& strName : vecKept) EXPECT_TRUE(fs::exists(m_dir / strName)) << strName;
    EXPECT_EQ(CTempDir::ReadFile(m_dir / "emails.dat"), "old");
    EXPECT_TRUE(fs::is_directory(m_dir / (".d.tmp-" + strDead + "-0")));
}

TEST_F(FileOpsTest, FoldersArePrivateAndLocksAreNeverOpenedThroughALink) {
    const std::string strDeep = m_dir / "a/b/c";
    ASSERT_TRUE(CFileOps::MakeDirs(strDeep).Ok());
    for (const char* psz : {"a", "a/b", "a/b/c"}) EXPECT_EQ(ModeOf(m_dir / psz), 0700u) << psz;

    // Another user's link in place of a lock would make the holder write through it.
    const std::string strVictim = m_dir / "accounts.ini", strLock = m_dir / "emails.dat.lock";
    CTempDir::WriteFile(strVictim, "[Account]\n");
    ASSERT_EQ(::symlink(strVictim.c_str(), strLock.c_str()), 0);
    const auto rLinked = CFileOps::OpenPrivate(strLock);
    ASSERT_FALSE(rLinked.Ok());
    EXPECT_EQ(rLinked.Problem(), "a symbolic link, not opened: " + strLock);
    EXPECT_EQ(CTempDir::ReadFile(strVictim), "[Account]\n");

    const std::string strFifo = m_dir / "fifo.lock";
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
    EXPECT_FALSE(CFileOps::OpenPrivate(strFifo).Ok());

    const std::string strNew = m_dir / "new.lock";
    const auto rNew = CFileOps::OpenPrivate(strNew);
    ASSERT_TRUE(rNew.Ok()) << rNew.Problem();
    EXPECT_EQ(ModeOf(strNew), 0600u);
}

}  // namespace
