// `mailhost account show|set|test` as a person on a server uses it: the
// real program in a fresh home, its files read back, and for test real
// loopback servers (SMTP with STARTTLS and a login, IMAP and POP3).
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "CDovecotServer.h"
#include "CEnvScope.h"
#include "CMailhostRun.h"
#include "CSmtpServer.h"
#include "CTempDir.h"

namespace {

namespace fs = std::filesystem;

using AccountCommandTest = CMailhostHomeTest;

TEST_F(AccountCommandTest, SetWritesTheAccountAndAPasswordOnlyTheUserCanRead) {
    const CMailhostRun run = Run({"account", "set", "--name", "Zoë Example", "--address", "Zoë <zoe@example.org>",
                                  "--smtp", "smtp://mail.example.org:465", "--security", "smtps", "--user", "zoe",
                                  "--password-stdin", "--receive", "imaps://mail.example.org"},
                                 "  pass word with spaces \n");
    ASSERT_EQ(run.nStatus, 0) << run.strErr;
    // The scheme follows the security.
    EXPECT_EQ(
        CTempDir::ReadFile(AccountsPath()),
        "; Written by the mail host (the Accounts dialog or \"mailhost account set\").\n[Account]\nName = Zoë Example\n"
        "Address = Zoë <zoe@example.org>\nSmtpUrl = smtps://mail.example.org:465\nSecurity = tls\nUser = zoe\n"
        "PasswordFile = smtp-password\nReceiveUrl = imaps://mail.example.org\n");
    EXPECT_EQ(CTempDir::ReadFile(PasswordPath()), "  pass word with spaces \n");
    struct stat st {};
    ASSERT_EQ(::stat(PasswordPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const CMailhostRun show = Run({"account", "show"});
    EXPECT_EQ(show.nStatus, 0) << show.strErr;
    EXPECT_NE(show.strOut.find("security: smtps\n"), std::string::npos) << show.strOut;
    EXPECT_NE(show.strOut.find("password: (set)\n"), std::string::npos) << show.strOut;
    EXPECT_EQ(show.strOut.find("pass word"), std::string::npos) << "the password is never shown";
}

TEST_F(AccountCommandTest, SetChangesOnlyWhatIsGivenAndDropsTheLoginWhenAsked) {
    ASSERT_EQ(Run({"account", "set", "--address", "zoe@example.org", "--smtp", "smtps://mail.example.org", "--security",
                   "starttls", "--user", "zoe", "--password-stdin"},
                  "first\n")
                  .nStatus,
              0);
    EXPECT_NE(CTempDir::ReadFile(AccountsPath()).find("SmtpUrl = smtp://mail.example.org\n"), std::string::npos);

    // The password stays with its user, as in the dialog.
    ASSERT_EQ(Run({"account", "set", "--name", "Zoe"}).nStatus, 0);
    EXPECT_NE(CTempDir::ReadFile(AccountsPath()).find("User = zoe\n"), std::string::npos);
    EXPECT_EQ(CTempDir::ReadFile(PasswordPath()), "first\n");

    // Another user needs its own password.
    const CMailhostRun other = Run({"account", "set", "--user", "zed"});
    EXPECT_EQ(other.nStatus, 2);
    EXPECT_NE(other.strErr.find("Enter the password for the user zed."), std::string::npos) << other.strErr;
    EXPECT_NE(CTempDir::ReadFile(AccountsPath()).find("User = zoe\n"), std::string::npos);

    ASSERT_EQ(Run({"account", "set", "--user", ""}).nStatus, 0);
    EXPECT_EQ(CTempDir::ReadFile(AccountsPath()).find("User"), std::string::npos);
    EXPECT_FALSE(fs::exists(PasswordPath())) << "no login, no secret left on disk";
}

TEST_F(AccountCommandTest, MistakesChangeNothingAndSayWhy) {
    ASSERT_EQ(Run({"account", "set", "--address", "zoe@example.org", "--smtp", "smtp://mail.example.org:587"}).nStatus,
              0);
    const std::string strBefore = CTempDir::ReadFile(AccountsPath());
    struct CCase {
        const char* pszName;
        std::vector<std::string> vecArgs;
        int nStatus;
        const char* pszSays;
    };
    const CCase kCases[] = {
        {"bad address", {"--address", "not an address"}, 2, "not an address"},
        {"bad scheme", {"--smtp", "http://mail.example.org"}, 2, "must start with smtp://, smtps://"},
        {"bad port", {"--smtp", "smtp://mail.example.org:70000"}, 2, "no valid port number"},
        {"user in the URL", {"--smtp", "smtp://zoe@mail.example.org"}, 2, "put the user name in User"},
        {"bad receiving URL", {"--receive", "ftp://mail.example.org"}, 2, "must start with imap://"},
        {"unknown security", {"--security", "tls"}, 1, "--security must be starttls, smtps or none"},
        {"value missing", {"--name"}, 1, "--name needs a value"},
        {"unknown option", {"--colour", "red"}, 1, "unknown option --colour"},
        {"no password given", {"--password-stdin"}, 1, "nothing on standard input"},
    };
    for (const auto& c : kCases) {
        std::vector<std::string> vecArgs = {"account", "set"};
        vecArgs.insert(vecArgs.end(), c.vecArgs.begin(), c.vecArgs.end());
        const CMailhostRun run = Run(vecArgs);
        EXPECT_EQ(run.nStatus, c.nStatus) << c.pszName;
        EXPECT_NE(run.strErr.find(c.pszSays), std::string::npos) << c.pszName << ": " << run.strErr;
        EXPECT_EQ(CTempDir::ReadFile(AccountsPath()), strBefore) << c.pszName;
    }
    EXPECT_EQ(Run({"account", "frobnicate"}).nStatus, 1);
    EXPECT_EQ(Run({"account"}).nStatus, 1);
}

TEST_F(AccountCommandTest, ShowNamesEveryProblemOfAHandWrittenFile) {
    const CMailhostRun none = Run({"account", "show"});
    EXPECT_EQ(none.nStatus, 2);
    EXPECT_NE(none.strErr.find("no account is set up in " + AccountsPath()), std::string::npos) << none.strErr;

    fs::create_directories(m_dir / "config/mailhost");
    CTempDir::WriteFile(AccountsPath(), "[Account]\nAddress = zoe@\nSmtpUrl = smtp://:25\nColour = red\n");
    const CMailhostRun bad = Run({"account", "show"});
    EXPECT_EQ(bad.nStatus, 2);
    EXPECT_NE(bad.strErr.find(AccountsPath() + ":2:"), std::string::npos) << bad.strErr;
    EXPECT_NE(bad.strErr.find(AccountsPath() + ":3: \"smtp://:25\" has no host name"), std::string::npos) << bad.strErr;
    EXPECT_NE(bad.strErr.find(AccountsPath() + ":4: unknown key \"Colour\""), std::string::npos) << bad.strErr;
    EXPECT_EQ(Run({"account", "test"}).nStatus, 2) << "an invalid account is not tried";

    // A FIFO nobody writes to, as the password file or as the accounts file
    // itself, once blocked `account show` in open() for good.
    const std::string strPipe = m_dir / "config/mailhost/pipe";
    ASSERT_EQ(::mkfifo(strPipe.c_str(), 0600), 0);
    CTempDir::WriteFile(AccountsPath(),
                        "[Account]\nAddress = zoe@example.org\nSmtpUrl = smtp://mail.example.org\n"
                        "User = zoe\nPasswordFile = pipe\n");
    const CMailhostRun fifoPassword = Run({"account", "show"});
    EXPECT_EQ(fifoPassword.nStatus, 2);
    EXPECT_NE(fifoPassword.strErr.find("not a regular file (a FIFO): " + strPipe), std::string::npos)
        << fifoPassword.strErr;
    fs::remove(AccountsPath());
    ASSERT_EQ(::mkfifo(AccountsPath().c_str(), 0600), 0);
    const CMailhostRun fifoAccounts = Run({"account", "show"});
    EXPECT_EQ(fifoAccounts.nStatus, 2);
    EXPECT_NE(fifoAccounts.strErr.find("not a regular file (a FIFO): " + AccountsPath()), std::string::npos)
        << fifoAccounts.strErr;
}

TEST_F(AccountCommandTest, APasswordInTheKeyringStaysThereUntilANewOneIsGiven) {
    // As the Accounts dialog leaves it; this session has no bus to ask.
    const CEnvScope noBus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    const CEnvScope noRuntimeBus("XDG_RUNTIME_DIR", nullptr);
    fs::create_directories(m_dir / "config/mailhost");
    CTempDir::WriteFile(AccountsPath(),
                        "[Account]\nAddress = zoe@example.org\nSmtpUrl = smtp://127.0.0.1:1\n"
                        "User = zoe\nPasswordStore = keyring\n");
    const CMailhostRun show = Run({"account", "show"});
    EXPECT_EQ(show.nStatus, 0) << show.strErr;
    EXPECT_NE(show.strOut.find("password: (in the desktop keyring)\n"), std::string::npos) << show.strOut;

    const CMailhostRun test = Run({"account", "test"});
    EXPECT_EQ(test.nStatus, 2);
    EXPECT_NE(test.strErr.find(AccountsPath() +
                               ": the password is in the desktop keyring, which this session cannot reach (no session "
                               "bus); run `mailhost account set --password-stdin` to store it in the file"),
              std::string::npos)
        << test.strErr;

    ASSERT_EQ(Run({"account", "set", "--name", "Zoe"}).nStatus, 0);
    EXPECT_NE(CTempDir::ReadFile(AccountsPath()).find("Name = Zoe\n"), std::string::npos);
    EXPECT_NE(CTempDir::ReadFile(AccountsPath()).find("User = zoe\nPasswordStore = keyring\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(PasswordPath()));

    const CMailhostRun other = Run({"account", "set", "--user", "zed"});
    EXPECT_EQ(other.nStatus, 2) << "another user's password is not the one in the keyring";
    EXPECT_NE(other.strErr.find("Enter the password for the user zed."), std::string::npos) << other.strErr;

    ASSERT_EQ(Run({"account", "set", "--password-stdin"}, "typed\n").nStatus, 0);
    EXPECT_EQ(CTempDir::ReadFile(PasswordPath()), "typed\n");
    EXPECT_NE(CTempDir::ReadFile(AccountsPath()).find("User = zoe\nPasswordFile = smtp-password\n"), std::string::npos);
}

TEST_F(AccountCommandTest, HelpOnEveryCommandHasAnExample) {
    for (const auto& vecArgs : std::vector<std::vector<std::string>>{
             {"account", "--help"}, {"account", "set", "--help"}, {"status", "--help"}, {"--help"}}) {
        const CMailhostRun run = Run(vecArgs);
        EXPECT_EQ(run.nStatus, 0) << vecArgs.back();
        EXPECT_NE(run.strOut.find("mailhost "), std::string::npos) << run.strOut;
    }
    EXPECT_NE(Run({"account", "--help"}).strOut.find("example:"), std::string::npos);
    EXPECT_NE(Run({"status", "--help"}).strOut.find("example:"), std::string::npos);
}

class AccountServerTest : public AccountCommandTest {
protected:
    AccountServerTest() : m_smtp(m_dir / "smtp"), m_dovecot(m_dir / "dovecot") {}
    // The account through the command, with the dovecot user's login, at
    // the test's SMTP server, whose certificate is the test's own.
    void SetAccount(const char* pszSecurity, const std::string& strPassword, const std::string& strReceiveUrl) {
        ASSERT_EQ(Run({"account", "set", "--address", "tess@example.org", "--smtp",
                       "smtp://127.0.0.1:" + std::to_string(m_smtp.Port()), "--security", pszSecurity, "--user",
                       CDovecotServer::kUser, "--password-stdin", "--receive", strReceiveUrl},
                      strPassword + "\n")
                      .nStatus,
                  0);
        // Written by hand once; set keeps it, as the dialog does.
        const std::string strText = CTempDir::ReadFile(AccountsPath());
        if (fs::exists(m_smtp.CertPath()) && strText.find("CaFile") == std::string::npos)
            CTempDir::WriteFile(AccountsPath(), strText + "CaFile = " + m_smtp.CertPath() + "\n");
    }
    CSmtpServer m_smtp;
    CDovecotServer m_dovecot;
};

TEST_F(AccountServerTest, TestSucceedsOnlyWhenBothConfiguredServersAnswer) {
    // The test's dovecot has no TLS, so the account goes without.
    m_smtp.Start({});
    m_dovecot.Start();
    const std::string strImap = "imap://127.0.0.1:" + std::to_string(m_dovecot.ImapPort());
    const std::string strPop3 = "pop3://127.0.0.1:" + std::to_string(m_dovecot.Pop3Port());

    SetAccount("none", CDovecotServer::kPassword, strImap);
    CMailhostRun run = Run({"account", "test"});
    EXPECT_EQ(run.nStatus, 0) << run.strOut << run.strErr;
    EXPECT_NE(run.strOut.find("Sending: OK. Connected to smtp://127.0.0.1:"), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("the server says: 220 "), std::string::npos) << "the greeting is shown";
    EXPECT_NE(run.strOut.find("\nReceiving: OK. Connected to imap://"), std::string::npos) << run.strOut;

    SetAccount("none", CDovecotServer::kPassword, strPop3);
    run = Run({"account", "test"});
    EXPECT_EQ(run.nStatus, 0) << run.strOut << run.strErr;
    EXPECT_NE(run.strOut.find("\nReceiving: OK. Connected to pop3://"), std::string::npos) << run.strOut;

    // Receiving refuses the login: sending alone is not enough.
    SetAccount("none", "wrong", strImap);
    run = Run({"account", "test"});
    EXPECT_EQ(run.nStatus, 3);
    EXPECT_NE(run.strOut.find("Sending: OK."), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("Receiving: FAILED."), std::string::npos) << run.strOut;

    // Encryption is asked of both servers, as delivery and receiving ask it.
    SetAccount("starttls", CDovecotServer::kPassword, strImap);
    run = Run({"account", "test"});
    EXPECT_EQ(run.nStatus, 3);
    EXPECT_NE(run.strOut.find("Receiving: FAILED. imap://127.0.0.1:"), std::string::npos) << run.strOut;

    SetAccount("none", CDovecotServer::kPassword, strImap);
    m_dovecot.Stop();
    run = Run({"account", "test"});
    EXPECT_EQ(run.nStatus, 3);
    EXPECT_NE(run.strOut.find("Receiving: FAILED."), std::string::npos) << run.strOut;
}

TEST_F(AccountServerTest, TestWithStartTlsAndLoginShowsTheServersRefusal) {
    m_smtp.Start({.bStartTls = true, .strAuth = std::string(CDovecotServer::kUser) + ":" + CDovecotServer::kPassword});
    SetAccount("starttls", CDovecotServer::kPassword, "");
    CMailhostRun run = Run({"account", "test"});
    EXPECT_EQ(run.nStatus, 0) << run.strOut << run.strErr;
    EXPECT_NE(run.strOut.find("Sending: OK. Connected to smtp://127.0.0.1:"), std::string::npos) << run.strOut;
    EXPECT_EQ(run.strOut.find("Receiving"), std::string::npos) << "no receiving server, none asked";

    SetAccount("starttls", "wrong", "");
    run = Run({"account", "test"});
    EXPECT_EQ(run.nStatus, 3);
    EXPECT_NE(run.strOut.find("Sending: FAILED."), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("the server says: 535"), std::string::npos) << run.strOut;

    m_smtp.Stop();
    run = Run({"account", "test"});
    EXPECT_EQ(run.nStatus, 3);
    EXPECT_NE(run.strOut.find("Sending: FAILED."), std::string::npos) << run.strOut;
}

}  // namespace
