#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CTempDir.h"

// A command run through the shell: its exit status, its standard output,
// and what it wrote to the file its command line sends standard error to.
struct CShellRun {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

// str in single quotes, for a shell command line.
inline std::string ShellQuoted(const std::string& str) {
    std::string strQuoted = "'";
    for (char ch : str) strQuoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return strQuoted + "'";
}

// Each word quoted, a space before each: arguments for a command line.
inline std::string ShellWords(const std::vector<std::string>& vecWords) {
    std::string str;
    for (const std::string& strWord : vecWords) str += " " + ShellQuoted(strWord);
    return str;
}

inline CShellRun RunShell(const std::string& strCmd, const std::string& strErrFile) {
    CShellRun r;
    FILE* p = popen(strCmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.strOut.append(buf, n);
    const int nStatus = pclose(p);
    r.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    r.strErr = CTempDir::ReadFile(strErrFile);
    return r;
}

// strCmd with strIn on its standard input and its standard error caught, as
// a person at a shell would run it; both go through files in dir.
inline CShellRun RunShellIn(const CTempDir& dir, const std::string& strCmd, const std::string& strIn = "") {
    CTempDir::WriteFile(dir / "stdin", strIn);
    return RunShell(strCmd + " < " + ShellQuoted(dir / "stdin") + " 2> " + ShellQuoted(dir / "stderr"), dir / "stderr");
}
