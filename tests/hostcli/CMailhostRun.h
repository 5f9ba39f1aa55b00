#pragma once
// Runs the real mailhost program once, as a person at a shell would: the
// given text on its standard input, its output and diagnostics caught.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CTempDir.h"
#include "ShellRun.h"

struct CMailhostRun {
    int nStatus = -1;
    std::string strOut, strErr;

    static CMailhostRun Run(const CTempDir& dir, const std::vector<std::string>& vecArgs,
                            const std::string& strStdin = "") {
        const CShellRun run = RunShellIn(dir, ShellQuoted(MAILHOST_PROGRAM) + ShellWords(vecArgs), strStdin);
        return {run.nExit, run.strOut, run.strErr};
    }
};

// A fresh home for the program: its configuration and data under the
// test's folder, and none of the variables that would point elsewhere.
class CMailhostHomeTest : public ::testing::Test {
protected:
    CMailhostHomeTest() {
        setenv("HOME", m_dir.Path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
        for (const char* psz :
             {"MAILHOST_ACCOUNTS", "MAILHOST_PROFILE", "SSL_CERT_FILE", "CURL_CA_BUNDLE", "SSL_CERT_DIR"})
            unsetenv(psz);
    }
    CMailhostRun Run(const std::vector<std::string>& vecArgs, const std::string& strStdin = "") {
        return CMailhostRun::Run(m_dir, vecArgs, strStdin);
    }
    std::string AccountsPath() const { return m_dir / "config/mailhost/accounts.ini"; }
    std::string PasswordPath() const { return m_dir / "config/mailhost/smtp-password"; }

    CTempDir m_dir;
};
