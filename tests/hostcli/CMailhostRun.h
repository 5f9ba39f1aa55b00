#pragma once
// Runs the real mailhost program once, as a person at a shell would: the
// given text on its standard input, its output and diagnostics caught.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

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
