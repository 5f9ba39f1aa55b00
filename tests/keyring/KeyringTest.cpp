// The password in a real desktop keyring: a keyring daemon in a temp home on
// the session bus ctest gives each case, the Accounts dialog offscreen, and
// the real mailhost program for what a host without that bus does.
#include <sys/stat.h>

#include <QLineEdit>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "CAccount.h"
#include "CAccountsDialog.h"
#include "CEnvScope.h"
#include "CKeyringPasswordStore.h"
#include "CMailhostRun.h"
#include "CSmtpServer.h"
#include "CTempDir.h"
#include "CTestProcess.h"
#include "Contains.h"
#include "WaitUntil.h"

namespace {

namespace fs = std::filesystem;

// The output of a program run to its end (empty when it failed).
std::string Output(const CTempDir& dir, const std::string& strCommand) {
    const int nStatus =
        CTestProcess::Run({"/bin/sh", "-c", "{ " + strCommand + "; } > " + (dir / "out.txt") + " 2>&1"});
    return nStatus == 0 ? CTempDir::ReadFile(dir / "out.txt") : std::string();
}

class KeyringTest : public ::testing::Test {
protected:
    // One keyring daemon for the bus the whole program runs on, in a home
    // of its own; it ends with the bus.
    static void SetUpTestSuite() {
        if (std::system("command -v gnome-keyring-daemon > /dev/null 2>&1") != 0)
            s_strSkip = "gnome-keyring-daemon is not installed (scripts/setup installs gnome-keyring)";
        else s_strStartProblem = StartKeyring();
    }
    // What kept the daemon from starting, or "".
    static std::string StartKeyring() {
        if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            return "no session bus: run the test under dbus-run-session, as ctest does";
        s_pHome = std::make_unique<CTempDir>();
        const CTempDir& home = *s_pHome;
        fs::create_directories(home / "run");
        fs::permissions(home / "run", fs::perms::owner_all, fs::perm_options::replace);
        setenv("HOME", home.Path().c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
        // A keyring daemon the bus starts by itself must not reach the real home either.
        std::string strActivation = "dbus-update-activation-environment";
        for (const char* psz : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
            strActivation += std::string(" ") + psz + "='" + std::getenv(psz) + "'";
        if (CTestProcess::Run({"/bin/sh", "-c", strActivation + " > /dev/null 2>&1"}) != 0)
            return "the bus's activation environment could not be set";
        // The keyring it creates is unlocked with the password on standard input.
        CTempDir::WriteFile(home / "unlock", "keyring password");
        if (CTestProcess::Run({"/bin/sh", "-c",
                               "exec gnome-keyring-daemon --daemonize --unlock --components=secrets < " +
                                   (home / "unlock") + " > " + (home / "daemon.out") + " 2>&1"}) != 0)
            return "gnome-keyring-daemon did not start: " + CTempDir::ReadFile(home / "daemon.out");
        // It forks before it holds its name on the bus.
        const bool bOwned = WaitUntil(
            [&] {
                return Output(home,
                              "dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                              "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets")
                           .find("boolean true") != std::string::npos;
            },
            std::chrono::seconds(20), std::chrono::milliseconds(50));
        return bOwned ? "" : "gnome-keyring-daemon did not take its name on the bus";
    }
    static void TearDownTestSuite() { s_pHome.reset(); }

    void SetUp() override {
        if (!s_strSkip.empty()) GTEST_SKIP() << s_strSkip;
        ASSERT_EQ(s_strStartProblem, "");
        setenv("MAILHOST_ACCOUNTS", Ini().c_str(), 1);
        setenv("MAILHOST_PROFILE", (m_dir / "profile").c_str(), 1);
        setenv("MAILHOST_REGISTRY", (m_dir / "registry.reg").c_str(), 1);
    }
    void TearDown() override {
        for (const char* psz : {"MAILHOST_ACCOUNTS", "MAILHOST_PROFILE", "MAILHOST_REGISTRY"}) unsetenv(psz);
    }

    std::string Ini() const { return m_dir / "cfg/accounts.ini"; }
    std::string PasswordFile() const { return m_dir / "cfg/smtp-password"; }
    // Asked with the keyring's own client, not through the code under test.
    std::string InKeyring() const { return Output(m_dir, "secret-tool lookup server mailhost user '" + Ini() + "'"); }
    void SaveFromDialog(const std::string& strPassword) {
        CAccountsDialog dlg(Ini());
        dlg.NameField()->setText("Zoë Sender");
        dlg.AddressField()->setText("zoe@example.org");
        if (dlg.SmtpUrlField()->text().isEmpty()) dlg.SmtpUrlField()->setText("smtp://mail.example.org:587");
        dlg.UserField()->setText("zoe");
        dlg.PasswordField()->setText(QString::fromStdString(strPassword));
        dlg.accept();
        ASSERT_EQ(dlg.result(), QDialog::Accepted);
    }

    CTempDir m_dir;
    static inline std::string s_strSkip;
    static inline std::string s_strStartProblem;
    static inline std::unique_ptr<CTempDir> s_pHome;
};

}  // namespace

TEST_F(KeyringTest, TheDialogPutsThePasswordInTheKeyringAndWithoutTheBusInTheFile) {
    SaveFromDialog(" a secret with spaces ");
    EXPECT_EQ(InKeyring(), " a secret with spaces ");
    EXPECT_FALSE(fs::exists(PasswordFile()));
    const std::string strIni = CTempDir::ReadFile(Ini());
    EXPECT_TRUE(Contains(strIni, "User = zoe\nPasswordStore = keyring\n"));
    EXPECT_FALSE(Contains(strIni, "secret"));

    // Opened again, the dialog shows it; the host reads it.
    CAccountsDialog again(Ini());
    EXPECT_EQ(again.PasswordField()->text(), " a secret with spaces ");
    CKeyringPasswordStore keyring;
    const auto report = CAccountsFile::LoadWithPassword(Ini(), &keyring);
    EXPECT_TRUE(report.vecErrors.empty()) << report.vecErrors.front();
    EXPECT_EQ(report.account.strPassword, " a secret with spaces ");
    // A change goes back there.
    again.PasswordField()->setText("second");
    again.accept();
    EXPECT_EQ(InKeyring(), "second");

    // Without a login the entry goes.
    again.UserField()->clear();
    again.PasswordField()->clear();
    again.accept();
    EXPECT_EQ(InKeyring(), "");

    // Without a session bus the password goes to the file.
    {
        const CEnvScope noBus("DBUS_SESSION_BUS_ADDRESS", nullptr);
        SaveFromDialog("file secret");
    }
    EXPECT_EQ(CTempDir::ReadFile(PasswordFile()), "file secret\n");
    struct stat st {};
    ASSERT_EQ(::stat(PasswordFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(Contains(CTempDir::ReadFile(Ini()), "PasswordFile = smtp-password\n"));
    EXPECT_EQ(InKeyring(), "");

    // A headless host without the bus says how to put the password in the
    // file, and that works without the bus.
    SaveFromDialog("keyring secret");
    ASSERT_EQ(InKeyring(), "keyring secret");
    const CEnvScope noBus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    const std::string strLog = m_dir / "host.log";
    {
        CTestProcess host;
        host.Start({MAILHOST_PROGRAM, "--headless"}, false, strLog);
        (void)WaitUntil([&] { return CTempDir::ReadFile(strLog).find("mailhost: profile ") != std::string::npos; },
                        std::chrono::seconds(30), std::chrono::milliseconds(50));
    }
    const std::string strText = CTempDir::ReadFile(strLog);
    EXPECT_TRUE(Contains(
        strText, Ini() + ": the password is in the desktop keyring, which this session cannot reach (no session "
                         "bus); run `mailhost account set --password-stdin` to store it in the file"));
    CMailhostRun run = CMailhostRun::Run(m_dir, {"account", "set", "--password-stdin"}, "now in the file\n");
    ASSERT_EQ(run.nStatus, 0) << run.strErr;
    EXPECT_EQ(CTempDir::ReadFile(PasswordFile()), "now in the file\n");
    run = CMailhostRun::Run(m_dir, {"account", "show"});
    EXPECT_EQ(run.nStatus, 0) << run.strErr;
    EXPECT_TRUE(Contains(run.strOut, "password: (set)\n"));
}

TEST_F(KeyringTest, AnOldFilePasswordMovesIntoTheKeyringAndTheHostLogsInWithIt) {
    CSmtpServer smtp(m_dir / "smtp");
    smtp.Start({.bStartTls = true, .strAuth = "zoe:old secret"});
    // As the file was before there was a keyring, with the test server's own CA.
    fs::create_directories(m_dir / "cfg");
    CTempDir::WriteFile(
        Ini(), "[Account]\nAddress = zoe@example.org\nSmtpUrl = smtp://127.0.0.1:" + std::to_string(smtp.Port()) +
                   "\nUser = zoe\nPasswordFile = smtp-password\nCaFile = " + smtp.CertPath() + "\n");
    CTempDir::WriteFile(PasswordFile(), "old secret\n");
    ::chmod(PasswordFile().c_str(), 0600);
    CMailhostRun run = CMailhostRun::Run(m_dir, {"account", "test"});
    ASSERT_EQ(run.nStatus, 0) << run.strOut << run.strErr;

    {
        CAccountsDialog dlg(Ini());
        EXPECT_EQ(dlg.PasswordField()->text(), "old secret");
        dlg.accept();
        ASSERT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(InKeyring(), "old secret");
    EXPECT_FALSE(fs::exists(PasswordFile()));
    EXPECT_TRUE(Contains(CTempDir::ReadFile(Ini()), "PasswordStore = keyring\n"));

    // The login works only with the password from the keyring.
    run = CMailhostRun::Run(m_dir, {"account", "test"});
    EXPECT_EQ(run.nStatus, 0) << run.strOut << run.strErr;
    EXPECT_TRUE(Contains(run.strOut, "Sending: OK."));
    const CMailhostRun show = CMailhostRun::Run(m_dir, {"account", "show"});
    EXPECT_TRUE(Contains(show.strOut, "password: (in the desktop keyring)\n"));
}
