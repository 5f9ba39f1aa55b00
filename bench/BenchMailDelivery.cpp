// Delivery throughput to a loopback SMTP server: the host's delivery
// thread against msmtp run once per message, in the same run.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <benchmark/benchmark.h>

#include "CMailHost.h"
#include "COwnedFd.h"
#include "CSmtpServer.h"
#include "CTempDir.h"

extern char** environ;

namespace {

constexpr int kMessages = 1000;

std::string Body() {
    std::string str;
    while (str.size() < 10000) str += "The quick brown fox jumps over the lazy dog, again and again.\n";
    return str;
}

bool RunMsmtp(int nPort, const std::string& strMessage) {
    std::string strPort = "--port=" + std::to_string(nPort);
    std::vector<std::string> vecArgs = {"/usr/bin/msmtp", "--host=127.0.0.1", strPort, "--from=bench@example.org",
                                        "--tls=off",      "--auth=off",       "--",    "rcpt@example.com"};
    std::vector<char*> vecArgv;
    for (auto& s : vecArgs) vecArgv.push_back(s.data());
    vecArgv.push_back(nullptr);
    COwnedFd fdRead, fdWrite;
    if (!COwnedFd::MakePipe(fdRead, fdWrite)) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fdRead.Get(), 0);
    pid_t pid;
    int nRc = posix_spawn(&pid, vecArgv[0], &actions, nullptr, vecArgv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    fdRead.Reset();
    if (nRc != 0) return false;
    size_t nDone = 0;
    while (nDone < strMessage.size()) {
        ssize_t n = ::write(fdWrite.Get(), strMessage.data() + nDone, strMessage.size() - nDone);
        if (n <= 0) break;
        nDone += static_cast<size_t>(n);
    }
    fdWrite.Reset();
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}

// A fresh loopback SMTP server with its own folder for each run.
struct CLoopbackSmtp {
    CLoopbackSmtp() { m_server.Start({}); }
    CTempDir m_dir;
    CSmtpServer m_server{m_dir / "smtp"};
};

// Untimed: a run whose messages did not all arrive exactly once counts
// for nothing.
void CheckEveryMessageArrivedOnce(benchmark::State& state, CSmtpServer& server) {
    if (!server.WaitForCount(kMessages, std::chrono::seconds(30)) || server.Received().size() != kMessages)
        state.SkipWithError("not every message arrived exactly once");
}

void CountMessagesPerSecond(benchmark::State& state) {
    state.counters["msgs_per_s"] =
        benchmark::Counter(kMessages * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_HostDelivery(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        CLoopbackSmtp smtp;
        const std::string strAccounts = smtp.m_dir / "accounts.ini";
        CTempDir::WriteFile(strAccounts, "[Account]\nAddress = bench@example.org\nSmtpUrl = smtp://127.0.0.1:" +
                                             std::to_string(smtp.m_server.Port()) + "\nSecurity = none\n");
        CHostOptions opts;
        opts.strProfileDir = smtp.m_dir / "profile";
        opts.strAccountsPath = strAccounts;
        CMailHost host(opts);
        if (!host.Start().Ok()) state.SkipWithError("host did not start");
        CMailMessage msg;
        msg.vecTo = {"rcpt@example.com"};
        msg.strBody = Body();
        state.ResumeTiming();

        for (int i = 0; i < kMessages; ++i) {
            msg.strSubject = "bench " + std::to_string(i);
            if (!host.Submit(msg).Ok()) state.SkipWithError("submit failed");
        }
        int nSent = 0;
        auto tEnd = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (nSent < kMessages && std::chrono::steady_clock::now() < tEnd) {
            host.Events().WaitFor(std::chrono::milliseconds(100));
            for (const auto& e : host.Events().Drain()) nSent += e.kind == EHostEvent::Sent;
        }
        state.PauseTiming();
        host.Stop();
        CheckEveryMessageArrivedOnce(state, smtp.m_server);
        state.ResumeTiming();
    }
    CountMessagesPerSecond(state);
}

void BM_MsmtpPerMessage(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        CLoopbackSmtp smtp;
        std::string strMessage = "From: bench@example.org\nTo: rcpt@example.com\nSubject: bench\n\n" + Body();
        state.ResumeTiming();
        for (int i = 0; i < kMessages; ++i) {
            if (!RunMsmtp(smtp.m_server.Port(), strMessage)) state.SkipWithError("msmtp failed");
        }
        state.PauseTiming();
        CheckEveryMessageArrivedOnce(state, smtp.m_server);
        state.ResumeTiming();
    }
    CountMessagesPerSecond(state);
}

}  // namespace

BENCHMARK(BM_HostDelivery)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MsmtpPerMessage)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
