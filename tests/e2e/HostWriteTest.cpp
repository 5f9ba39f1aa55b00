// `quillory import` with and without `mailhost --headless` running: the
// host's list takes it and keeps it; a silent lock holder, a hung or killed
// host and a second add-in lose no tasks; no hostile client stops the host.
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "CHeadlessTestBase.h"
#include "CHostProtocol.h"
#include "CTaskJson.h"
#include "CTaskListLock.h"
#include "Contains.h"
#include "ResultValue.h"
#include "TaskNames.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "UnixSocket.h"
#include "ZoneGuard.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;

class HostWriteTest : public CHeadlessTestBase {
protected:
    struct CRun : CShellRun {
        Clock::duration elapsed{};
    };
    // `quillory import` with strJson on its standard input.
    CRun RunImport(const std::string& strJson) {
        CTempDir::WriteFile(m_dir / "in.json", strJson);
        const auto tStart = Clock::now();
        CRun run{Tool({"import"}, m_dir / "in.json")};
        run.elapsed = Clock::now() - tStart;
        return run;
    }
    CRun RunImport(const CTaskList& list) { return RunImport(CTaskJson::ToJson(list).dump()); }

    static CTaskList Named(std::initializer_list<const char*> names) {
        CTaskList list;
        for (const char* psz : names) list.Add(Task(psz, "", 0, MinuteFromNow(24 * 60), false));
        return list;
    }
    // Read without the host.
    std::vector<std::string> FileNames() const { return TaskNamesInFile(TaskFile(), "UTF-8"); }

    std::string SocketPath() const { return ValueOf(CTaskListLock::SocketPathOf(TaskFile())); }
    // One raw line to the add-in and its one-line answer; null when none came.
    nlohmann::json Ask(const std::string& strLine) const {
        const std::string strPath = SocketPath();
        const int fd = ConnectUnix(strPath);
        if (fd < 0) return nullptr;
        const timeval tv{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::string strAnswer;
        if (::send(fd, strLine.data(), strLine.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(strLine.size())) {
            char buf[4096];
            ssize_t n;
            while (strAnswer.find('\n') == std::string::npos && (n = ::recv(fd, buf, sizeof buf, 0)) > 0)
                strAnswer.append(buf, static_cast<size_t>(n));
        }
        ::close(fd);
        if (strAnswer.find('\n') == std::string::npos) return nullptr;
        return nlohmann::json::parse(strAnswer.substr(0, strAnswer.find('\n')));
    }
    nlohmann::json Ping() const { return Ask("{\"command\":\"ping\"}\n"); }
};

class ImportWhileRunningTest : public HostWriteTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ImportWhileRunningTest, TheHostTakesTheImportAndEveryLaterSaveKeepsIt) {
    CZoneGuard zone(GetParam());
    const CTaskList before = Named({"before 1", "before 2"});
    ASSERT_EQ(RunImport(before).nExit, 0);
    StartHostAndWait();
    // Past the first tick: the sender has taken in the list the host started with.
    std::this_thread::sleep_for(milliseconds(1500));

    // As long as that list, so that only the content tells them apart.
    CTaskList imported;
    imported.Add(Task("due", MakeTemplate("due", "Due after import", "d\n"), 0, MinuteFromNow(-1), true));
    imported.Add(Task("later", MakeTemplate("later", "Not yet", "l\n"), 0, MinuteFromNow(24 * 60), false));
    const CRun run = RunImport(imported);
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"due", "later"})) << "the add-in saved the import at once";
    EXPECT_EQ(Names(Export()), (std::vector<std::string>{"due", "later"}));
    EXPECT_EQ(Ping()["tasks"], 2);

    // The host sends from the imported list; its saves after the send and at disconnection keep it.
    ASSERT_TRUE(WaitForMessages(1, seconds(30))) << HostLog();
    EXPECT_EQ(CountSubject("Due after import"), 1u);
    ASSERT_TRUE(WaitUntil([&] { return Export()[0]["occurrenceCount"] == 1; }, seconds(10))) << "never recorded";
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
    const nlohmann::json j = Export();
    ASSERT_EQ(Names(j), (std::vector<std::string>{"due", "later"}));
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_EQ(j[0]["nextSending"]["year"], 0) << "the once task is completed";
    EXPECT_EQ(j[1]["occurrenceCount"], 0);
    EXPECT_EQ(CountSubject("Not yet"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Zones, ImportWhileRunningTest, TestZones("UTC", "Pacific/Chatham"),
                         [](const auto& info) { return ZoneTestName(info.param); });

// With no host the tool writes the file itself under the lock; a lock
// held by a process that does not answer stops it.
TEST_F(HostWriteTest, WithNoHostTheToolWritesTheFileUnderTheLockOfAProcessThatAnswers) {
    CRun run = RunImport(Named({"kept"}));
    ASSERT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(FileNames(), std::vector<std::string>{"kept"});
    EXPECT_TRUE(fs::is_empty(m_dir / "run")) << "the tool serves nothing";
    const std::string strBytes = CTempDir::ReadFile(TaskFile());
    CTaskListLock lock;  // this test process: it holds the lock and serves no socket
    ASSERT_EQ(ValueOf(lock.TryAcquire(TaskFile())), CTaskListLock::EState::kHeld) << "the tool let go of the lock";

    run = RunImport(Named({"lost"}));
    EXPECT_EQ(run.nExit, 3) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "is locked by process " + std::to_string(::getpid()) + ", which does not answer"));
    EXPECT_TRUE(Contains(run.strErr, "import not applied"));
    EXPECT_LT(run.elapsed, seconds(8));
    EXPECT_EQ(CTempDir::ReadFile(TaskFile()), strBytes);

    lock.Release();
    EXPECT_EQ(RunImport(Named({"one", "two", "three"})).nExit, 0);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"one", "two", "three"}));
}

// A host refuses what the tool refuses and changes nothing; a second add-in
// on the same data directory stays off and writes nothing; a host that
// hangs stops the import and never takes it afterwards; a killed host's
// socket hangs nothing and the next host serves.
TEST_F(HostWriteTest, TheHostRefusesBadRequestsASecondAddinAnImportItHungThroughAndItsKill) {
    ASSERT_EQ(RunImport(Named({"a", "b"})).nExit, 0);
    StartHostAndWait();
    const std::string strBytes = CTempDir::ReadFile(TaskFile());

    const struct {
        const char* pszName;
        std::string strLine;
        const char* pszProblem;
    } kCases[] = {
        {"not JSON", "this is not json\n", "request: not valid JSON"},
        {"not an object", "[1, 2]\n", "\"command\" must name a command"},
        {"no command", "{\"tasks\": []}\n", "\"command\" must name a command"},
        {"unknown command", "{\"command\": \"erase\"}\n", "unknown command \"erase\""},
        {"no tasks", "{\"command\": \"import\"}\n", "\"tasks\" is missing"},
        {"tasks not a list", "{\"command\": \"import\", \"tasks\": {\"taskName\": \"x\"}}\n", ""},
        {"unknown key", "{\"command\": \"import\", \"tasks\": [{\"taskNom\": \"x\"}]}\n", "task 1: taskNom"},
        // Shapes that once ended the host or were misread.
        {"number out of range", "{\"command\": \"ping\", \"x\": 1e400}\n", "request: not valid JSON"},
        {"integer beyond 64 bits",
         "{\"command\": \"import\", \"tasks\": [{\"taskName\": \"x\", \"minuteInterval\": 18446744073709551615}]}\n",
         "task 1: minuteInterval: integer out of the 32-bit range"},
        {"not UTF-8", "{\"command\": \"\xff\"}\n", "request: not valid JSON"},
        {"a key given twice", "{\"command\": \"remove\", \"task\": \"a\", \"task\": \"b\"}\n",
         "the key \"task\" is given twice"},
        {"nested deep", std::string(100000, '[') + "\n", "request: not valid JSON"},
        {"the lock as a template",
         "{\"command\": \"set\", \"task\": \"a\", \"template\": \"" + TaskFile() + ".lock\"}\n",
         "is not a new message the quillory tool wrote"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        const nlohmann::json j = Ask(c.strLine);
        ASSERT_TRUE(j.is_object()) << "no answer";
        EXPECT_EQ(j["ok"], false);
        EXPECT_TRUE(j["pid"].is_number_integer());
        ASSERT_TRUE(j["problems"].is_array() && !j["problems"].empty()) << j.dump();
        std::string strProblems;
        for (const auto& p : j["problems"]) strProblems += p.get<std::string>() + "\n";
        EXPECT_TRUE(Contains(strProblems, c.pszProblem));
    }
    // The tool refuses the same before it asks.
    EXPECT_EQ(RunImport("[{\"taskName\": ").nExit, 2);
    EXPECT_EQ(RunImport("[{\"taskName\": \"x\", \"minuteInterval\": 1e400}]").nExit, 2);
    const CRun refused = RunImport("[{\"recurrence\": 1, \"minuteInterval\": 0}]");
    EXPECT_EQ(refused.nExit, 2);
    EXPECT_TRUE(Contains(refused.strErr, "task 1: minuteInterval"));

    EXPECT_EQ(CTempDir::ReadFile(TaskFile()), strBytes);
    nlohmann::json jPing = Ping();
    EXPECT_EQ(jPing["ok"], true);
    EXPECT_EQ(jPing["tasks"], 2);
    const pid_t pidFirst = jPing["pid"];

    // Another profile, the same data directory.
    setenv("MAILHOST_PROFILE", (m_dir / "profile2").c_str(), 1);
    CTestProcess second;
    StartHost(second, m_dir / "second.log");
    unsetenv("MAILHOST_PROFILE");
    ASSERT_TRUE(WaitForLog(m_dir / "second.log", "is not loaded", seconds(20)))
        << CTempDir::ReadFile(m_dir / "second.log");
    EXPECT_TRUE(Contains(CTempDir::ReadFile(m_dir / "second.log"),
                         "is in use by another running Quillory (process " + std::to_string(pidFirst) + ")"));
    EXPECT_EQ(RunImport(Named({"b", "c"})).nExit, 0);
    second.Stop();
    EXPECT_EQ(second.ExitStatus(), 0);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"b", "c"})) << "the second host's exit wrote nothing";
    jPing = Ping();
    EXPECT_EQ(jPing["pid"], pidFirst) << "the first still serves";
    EXPECT_EQ(jPing["tasks"], 2);

    ::kill(pidFirst, SIGSTOP);
    const CRun run = RunImport(Named({"d"}));
    ::kill(pidFirst, SIGCONT);
    EXPECT_EQ(run.nExit, 3) << run.strErr;
    EXPECT_TRUE(Contains(run.strErr, "did not answer"));
    EXPECT_LT(run.elapsed, seconds(15));
    std::this_thread::sleep_for(seconds(1));  // awake, it finds the request of a tool that gave up
    EXPECT_EQ(Ping()["tasks"], 2);
    m_host.Stop();
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"b", "c"}));

    // A killed host's socket, left behind, hangs nothing; the next host serves.
    StartHostAndWait(m_host, m_dir / "host2.log");
    const pid_t pidKilled = Ping()["pid"];
    const std::string strSocket = SocketPath();
    struct stat st {};
    ASSERT_EQ(::lstat(strSocket.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(fs::path(strSocket).parent_path(), fs::path(m_dir / "run"));
    EXPECT_EQ(st.st_mode & 077, 0u) << "only the user may connect";
    m_host.Kill();
    ASSERT_TRUE(fs::exists(fs::symlink_status(strSocket))) << "a killed host leaves its socket";
    const CRun runDown = RunImport(Named({"while down"}));
    EXPECT_EQ(runDown.nExit, 0) << runDown.strErr;
    EXPECT_LT(runDown.elapsed, seconds(3));
    EXPECT_EQ(FileNames(), std::vector<std::string>{"while down"});

    StartHostAndWait(m_host, m_dir / "host3.log");
    jPing = Ping();
    ASSERT_TRUE(jPing.is_object()) << CTempDir::ReadFile(m_dir / "host3.log");
    EXPECT_NE(jPing["pid"], pidKilled);
    EXPECT_EQ(jPing["tasks"], 1);
    EXPECT_EQ(RunImport(Named({"x", "y"})).nExit, 0);
    EXPECT_EQ(Ping()["tasks"], 2);
    m_host.Stop();
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"x", "y"}));
    EXPECT_FALSE(fs::exists(fs::symlink_status(strSocket))) << "a host that stops takes its socket along";
}

// While a message falls due: each command broken off at each step, more
// silent connections than the host has descriptors, a line longer than any
// request. The host keeps its socket, answers the tool and sends on time.
TEST_F(HostWriteTest, HostileClientsNeitherStopTheHostNorDelayItsSending) {
    CTaskList list;
    const TaskDateTime dtDue = MinuteFromNow(2);
    list.Add(Task("due", MakeTemplate("due", "Due despite them", "d\n"), 0, dtDue, false));
    ASSERT_EQ(RunImport(list).nExit, 0);
#if defined(__SANITIZE_ADDRESS__)
    // Out of descriptors, the undefined-behaviour checker cannot open the
    // pipe it checks a new type through and reports the object invalid;
    // this host reports and goes on, and the reports are checked at the end.
    const std::string strSanitizerOptions = std::getenv("UBSAN_OPTIONS") ? std::getenv("UBSAN_OPTIONS") : "";
    setenv("UBSAN_OPTIONS", "print_stacktrace=0:halt_on_error=0", 1);
    StartHostAndWait();
    setenv("UBSAN_OPTIONS", strSanitizerOptions.c_str(), 1);
#else
    StartHostAndWait();
#endif
    const std::string strSocket = SocketPath();
    const auto fnConnect = [&] {
        const int fd = ConnectUnix(strSocket);
        EXPECT_GE(fd, 0) << std::strerror(errno);
        return fd;
    };

    for (const char* pszCommand :
         {"ping", "import", "add", "set", "remove", "enable", "disable", "copy", "move", "send-now"}) {
        const std::string strLine =
            nlohmann::json{{"command", pszCommand}, {"task", "nobody"}, {"tasks", {}}}.dump() + "\n";
        for (const size_t nSent : {size_t{0}, strLine.size() / 2, strLine.size()}) {
            const int fd = fnConnect();
            EXPECT_EQ(::send(fd, strLine.data(), nSent, MSG_NOSIGNAL), static_cast<ssize_t>(nSent));
            ::close(fd);
        }
    }
    ASSERT_EQ(Ping()["ok"], true) << HostLog();

    // A few descriptors to spare, then more silent clients than that.
    const pid_t pid = Ping()["pid"];
    const auto nOpen = std::distance(fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"), {});
    rlimit old{};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &old), 0) << std::strerror(errno);
    const rlimit low{static_cast<rlim_t>(nOpen + 6), old.rlim_max};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &low, nullptr), 0) << std::strerror(errno);
    std::vector<int> vecSilent;
    for (int i = 0; i < 60; ++i) vecSilent.push_back(fnConnect());
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "cannot accept a connection", seconds(10)));
    std::this_thread::sleep_for(milliseconds(1200));
    struct stat st {};
    EXPECT_EQ(::lstat(strSocket.c_str(), &st), 0) << "the socket stays";
    for (const int fd : vecSilent) ::close(fd);
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &old, nullptr), 0);
    ASSERT_TRUE(WaitUntil([&] { return Ping().is_object(); }, seconds(10))) << "the tool is shut out\n" << HostLog();

    // A line longer than any request is refused, at a cost in proportion to its length.
    const int fdLong = fnConnect();
    const std::string strChunk(1 << 20, ' ');
    std::thread writer([&] {
        for (size_t n = 0; n <= CHostProtocol::kMaxLine; n += strChunk.size())
            if (::send(fdLong, strChunk.data(), strChunk.size(), MSG_NOSIGNAL) <= 0) break;
    });
    std::string strAnswer;
    char buf[4096];
    for (ssize_t n; strAnswer.find('\n') == std::string::npos && (n = ::recv(fdLong, buf, sizeof buf, 0)) > 0;)
        strAnswer.append(buf, static_cast<size_t>(n));
    ::shutdown(fdLong, SHUT_RDWR);
    writer.join();
    ::close(fdLong);
    EXPECT_TRUE(Contains(strAnswer, "request longer than"));

    ASSERT_TRUE(WaitForMessages(1, seconds(150))) << HostLog();
    const time_t tDue = ValueOf(TaskTime::ToAbsolute(dtDue));
    EXPECT_LE(std::time(nullptr), tDue + 50) << "sent on time";
    EXPECT_EQ(CountSubject("Due despite them"), 1u);
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
#if defined(__SANITIZE_ADDRESS__)
    // Every report the checker made is its own starved type check, nothing else.
    const std::string strLog = HostLog();
    for (size_t nAt = strLog.find("runtime error:"); nAt != std::string::npos;) {
        const size_t nNext = strLog.find("runtime error:", nAt + 1);
        const std::string strReport = strLog.substr(nAt, nNext - nAt);
        EXPECT_TRUE(Contains(strReport, "note: object has invalid vptr"));
        nAt = nNext;
    }
#endif
}

}  // namespace
