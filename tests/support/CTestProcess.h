#pragma once
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A child process for test fixtures: started with posix_spawn, stopped
// with SIGTERM (then SIGKILL) and reaped.
class CTestProcess {
public:
    CTestProcess() = default;
    ~CTestProcess() { Stop(); }
    CTestProcess(const CTestProcess&) = delete;
    CTestProcess& operator=(const CTestProcess&) = delete;

    // Throws on failure. With bCaptureStdout, ReadLine reads the child's output.
    // strStderr: a file for the child's diagnostics, kept out of the test output.
    void Start(const std::vector<std::string>& vecArgs, bool bCaptureStdout, const std::string& strStderr = "");
    std::string ReadLine(std::chrono::milliseconds timeout);
    void Stop();
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // SIGKILL, then reaped: a crash at this moment.
    void Kill();
    // Waits for the child to end by itself; its exit status, or -1 when it
    // did not end in time (it is left running) or ended by a signal.
    int Wait(std::chrono::milliseconds timeout);
    // The exit status recorded when Stop or Wait reaped the child (-1: a signal).
    int ExitStatus() const { return m_nExitStatus; }

    // Runs to completion; returns the exit status (-1 when it could not run).
    static int Run(const std::vector<std::string>& vecArgs);

private:
    // Whether the child has ended and been waited for, its status noted.
    bool Reaped();

    pid_t m_pid = -1;
    int m_nExitStatus = -1;
    int m_fdOut = -1;
    std::string m_strBuffer;
};
