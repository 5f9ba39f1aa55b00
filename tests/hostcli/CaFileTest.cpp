// A private certificate authority as an administrator uses one: the real
// mailhost program against loopback TLS servers (STARTTLS and SMTPS), each
// with its own self-signed certificate made by openssl, trusted through
// `account set --ca-file`, $SSL_CERT_FILE or $CURL_CA_BUNDLE, or not at all.
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "CEnvScope.h"
#include "CMailhostRun.h"
#include "CSmtpServer.h"
#include "CTempDir.h"
#include "Contains.h"

namespace {

namespace fs = std::filesystem;

using CaFileTest = CMailhostHomeTest;

// The line `account show` gives for the CA file.
std::string CaLine(const std::string& strShow) {
    const size_t n = strShow.find("ca file:");
    return n == std::string::npos ? "" : strShow.substr(n, strShow.find('\n', n) - n);
}

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
    struct CCase {
        const char* pszName;
        EWhich caFile;       // account set --ca-file
        EWhich sslCertFile;  // $SSL_CERT_FILE
        EWhich curlBundle;   // $CURL_CA_BUNDLE
        bool bTrusted;
        const char* pszShows;  // the ca file line of account show, after "ca file:  "
    };
    const CCase kCases[] = {
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
        for (const CCase& c : kCases) {
            const std::string strWhat = std::string(server.pszSecurity) + ", " + c.pszName;
            const std::string strSslCertFile = Path(c.sslCertFile), strCurlBundle = Path(c.curlBundle);
            const CEnvScope sslCertFile("SSL_CERT_FILE", c.sslCertFile ? strSslCertFile.c_str() : nullptr);
            const CEnvScope curlBundle("CURL_CA_BUNDLE", c.curlBundle ? strCurlBundle.c_str() : nullptr);
            const CMailhostRun set =
                Run({"account", "set", "--address", "zoe@example.org", "--smtp",
                     std::string(server.pszScheme) + "://127.0.0.1:" + std::to_string(server.pServer->Port()),
                     "--security", server.pszSecurity, "--ca-file", Path(c.caFile)});
            ASSERT_EQ(set.nStatus, 0) << strWhat << ": " << set.strErr;

            const CMailhostRun test = Run({"account", "test"});
            EXPECT_EQ(test.nStatus, c.bTrusted ? 0 : 3) << strWhat << ": " << test.strOut << test.strErr;
            if (c.bTrusted) {
                EXPECT_EQ(test.strOut.rfind("Sending: OK.", 0), 0u) << strWhat << ": " << test.strOut;
            } else {
                EXPECT_EQ(test.strOut.rfind("Sending: FAILED.", 0), 0u) << strWhat << ": " << test.strOut;
                EXPECT_TRUE(Contains(test.strOut, "certificate")) << strWhat << ": " << test.strOut;
            }

            std::string strShows = c.pszShows;
            for (const auto& [strWord, strPath] :
                 {std::pair<std::string, std::string>{"OWN", strOwn}, {"OTHER", strOther}})
                if (size_t n = strShows.find(strWord); n != std::string::npos)
                    strShows.replace(n, strWord.size(), strPath);
            const CMailhostRun show = Run({"account", "show"});
            EXPECT_EQ(show.nStatus, 0) << strWhat << ": " << show.strErr;
            EXPECT_EQ(CaLine(show.strOut), "ca file:  " + strShows) << strWhat;
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
    struct CCase {
        const char* pszName;
        std::string strPath;
        const char* pszSays;
    };
    const CCase kCases[] = {
        {"missing", m_dir / "nowhere.pem", "No such file or directory"},
        {"a folder", m_dir.Path(), "not a regular file"},
        {"no certificate in it", m_dir / "notes.txt", "holds no certificate in PEM form"},
        {"the server's key, not its certificate", m_dir / "smtp/key.pem", "holds no certificate in PEM form"},
    };
    for (const CCase& c : kCases) {
        const CMailhostRun run = Run({"account", "set", "--ca-file", c.strPath});
        EXPECT_EQ(run.nStatus, 2) << c.pszName;
        EXPECT_TRUE(Contains(run.strErr, "CA file")) << c.pszName << ": " << run.strErr;
        EXPECT_TRUE(Contains(run.strErr, c.pszSays)) << c.pszName << ": " << run.strErr;
        EXPECT_EQ(CTempDir::ReadFile(AccountsPath()), strBefore) << c.pszName << ": nothing is written";
    }

    // Named from where the command runs; kept whole, as the host reads it
    // from another folder.
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
