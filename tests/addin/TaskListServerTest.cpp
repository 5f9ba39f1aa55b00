// The connected add-in answering the quillory tool in-process, the tool's
// client on its own thread while the host's UI thread runs events: a change
// waits while a dialog is open or a send runs the host's events (both hold
// tasks by position), and no client can stop the serving.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>

#include <gtest/gtest.h>

#include "CAddin.h"
#include "CAddinFolders.h"
#include "CApplication.h"
#include "CEnvScope.h"
#include "CHostClient.h"
#include "CMemoryMailBackend.h"
#include "CMessageBox.h"
#include "CSendEmailDlg.h"
#include "CTaskListFile.h"
#include "CTaskListLock.h"
#include "CTaskListServer.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "Contains.h"
#include "IClock.h"
#include "ResultValue.h"
#include "SharedState.h"
#include "TaskNames.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "UnixSocket.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;

namespace {

using json = nlohmann::ordered_json;

// Loading a template runs the host's events, as a send that waits on the
// network does.
class CPumpingBackend : public CMemoryMailBackend {
public:
    std::function<void()> fnWhileSending;
    CResult<> LoadTemplate(const std::string& strPath, CMailMessage& msg) override {
        if (fnWhileSending) fnWhileSending();
        return CMemoryMailBackend::LoadTemplate(strPath, msg);
    }
};

class TaskListServerTest : public ::testing::Test {
protected:
    TaskListServerTest() {
        fs::create_directories(DataDir());
        ::mkdir((m_dir / "run").c_str(), 0700);
        CMessageBox::SetHandler([](const std::string&, const std::string&, unsigned) { return CMessageBox::IDOK; });
        m_spApp = CApplication::Create(m_backend, m_options);
        m_spAddin = MakeComObject<CAddin>();
    }
    ~TaskListServerTest() override {
        m_spAddin.Release();
        m_spApp->Shutdown();
        g_spApplication.Release();
        CMessageBox::SetHandler({});
    }

    std::string DataDir() const { return m_dir / "roaming/Tarnwick Software/Mail Host/Quillory/"; }
    std::string TaskFile() const { return DataDir() + "emails.dat"; }
    // The task list holds task alone, its message saved as its template
    // (named for the task), and the add-in is connected to it.
    void ConnectWithTask(CTaskItem task, const CMailMessage& msg) {
        task.m_bActive = 1;
        task.m_strTemplateFile = DataDir() + task.m_strTaskName + ".oft";
        ASSERT_EQ(m_backend.SaveTemplate(task.m_strTemplateFile, msg).Problem(), "");
        CTaskList list;
        list.Add(task);
        ASSERT_EQ(CTaskListFile::SaveTaskList(TaskFile(), list, CTextCodec::Open("UTF-8").Value()).Problem(), "");
        ASSERT_EQ(m_spAddin->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr),
                  S_OK);
    }

    std::vector<std::string> FileNames() const { return TaskNamesInFile(TaskFile(), "UTF-8"); }
    static json ImportOf(std::initializer_list<const char*> names) {
        json j = {{"command", "import"}, {"tasks", json::array()}};
        for (const char* psz : names)
            j["tasks"].push_back({{"taskName", psz},
                                  {"start", {{"year", 2026}, {"month", 12}, {"day", 7}, {"hour", 9}, {"minute", 0}}},
                                  {"endKind", 0}});
        return j;
    }

    // The tool's request on another thread, to the add-in's socket unless told.
    std::future<CResult<CHostClient::CReply>> Send(const json& jRequest, std::string strSocket = "") const {
        if (strSocket.empty()) strSocket = ValueOf(CTaskListLock::SocketPathOf(TaskFile()));
        return std::async(std::launch::async,
                          [strSocket, jRequest] { return CHostClient::Request(strSocket, jRequest, 5000); });
    }
    // Its answer, while this thread runs the host's events.
    static CHostClient::CReply Wait(std::future<CResult<CHostClient::CReply>>& answer) {
        while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return ValueOf(answer.get());  // a host that cannot be reached fails the test with its problem
    }
    CHostClient::CReply Ask(const json& jRequest) const {
        auto answer = Send(jRequest);
        return Wait(answer);
    }

    // A client's end, connected but not yet served: the host's events do that.
    static int Connect(const std::string& strSocket) {
        const int fd = ConnectUnix(strSocket);
        EXPECT_GE(fd, 0) << std::strerror(errno);
        return fd;
    }
    // A server of its own on a task file beside the add-in's, with one command.
    std::unique_ptr<CTaskListServer> Serve(CTaskListServer::CContext ctx, const char* pszFile, const char* pszCommand,
                                           bool bWrites) const {
        auto pServer = std::make_unique<CTaskListServer>(ctx);
        EXPECT_EQ(pServer->Claim(DataDir() + pszFile).Problem(), "");
        pServer->AddHandler(pszCommand, bWrites, [](const json&) { return CTaskListServer::Ok(); });
        EXPECT_EQ(pServer->Listen().Problem(), "");
        return pServer;
    }
    static void RunEvents(int nMs) {
        QEventLoop loop;
        QTimer::singleShot(nMs, &loop, &QEventLoop::quit);
        loop.exec();
    }

    CTempDir m_dir;
    CAddinFolders m_folders{m_dir.Path()};
    const CEnvScope m_runDir{"XDG_RUNTIME_DIR", (m_dir / "run").c_str()};
    const CEnvScope m_codePage{"QUILLORY_CODEPAGE", "UTF-8"};
    CPumpingBackend m_backend;
    CApplicationOptions m_options;
    CComPtr<CApplication> m_spApp;
    CComPtr<CAddin> m_spAddin;
};

TEST_F(TaskListServerTest, AChangeIsRefusedWhileADialogIsOpenAndTakenOnceItCloses) {
    CTaskList list;
    list.Add(CTaskItem());
    list[0].m_strTaskName = "a";
    ASSERT_EQ(CTaskListFile::SaveTaskList(TaskFile(), list, CTextCodec::Open("UTF-8").Value()).Problem(), "");
    ASSERT_EQ(m_spAddin->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr), S_OK);

    QDialog dlg;
    dlg.setModal(true);
    dlg.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dlg);
    CHostClient::CReply r = Ask(ImportOf({"b", "c"}));
    ASSERT_EQ(r.eOutcome, CHostClient::EOutcome::kAnswered);
    EXPECT_EQ(r.jAnswer["ok"], false);
    EXPECT_EQ(r.jAnswer["problems"], json::array({"import: a dialog is open in the host; close it and try again"}));
    EXPECT_EQ(TaskNames(*g_pTaskList), std::vector<std::string>{"a"});
    EXPECT_EQ(FileNames(), std::vector<std::string>{"a"});
    // Reading is no change: it is answered all the same.
    r = Ask({{"command", "ping"}});
    EXPECT_EQ(r.jAnswer["ok"], true);
    EXPECT_EQ(r.jAnswer["tasks"], 1);

    dlg.close();
    r = Ask(ImportOf({"b", "c"}));
    ASSERT_EQ(r.eOutcome, CHostClient::EOutcome::kAnswered);
    EXPECT_EQ(r.jAnswer["ok"], true) << r.jAnswer.dump();
    EXPECT_EQ(TaskNames(*g_pTaskList), (std::vector<std::string>{"b", "c"}));
    r = Ask({{"command", "ping"}});
    EXPECT_EQ(r.jAnswer["file"], TaskFile());
    // An import the host cannot save leaves every task as it was, its
    // identity too (a message window holds its task by it).
    const CTaskList::Id nIdOfB = g_pTaskList->IdAt(0);
    fs::rename(TaskFile(), TaskFile() + ".kept");
    fs::create_directory(TaskFile());  // the file cannot be replaced
    r = Ask(ImportOf({"d"}));
    EXPECT_EQ(r.jAnswer["ok"], false);
    EXPECT_EQ(TaskNames(*g_pTaskList), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(g_pTaskList->IdAt(0), nIdOfB);
    fs::remove(TaskFile());
    fs::rename(TaskFile() + ".kept", TaskFile());

    const std::string strSocket = ValueOf(CTaskListLock::SocketPathOf(TaskFile()));
    CTaskListLock lock;
    EXPECT_EQ(ValueOf(lock.TryAcquire(TaskFile())), CTaskListLock::EState::kBusy);
    EXPECT_EQ(lock.HolderSocket(), strSocket);
    m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);
    EXPECT_EQ(ValueOf(lock.TryAcquire(TaskFile())), CTaskListLock::EState::kHeld);
}

// The present is fixed at 2025-06-15 in the zone under test.
class TaskListServerSendingTest : public TaskListServerTest, public ::testing::WithParamInterface<const char*> {
protected:
    TaskListServerSendingTest() { g_pClock = &m_clock; }
    ~TaskListServerSendingTest() override {
        m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);
        g_pClock = nullptr;
    }
    static constexpr time_t kNow = 1750000000;
    const CZoneGuard m_zone{GetParam()};
    CFixedClock m_clock{kNow};
};

TEST_P(TaskListServerSendingTest, AChangeArrivingDuringASendWaitsForTheTickToEnd) {
    CMailMessage msg;
    msg.strSubject = "Due";
    CTaskItem due;
    due.m_strTaskName = "due";
    due.m_bSendOverdue = 1;
    due.m_dtStart = due.m_dtNextSending = TaskTime::FromAbsolute(kNow - 60);
    ConnectWithTask(due, msg);
    if (HasFatalFailure()) return;

    std::future<CResult<CHostClient::CReply>> answer;
    bool bAnsweredDuringSend = false;
    m_backend.fnWhileSending = [&] {
        answer = Send(ImportOf({"x", "y"}));
        const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < tEnd) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        bAnsweredDuringSend = answer.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    };
    g_pSendEmailDlg->OnTimer();
    m_backend.fnWhileSending = nullptr;
    ASSERT_TRUE(answer.valid()) << "the task was sent";
    EXPECT_FALSE(bAnsweredDuringSend);

    const CHostClient::CReply r = Wait(answer);
    ASSERT_EQ(r.eOutcome, CHostClient::EOutcome::kAnswered);
    EXPECT_EQ(r.jAnswer["ok"], true) << r.jAnswer.dump();
    EXPECT_EQ(TaskNames(*g_pTaskList), (std::vector<std::string>{"x", "y"}));
    for (const CTaskItem& t : *g_pTaskList) EXPECT_EQ(t.m_nOccurrenceCount, 0) << t.m_strTaskName;
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"x", "y"}));
}

// The tool gives up on a send-now (Ctrl+C) while the send runs the host's
// events, as receiving first does: the host must neither touch the gone
// connection nor lose the sending.
TEST_P(TaskListServerSendingTest, AClientThatGoesDuringItsSendNowCostsNothing) {
    CMailMessage msg;
    msg.strSubject = "Now";
    msg.vecTo = {"rita@example.com"};
    CTaskItem task;
    task.m_strTaskName = "now";
    task.m_bReceiveBeforeSending = 1;
    task.m_dtStart = task.m_dtNextSending = TaskTime::FromAbsolute(kNow + 24 * 3600);
    ConnectWithTask(task, msg);
    if (HasFatalFailure()) return;

    const int fd = Connect(ValueOf(CTaskListLock::SocketPathOf(TaskFile())));
    const std::string strLine = "{\"command\":\"send-now\",\"task\":\"now\"}\n";
    ASSERT_EQ(::send(fd, strLine.data(), strLine.size(), MSG_NOSIGNAL), static_cast<ssize_t>(strLine.size()));
    bool bSending = false;
    m_backend.fnWhileSending = [&] {
        bSending = true;
        ::close(fd);
        RunEvents(300);  // the disconnection is taken in here
    };
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!bSending && std::chrono::steady_clock::now() < tEnd)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    m_backend.fnWhileSending = nullptr;
    ASSERT_TRUE(bSending);
    RunEvents(100);

    EXPECT_EQ(m_backend.m_vecSubmitted.size(), 1u);
    ASSERT_EQ(g_pTaskList->GetSize(), 1);
    // A send-now is an extra message: the schedule's count stays.
    EXPECT_EQ((*g_pTaskList)[0].m_nOccurrenceCount, 0);
    EXPECT_EQ(Ask({{"command", "ping"}}).jAnswer["ok"], true);
}

INSTANTIATE_TEST_SUITE_P(Zones, TaskListServerSendingTest, TestZones("UTC", "America/St_Johns", "Asia/Kathmandu"),
                         [](const auto& info) { return ZoneTestName(info.param); });

// Clients that connect and stay silent: at most kMaxConnections stay open,
// the longest silent ones making room, a tool still gets its answer, and
// silence ends a connection.
TEST_F(TaskListServerTest, SilentClientsNeverShutOutTheTool) {
    CTaskListServer::CContext ctx;
    ctx.nIdleMs = 400;
    const auto pServer = Serve(ctx, "silent.dat", "ping", false);
    CTaskListServer& server = *pServer;
    struct stat st {};
    ASSERT_EQ(::lstat(server.SocketPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::vector<int> vecSilent;
    for (int i = 0; i < CTaskListServer::kMaxConnections + 20; ++i) vecSilent.push_back(Connect(server.SocketPath()));
    RunEvents(100);
    EXPECT_EQ(server.ConnectionCount(), CTaskListServer::kMaxConnections);
    auto answer = Send({{"command", "ping"}}, server.SocketPath());
    EXPECT_EQ(Wait(answer).jAnswer["ok"], true);

    RunEvents(1000);
    EXPECT_EQ(server.ConnectionCount(), 0) << "silence ends them";
    for (const int fd : vecSilent) {
        char c = 0;
        EXPECT_EQ(::recv(fd, &c, 1, MSG_DONTWAIT), 0) << "closed by the host";
        ::close(fd);
    }
}

// Requests put off while a tick runs are never dropped to make room: a
// client that finds every place taken by them is told to try again.
TEST_F(TaskListServerTest, RequestsWaitingForATickKeepTheirPlaces) {
    CTaskListServer::CContext ctx;
    ctx.fnBusy = [] { return true; };  // a tick that does not end
    const auto pServer = Serve(ctx, "waiting.dat", "set", true);
    CTaskListServer& server = *pServer;
    std::vector<int> vecWaiting;
    const std::string strLine = json{{"command", "set"}}.dump() + "\n";
    for (int i = 0; i < CTaskListServer::kMaxConnections; ++i) {
        vecWaiting.push_back(Connect(server.SocketPath()));
        ASSERT_EQ(::send(vecWaiting.back(), strLine.data(), strLine.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(strLine.size()));
        RunEvents(5);
    }
    RunEvents(100);
    ASSERT_EQ(server.ConnectionCount(), CTaskListServer::kMaxConnections);
    auto answer = Send({{"command", "set"}}, server.SocketPath());
    const auto result = Wait(answer);
    EXPECT_EQ(result.jAnswer["ok"], false);
    EXPECT_TRUE(Contains(result.jAnswer.dump(), "try again"));
    EXPECT_EQ(server.ConnectionCount(), CTaskListServer::kMaxConnections) << "none of the waiting ones was dropped";
    for (const int fd : vecWaiting) {
        char c = 0;
        EXPECT_EQ(::recv(fd, &c, 1, MSG_DONTWAIT), -1) << "still waiting, not closed";
        ::close(fd);
    }
}

}  // namespace
