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
#include "Contains.h"

namespace {

namespace fs = std::filesystem;

// One run of the program: its exit status, texts its output holds and
// lines the accounts file holds after it ("!" first: must not hold), and
// the password file's bytes ("" when there must be none, null: unchecked).
// A run that fails leaves every byte of the accounts file as it was.
struct CAccountStep {
    const char* pszName;
    std::vector<std::string> vecArgs;
    int nStatus;
    std::vector<std::string> vecSays = {};
    std::vector<std::string> vecFile = {};
    const char* pszPassword = nullptr;
    const char* pszStdin = "";
};

void ExpectHolds(const std::string& strText, const std::string& strPart) {
    const bool bLacks = strPart.rfind('!', 0) == 0;
    EXPECT_EQ(bool(Contains(strText, strPart.substr(bLacks ? 1 : 0))), !bLacks)
        << (bLacks ? "holds " : "lacks ") << strPart << " in:\n"
        << strText;
}

class AccountCommandTest : public CMailhostHomeTest {
protected:
    std::string Accounts() const {
        return fs::is_regular_file(AccountsPath()) ? CTempDir::ReadFile(AccountsPath()) : "";
    }
    void Check(const CAccountStep& s) {
        SCOPED_TRACE(s.pszName);
        const std::string strBefore = Accounts();
        const CMailhostRun run = Run(s.vecArgs, s.pszStdin);
        EXPECT_EQ(run.nStatus, s.nStatus) << run.strOut << run.strErr;
        for (const std::string& str : s.vecSays) ExpectHolds(run.strOut + run.strErr, str);
        if (s.nStatus != 0) {
            EXPECT_EQ(Accounts(), strBefore);
        }
        for (const std::string& str : s.vecFile) ExpectHolds(Accounts(), str);
        if (s.pszPassword) {
            EXPECT_EQ(fs::exists(PasswordPath()) ? CTempDir::ReadFile(PasswordPath()) : "", s.pszPassword)
                << "no login, no secret left on disk";
        }
    }
};

TEST_F(AccountCommandTest, SetWritesWhatIsGivenAndRefusesMistakesWhole) {
    Check({"everything",
           {"account", "set", "--name", "Zoë Example", "--address", "Zoë <zoe@example.org>", "--smtp",
            "smtp://mail.example.org:465", "--security", "smtps", "--user", "zoe", "--password-stdin", "--receive",
            "imaps://mail.example.org"},
           0,
           {},
           {},
           "  pass word with spaces \n",
           "  pass word with spaces \n"});
    // The scheme follows the security.
    EXPECT_EQ(
        Accounts(),
        "; Written by the mail host (the Accounts dialog or \"mailhost account set\").\n[Account]\nName = Zoë Example\n"
        "Address = Zoë <zoe@example.org>\nSmtpUrl = smtps://mail.example.org:465\nSecurity = tls\nUser = zoe\n"
        "PasswordFile = smtp-password\nReceiveUrl = imaps://mail.example.org\n");
    struct stat st {};
    ASSERT_EQ(::stat(PasswordPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const CAccountStep kSteps[] = {
        // clang-format off
        {"show never shows the password", {"account", "show"}, 0, {"security: smtps\n", "password: (set)\n", "!pass word"}},
        {"bad address", {"account", "set", "--address", "not an address"}, 2, {"not an address"}},
        {"unknown security", {"account", "set", "--security", "tls"}, 1, {"--security must be starttls, smtps or none"}},
        {"value missing", {"account", "set", "--name"}, 1, {"--name needs a value"}},
        {"unknown option", {"account", "set", "--colour", "red"}, 1, {"unknown option --colour"}},
        {"no password given", {"account", "set", "--password-stdin"}, 1, {"nothing on standard input"}},
        {"unknown command", {"account", "frobnicate"}, 1},
        {"no command", {"account"}, 1},
        {"account help", {"account", "--help"}, 0, {"mailhost ", "example:"}},
        {"set help", {"account", "set", "--help"}, 0, {"mailhost "}},
        {"status help", {"status", "--help"}, 0, {"mailhost ", "example:"}},
        {"help", {"--help"}, 0, {"mailhost "}},
        {"STARTTLS takes smtp://", {"account", "set", "--smtp", "smtps://mail.example.org", "--security", "starttls"},
         0, {}, {"SmtpUrl = smtp://mail.example.org\n"}},
        // The password stays with its user, as in the dialog.
        {"a name alone", {"account", "set", "--name", "Zoe"}, 0, {}, {"User = zoe\n"}, "  pass word with spaces \n"},
        {"another user needs its own password", {"account", "set", "--user", "zed"}, 2,
         {"Enter the password for the user zed."}},
        {"no user, no login", {"account", "set", "--user", ""}, 0, {}, {"!User"}, ""},
        // clang-format on
    };
    for (const CAccountStep& s : kSteps) Check(s);
}

TEST_F(AccountCommandTest, ShowNamesEveryProblemOfAHandWrittenFile) {
    Check({"no account", {"account", "show"}, 2, {"no account is set up in " + AccountsPath()}});
    fs::create_directories(m_dir / "config/mailhost");
    CTempDir::WriteFile(AccountsPath(), "[Account]\nAddress = zoe@\nSmtpUrl = smtp://:25\nColour = red\n");
    Check({"bad lines",
           {"account", "show"},
           2,
           {AccountsPath() + ":2:", AccountsPath() + ":3: \"smtp://:25\" has no host name",
            AccountsPath() + ":4: unknown key \"Colour\""}});
    Check({"an invalid account is not tried", {"account", "test"}, 2});

    // A FIFO nobody writes to, as the password file or as the accounts file
    // itself, once blocked `account show` in open() for good.
    const std::string strPipe = m_dir / "config/mailhost/pipe";
    ASSERT_EQ(::mkfifo(strPipe.c_str(), 0600), 0);
    CTempDir::WriteFile(AccountsPath(),
                        "[Account]\nAddress = zoe@example.org\nSmtpUrl = smtp://mail.example.org\n"
                        "User = zoe\nPasswordFile = pipe\n");
    Check({"password FIFO", {"account", "show"}, 2, {"not a regular file (a FIFO): " + strPipe}});
    fs::remove(AccountsPath());
    ASSERT_EQ(::mkfifo(AccountsPath().c_str(), 0600), 0);
    Check({"accounts FIFO", {"account", "show"}, 2, {"not a regular file (a FIFO): " + AccountsPath()}});
}

TEST_F(AccountCommandTest, APasswordInTheKeyringStaysThereUntilANewOneIsGiven) {
    // As the Accounts dialog leaves it; this session has no bus to ask.
    const CEnvScope noBus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    const CEnvScope noRuntimeBus("XDG_RUNTIME_DIR", nullptr);
    fs::create_directories(m_dir / "config/mailhost");
    CTempDir::WriteFile(AccountsPath(),
                        "[Account]\nAddress = zoe@example.org\nSmtpUrl = smtp://127.0.0.1:1\n"
                        "User = zoe\nPasswordStore = keyring\n");
    const CAccountStep kSteps[] = {
        {"show", {"account", "show"}, 0, {"password: (in the desktop keyring)\n"}},
        {"test",
         {"account", "test"},
         2,
         {AccountsPath() + ": the password is in the desktop keyring, which this session cannot reach (no session "
                           "bus); run `mailhost account set --password-stdin` to store it in the file"}},
        {"a name keeps it",
         {"account", "set", "--name", "Zoe"},
         0,
         {},
         {"Name = Zoe\n", "User = zoe\nPasswordStore = keyring\n"},
         ""},
        {"a typed one goes to the file",
         {"account", "set", "--password-stdin"},
         0,
         {},
         {"User = zoe\nPasswordFile = smtp-password\n"},
         "typed\n",
         "typed\n"},
    };
    for (const CAccountStep& s : kSteps) Check(s);
}

class AccountServerTest : public AccountCommandTest {
protected:
    AccountServerTest() : m_smtp(m_dir / "smtp"), m_dovecot(m_dir / "dovecot") {}
    // `account test` with the dovecot user's login (or a wrong password) at
    // the test's SMTP server, whose certificate is the test's own.
    void CheckTest(const CAccountStep& s, const char* pszSecurity, const std::string& strPassword,
                   const std::string& strReceiveUrl) {
        ASSERT_EQ(Run({"account", "set", "--address", "tess@example.org", "--smtp",
                       "smtp://127.0.0.1:" + std::to_string(m_smtp.Port()), "--security", pszSecurity, "--user",
                       CDovecotServer::kUser, "--password-stdin", "--receive", strReceiveUrl},
                      strPassword + "\n")
                      .nStatus,
                  0);
        // Written by hand once; set keeps it, as the dialog does.
        const std::string strText = Accounts();
        if (fs::exists(m_smtp.CertPath()) && !Contains(strText, "CaFile"))
            CTempDir::WriteFile(AccountsPath(), strText + "CaFile = " + m_smtp.CertPath() + "\n");
        Check(s);
    }
    CSmtpServer m_smtp;
    CDovecotServer m_dovecot;
};

TEST_F(AccountServerTest, TestSucceedsOnlyWhenEveryConfiguredServerAnswers) {
    // The test's dovecot has no TLS, so the account goes without.
    m_smtp.Start({});
    m_dovecot.Start();
    const std::string strImap = "imap://127.0.0.1:" + std::to_string(m_dovecot.ImapPort());
    const std::string strPop3 = "pop3://127.0.0.1:" + std::to_string(m_dovecot.Pop3Port());
    const std::vector<std::string> vecTest = {"account", "test"};
    const std::string strRight = CDovecotServer::kPassword;
    CheckTest({"IMAP",
               vecTest,
               0,
               {"Sending: OK. Connected to smtp://127.0.0.1:", "the server says: 220 ",
                "\nReceiving: OK. Connected to imap://"}},
              "none", strRight, strImap);
    CheckTest({"POP3", vecTest, 0, {"\nReceiving: OK. Connected to pop3://"}}, "none", strRight, strPop3);
    CheckTest({"receiving refuses the login: sending alone is not enough",
               vecTest,
               3,
               {"Sending: OK.", "Receiving: FAILED."}},
              "none", "wrong", strImap);
    CheckTest({"encryption is asked of both servers", vecTest, 3, {"Receiving: FAILED. imap://127.0.0.1:"}}, "starttls",
              strRight, strImap);
    m_dovecot.Stop();
    CheckTest({"no receiving server", vecTest, 3, {"Receiving: FAILED."}}, "none", strRight, strImap);

    m_smtp.Stop();
    m_smtp.Start({.bStartTls = true, .strAuth = std::string(CDovecotServer::kUser) + ":" + strRight});
    CheckTest({"STARTTLS and a login; no receiving server, none asked",
               vecTest,
               0,
               {"Sending: OK. Connected to smtp://127.0.0.1:", "!Receiving"}},
              "starttls", strRight, "");
    CheckTest({"the server's refusal", vecTest, 3, {"Sending: FAILED.", "the server says: 535"}}, "starttls", "wrong",
              "");
    m_smtp.Stop();
    Check({"no server", vecTest, 3, {"Sending: FAILED."}});
}

}  // namespace
