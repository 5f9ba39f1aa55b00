// `mailhost account show|set|test` as a person on a server uses it: the
// real program in a fresh home, its files read back, real loopback servers
// (SMTP with STARTTLS or SMTPS and a login, IMAP and POP3), and a private
// CA trusted through --ca-file, $SSL_CERT_FILE, $CURL_CA_BUNDLE or not at all.
#include <sys/stat.h>

#include <filesystem>
#include <memory>

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
    const char* pszPassword = "  pass word with spaces \n";
    Check({"everything",
           {"account", "set", "--name", "Zoë Example", "--address", "Zoë <zoe@example.org>", "--smtp",
            "smtp://mail.example.org:465", "--security", "smtps", "--user", "zoe", "--password-stdin", "--receive",
            "imaps://mail.example.org"},
           0,
           {},
           {},
           pszPassword,
           pszPassword});
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
        {"a name alone", {"account", "set", "--name", "Zoe"}, 0, {}, {"User = zoe\n"}, pszPassword},
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
    const CEnvScope noBus("DBUS_SESSION_BUS_ADDRESS", nullptr), noRuntimeBus("XDG_RUNTIME_DIR", nullptr);
    fs::create_directories(m_dir / "config/mailhost");
    CTempDir::WriteFile(AccountsPath(),
                        "[Account]\nAddress = zoe@example.org\nSmtpUrl = smtp://127.0.0.1:1\n"
                        "User = zoe\nPasswordStore = keyring\n");
    const CAccountStep kSteps[] = {
        // clang-format off
        {"show", {"account", "show"}, 0, {"password: (in the desktop keyring)\n"}},
        {"test", {"account", "test"}, 2,
         {AccountsPath() + ": the password is in the desktop keyring, which this session cannot reach (no session "
                           "bus); run `mailhost account set --password-stdin` to store it in the file"}},
        {"a name keeps it", {"account", "set", "--name", "Zoe"}, 0, {},
         {"Name = Zoe\n", "User = zoe\nPasswordStore = keyring\n"}, ""},
        {"a typed one goes to the file", {"account", "set", "--password-stdin"}, 0, {},
         {"User = zoe\nPasswordFile = smtp-password\n"}, "typed\n", "typed\n"},
        // clang-format on
    };
    for (const CAccountStep& s : kSteps) Check(s);
}

class AccountServerTest : public AccountCommandTest {
protected:
    AccountServerTest() : m_smtp(m_dir / "smtp"), m_dovecot(m_dir / "dovecot") {}
    CSmtpServer m_smtp;
    CDovecotServer m_dovecot;
};

TEST_F(AccountServerTest, TestSucceedsOnlyWhenEveryConfiguredServerAnswers) {
    // The test's dovecot has no TLS, so the account goes without.
    m_smtp.Start({});
    m_dovecot.Start();
    const std::string strImap = "imap://127.0.0.1:" + std::to_string(m_dovecot.ImapPort());
    const std::string strPop3 = "pop3://127.0.0.1:" + std::to_string(m_dovecot.Pop3Port());
    enum EBefore { kNothing, kStopDovecot, kSmtpWithTlsAndLogin, kStopSmtp };
    // `account test` after `account set` with the dovecot user's login (or a
    // wrong password) and the test SMTP server's own certificate.
    const struct {
        EBefore before;
        const char* pszName;
        const char* pszSecurity;
        bool bRightPassword;
        std::string strReceive;
        int nStatus;
        std::vector<std::string> vecSays;
    } kRows[] = {
        // clang-format off
        {kNothing, "IMAP", "none", true, strImap, 0,
         {"Sending: OK. Connected to smtp://127.0.0.1:", "the server says: 220 ", "\nReceiving: OK. Connected to imap://"}},
        {kNothing, "POP3", "none", true, strPop3, 0, {"\nReceiving: OK. Connected to pop3://"}},
        {kNothing, "receiving refuses the login: sending alone is not enough", "none", false, strImap, 3,
         {"Sending: OK.", "Receiving: FAILED."}},
        {kNothing, "encryption is asked of both servers", "starttls", true, strImap, 3,
         {"Receiving: FAILED. imap://127.0.0.1:"}},
        {kStopDovecot, "no receiving server", "none", true, strImap, 3, {"Receiving: FAILED."}},
        {kSmtpWithTlsAndLogin, "STARTTLS and a login; no receiving server, none asked", "starttls", true, "", 0,
         {"Sending: OK. Connected to smtp://127.0.0.1:", "!Receiving"}},
        {kNothing, "the server's refusal", "starttls", false, "", 3, {"Sending: FAILED.", "the server says: 535"}},
        {kStopSmtp, "no server", "starttls", true, "", 3, {"Sending: FAILED."}},
        // clang-format on
    };
    for (const auto& row : kRows) {
        if (row.before == kStopDovecot) m_dovecot.Stop();
        if (row.before == kSmtpWithTlsAndLogin) {
            m_smtp.Stop();
            m_smtp.Start(
                {.bStartTls = true, .strAuth = std::string(CDovecotServer::kUser) + ":" + CDovecotServer::kPassword});
        }
        if (row.before == kStopSmtp) m_smtp.Stop();
        ASSERT_EQ(Run({"account", "set", "--address", "tess@example.org", "--smtp",
                       "smtp://127.0.0.1:" + std::to_string(m_smtp.Port()), "--security", row.pszSecurity, "--user",
                       CDovecotServer::kUser, "--password-stdin", "--receive", row.strReceive},
                      std::string(row.bRightPassword ? CDovecotServer::kPassword : "wrong") + "\n")
                      .nStatus,
                  0)
            << row.pszName;
        // Written by hand once; set keeps it, as the dialog does.
        const std::string strText = Accounts();
        if (fs::exists(m_smtp.CertPath()) && !Contains(strText, "CaFile"))
            CTempDir::WriteFile(AccountsPath(), strText + "CaFile = " + m_smtp.CertPath() + "\n");
        Check({row.pszName, {"account", "test"}, row.nStatus, row.vecSays});
    }
}

using CaFileTest = CMailhostHomeTest;

TEST_F(CaFileTest, AServerIsTrustedExactlyWhenItsCertificateIsNamed) {
    struct CServer {
        const char* pszSecurity;
        const char* pszScheme;
        std::unique_ptr<CSmtpServer> pServer;
    };
    CServer servers[] = {{"starttls", "smtp", std::make_unique<CSmtpServer>(m_dir / "starttls")},
                         {"smtps", "smtps", std::make_unique<CSmtpServer>(m_dir / "smtps")}};
    servers[0].pServer->Start({.bStartTls = true});
    servers[1].pServer->Start({.bImplicitTls = true});

    // Which certificate each way names: the server's own, the other
    // server's (a CA that did not sign this one), or none.
    enum EWhich { kNone, kOwn, kOther };
    const struct {
        const char* pszName;
        EWhich caFile;       // account set --ca-file
        EWhich sslCertFile;  // $SSL_CERT_FILE
        EWhich curlBundle;   // $CURL_CA_BUNDLE
        bool bTrusted;
        const char* pszShows;  // the ca file line of account show, after "ca file:  "
    } kCases[] = {
        {"the system's CAs alone", kNone, kNone, kNone, false, "(the system's)"},
        {"--ca-file", kOwn, kNone, kNone, true, "OWN (on top of the system's)"},
        {"--ca-file of another CA", kOther, kNone, kNone, false, "OTHER (on top of the system's)"},
        {"$SSL_CERT_FILE", kNone, kOwn, kNone, true, "OWN (from $SSL_CERT_FILE, instead of the system's)"},
        {"$CURL_CA_BUNDLE", kNone, kNone, kOwn, true, "OWN (from $CURL_CA_BUNDLE, instead of the system's)"},
        {"$CURL_CA_BUNDLE before $SSL_CERT_FILE", kNone, kOther, kOwn, true,
         "OWN (from $CURL_CA_BUNDLE, instead of the system's)"},
        {"the account's file before the environment", kOwn, kOther, kOther, true, "OWN (on top of the system's)"},
    };
    for (size_t nServer = 0; nServer < 2; ++nServer) {
        const CServer& server = servers[nServer];
        const std::string strOwn = server.pServer->CertPath(), strOther = servers[1 - nServer].pServer->CertPath();
        const auto Path = [&](EWhich which) { return which == kOwn ? strOwn : which == kOther ? strOther : ""; };
        for (const auto& c : kCases) {
            SCOPED_TRACE(std::string(server.pszSecurity) + ", " + c.pszName);
            const std::string strSslCertFile = Path(c.sslCertFile), strCurlBundle = Path(c.curlBundle);
            const CEnvScope sslCertFile("SSL_CERT_FILE", c.sslCertFile ? strSslCertFile.c_str() : nullptr);
            const CEnvScope curlBundle("CURL_CA_BUNDLE", c.curlBundle ? strCurlBundle.c_str() : nullptr);
            const CMailhostRun set =
                Run({"account", "set", "--address", "zoe@example.org", "--smtp",
                     std::string(server.pszScheme) + "://127.0.0.1:" + std::to_string(server.pServer->Port()),
                     "--security", server.pszSecurity, "--ca-file", Path(c.caFile)});
            ASSERT_EQ(set.nStatus, 0) << set.strErr;

            const CMailhostRun test = Run({"account", "test"});
            EXPECT_EQ(test.nStatus, c.bTrusted ? 0 : 3) << test.strOut << test.strErr;
            EXPECT_EQ(test.strOut.rfind(c.bTrusted ? "Sending: OK." : "Sending: FAILED.", 0), 0u) << test.strOut;
            if (!c.bTrusted) {
                EXPECT_TRUE(Contains(test.strOut, "certificate"));
            }

            std::string strShows = c.pszShows;
            for (const auto& [strWord, strPath] :
                 {std::pair<std::string, std::string>{"OWN", strOwn}, {"OTHER", strOther}})
                if (size_t n = strShows.find(strWord); n != std::string::npos)
                    strShows.replace(n, strWord.size(), strPath);
            const CMailhostRun show = Run({"account", "show"});
            EXPECT_EQ(show.nStatus, 0) << show.strErr;
            const size_t nAt = show.strOut.find("ca file:");
            EXPECT_EQ(nAt == std::string::npos ? "" : show.strOut.substr(nAt, show.strOut.find('\n', nAt) - nAt),
                      "ca file:  " + strShows);
        }
    }
}

TEST_F(CaFileTest, OnlyAFileOfCertificatesIsTakenAndARelativeOneIsMadeWhole) {
    CSmtpServer server(m_dir / "smtp");
    server.Start({.bStartTls = true});
    ASSERT_EQ(Run({"account", "set", "--address", "zoe@example.org", "--smtp", "smtp://mail.example.org:587"}).nStatus,
              0);
    const std::string strBefore = CTempDir::ReadFile(AccountsPath());
    CTempDir::WriteFile(m_dir / "notes.txt", "not a certificate\n");
    const struct {
        const char* pszName;
        std::string strPath;
        const char* pszSays;
    } kCases[] = {
        {"missing", m_dir / "nowhere.pem", "No such file or directory"},
        {"a folder", m_dir.Path(), "not a regular file"},
        {"no certificate in it", m_dir / "notes.txt", "holds no certificate in PEM form"},
        {"the server's key, not its certificate", m_dir / "smtp/key.pem", "holds no certificate in PEM form"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        const CMailhostRun run = Run({"account", "set", "--ca-file", c.strPath});
        EXPECT_EQ(run.nStatus, 2);
        EXPECT_TRUE(Contains(run.strErr, "CA file"));
        EXPECT_TRUE(Contains(run.strErr, c.pszSays));
        EXPECT_EQ(CTempDir::ReadFile(AccountsPath()), strBefore) << "nothing is written";
    }

    // Named from where the command runs; kept whole, as the host reads it from another folder.
    const std::string strCwd = fs::current_path();
    fs::current_path(m_dir / "smtp");
    const CMailhostRun relative = Run({"account", "set", "--ca-file", "./cert.pem"});
    fs::current_path(strCwd);
    ASSERT_EQ(relative.nStatus, 0) << relative.strErr;
    EXPECT_TRUE(Contains(CTempDir::ReadFile(AccountsPath()), "\nCaFile = " + server.CertPath() + "\n"));

    ASSERT_EQ(Run({"account", "set", "--ca-file", ""}).nStatus, 0);
    EXPECT_FALSE(Contains(CTempDir::ReadFile(AccountsPath()), "CaFile"));

    // A file the environment names is not the account's to refuse; show warns.
    const CEnvScope env("SSL_CERT_FILE", (m_dir / "gone.pem").c_str());
    const CMailhostRun show = Run({"account", "show"});
    EXPECT_EQ(show.nStatus, 0) << show.strErr;
    EXPECT_TRUE(Contains(show.strErr, "warning: $SSL_CERT_FILE: CA file " + (m_dir / "gone.pem")));
}

}  // namespace
