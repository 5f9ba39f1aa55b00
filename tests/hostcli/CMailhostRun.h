#pragma once
// Runs the real mailhost program once, as a person at a shell would: the
// given text on its standard input, its output and diagnostics caught.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CTempDir.h"

extern char** environ;

struct CMailhostRun {
    int nStatus = -1;
    std::string strOut, strErr;

    static CMailhostRun Run(const CTempDir& dir, std::vector<std::string> vecArgs, const std::string& strStdin = "") {
        CTempDir::WriteFile(dir / "run.in", strStdin);
        vecArgs.insert(vecArgs.begin(), MAILHOST_PROGRAM);
        std::vector<char*> vecArgv;
        for (auto& str : vecArgs) vecArgv.push_back(str.data());
        vecArgv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, (dir / "run.in").c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (dir / "run.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (dir / "run.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        CMailhostRun run;
        const int nRc = posix_spawn(&pid, vecArgv[0], &actions, nullptr, vecArgv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int nWait = 0;
        if (nRc == 0 && ::waitpid(pid, &nWait, 0) == pid && WIFEXITED(nWait)) run.nStatus = WEXITSTATUS(nWait);
        run.strOut = CTempDir::ReadFile(dir / "run.out");
        run.strErr = CTempDir::ReadFile(dir / "run.err");
        return run;
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
    CMailhostRun Run(std::vector<std::string> vecArgs, const std::string& strStdin = "") {
        return CMailhostRun::Run(m_dir, std::move(vecArgs), strStdin);
    }
    std::string AccountsPath() const { return m_dir / "config/mailhost/accounts.ini"; }
    std::string PasswordPath() const { return m_dir / "config/mailhost/smtp-password"; }

    CTempDir m_dir;
};
