// Under umask 000, in a home others may pass through, every folder and file
// the tool and `mailhost --register` make holds no bit for others, and a
// second real user (made as root) can neither read them nor plant what the
// user's host would act on (a task in the data folder, a link for the lock).
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "CTempDir.h"
#include "Contains.h"
#include "ShellRun.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kOtherUser = "quillory-other";

class PrivateFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "a second user can only be made as root";
        if (std::system(("id -u " + std::string(kOtherUser) + " >/dev/null 2>&1 || useradd -M -r -s /bin/sh " +
                         kOtherUser + " >/dev/null 2>&1")
                            .c_str()) != 0)
            GTEST_SKIP() << "cannot make the user " << kOtherUser;
        // A home others may pass through, as a 0755 home is.
        fs::permissions(m_home.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                           fs::perms::group_read | fs::perms::others_read);
    }

    // A command as the user, in the loosest umask, with this home.
    CShellRun AsUser(const std::string& strCmd) {
        const std::string strEnv =
            "umask 000; HOME=" + ShellQuoted(m_home.Path()) +
            " XDG_DATA_HOME= XDG_CONFIG_HOME= " + "XDG_RUNTIME_DIR=" + ShellQuoted(m_home / "run") +
            " MAILHOST_REGISTRY= TZ=UTC ";
        return RunShell("( " + strEnv + strCmd + " ) 2> " + ShellQuoted(m_home / "err"), m_home / "err");
    }
    // A command as the other user; exit 0 means it could.
    int AsOther(const std::string& strCmd) {
        return RunShell("setpriv --reuid=" + std::string(kOtherUser) + " --regid=" + kOtherUser +
                            " --clear-groups sh -c " + ShellQuoted(strCmd) + " 2>/dev/null",
                        "/dev/null")
            .nExit;
    }
    std::string DataDir() const { return m_home / ".local/share/Tarnwick Software/Mail Host/Quillory"; }

    CTempDir m_home;
};

TEST_F(PrivateFilesTest, EverythingMadeUnderUmask000IsPrivateAndOthersCanPlantNothing) {
    fs::create_directories(m_home / "run");
    fs::permissions(m_home / "run", fs::perms::owner_all);
    const CShellRun add = AsUser(ShellQuoted(QUILLORY_CLI) +
                                 " add --to rita@example.org --subject Salary --body Secret --daily"
                                 " --start '2099-01-04 11:00'");
    ASSERT_EQ(add.nExit, 0) << add.strErr;
    const CShellRun reg = AsUser(ShellQuoted(MAILHOST_PROGRAM) + " --register " + ShellQuoted(QUILSEND_MODULE));
    ASSERT_EQ(reg.nExit, 0) << reg.strErr;

    // Everything below the home was made by the tool or the host.
    int nChecked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(m_home.Path())) {
        const std::string strName = entry.path().filename().string();
        if (entry.path() == m_home / "run" || strName == "err") continue;
        struct stat st {};
        ASSERT_EQ(::lstat(entry.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 077, 0u) << entry.path() << " has mode " << std::oct << (st.st_mode & 07777);
        ++nChecked;
    }
    EXPECT_GE(nChecked, 8) << "the data folder chain, the task list, its lock and template, ~/.config/mailhost";
    ASSERT_TRUE(fs::exists(DataDir() + "/emails.dat"));
    ASSERT_TRUE(fs::exists(m_home / ".config/mailhost/registry.reg"));

    // The other user may pass through the home but reaches nothing in it.
    EXPECT_NE(AsOther("cat " + ShellQuoted(DataDir() + "/emails.dat")), 0);
    EXPECT_NE(AsOther("ls " + ShellQuoted(DataDir())), 0);
    EXPECT_NE(AsOther("cp /etc/hostname " + ShellQuoted(DataDir() + "/planted.oft")), 0);
    EXPECT_NE(AsOther("ln -sf " + ShellQuoted(m_home / ".config/mailhost/accounts.ini") + " " +
                      ShellQuoted(DataDir() + "/emails.dat.lock")),
              0);
    EXPECT_NE(AsOther("cp /etc/hostname " + ShellQuoted(m_home / ".config/mailhost/registry.reg")), 0);
    EXPECT_NE(AsOther("mkdir " + ShellQuoted(m_home / ".config/mailhost/planted")), 0);
    EXPECT_EQ(AsOther("ls " + ShellQuoted(m_home.Path())), 0) << "the test's home must be open, or it proves nothing";

    // A save keeps a mode the user chose, and the lock is never opened through a link.
    ASSERT_EQ(::chmod((DataDir() + "/emails.dat").c_str(), 0640), 0);
    ASSERT_EQ(AsUser(ShellQuoted(QUILLORY_CLI) + " disable 1").nExit, 0);
    struct stat st {};
    ASSERT_EQ(::stat((DataDir() + "/emails.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    const std::string strLock = DataDir() + "/emails.dat.lock";
    fs::remove(strLock);
    CTempDir::WriteFile(m_home / "victim", "kept\n");
    fs::create_symlink(m_home / "victim", strLock);
    const CShellRun linked = AsUser(ShellQuoted(QUILLORY_CLI) + " enable 1");
    EXPECT_NE(linked.nExit, 0);
    EXPECT_TRUE(Contains(linked.strErr, "a symbolic link, not opened: " + strLock));
    EXPECT_EQ(CTempDir::ReadFile(m_home / "victim"), "kept\n");
}

}  // namespace
