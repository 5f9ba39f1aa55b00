// The connected add-in answering the quillory tool in-process, with the
// tool's client on its own thread while the host's UI thread runs events:
// a change waits for no dialog but is refused while one is open (the Email
// Manager and the options sheet hold tasks by position), goes through once
// it is closed, and the lock and socket go with the disconnection.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDialog>
#include <filesystem>
#include <future>

#include "CAddin.h"
#include "CApplication.h"
#include "CHostClient.h"
#include "CMemoryMailBackend.h"
#include "CMessageBox.h"
#include "CTaskListFile.h"
#include "CTaskListLock.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "SharedState.h"

namespace fs = std::filesystem;

namespace {

using json = nlohmann::ordered_json;

class CTaskListServerTest : public ::testing::Test {
protected:
    CTaskListServerTest() {
        fs::create_directories(DataDir());
        ::mkdir((m_dir / "run").c_str(), 0700);
        setenv("XDG_DATA_HOME", (m_dir / "roaming").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_dir / "run").c_str(), 1);
        setenv("QUILLORY_CODEPAGE", "UTF-8", 1);
        CAddin::SetModulePathForTests(m_dir / "install/quilsend.so");
        CMessageBox::SetHandler([](const std::string&, const std::string&, unsigned) { return CMessageBox::IDOK; });
        m_spApp = CApplication::Create(m_backend, m_options);
        m_spAddin = MakeComObject<CAddin>();
    }
    ~CTaskListServerTest() override {
        m_spAddin.Release();
        m_spApp->Shutdown();
        g_spApplication.Release();
        CMessageBox::SetHandler({});
        CAddin::SetModulePathForTests({});
        for (const char* psz : {"XDG_DATA_HOME", "XDG_RUNTIME_DIR", "QUILLORY_CODEPAGE"}) unsetenv(psz);
    }

    std::string DataDir() const { return m_dir / "roaming/Tarnwick Software/Office Outlook/Quillory/"; }
    std::string TaskFile() const { return DataDir() + "emails.dat"; }

    static CTaskList Named(std::initializer_list<const char*> names) {
        CTaskList list;
        for (const char* psz : names) {
            CTaskItem t;
            t.m_strTaskName = psz;
            list.Add(t);
        }
        return list;
    }
    static std::vector<std::string> NamesOf(const CTaskList& list) {
        std::vector<std::string> vec;
        for (const CTaskItem& t : list) vec.push_back(t.m_strTaskName);
        return vec;
    }
    std::vector<std::string> FileNames() const {
        CTaskList list;
        CTaskListFile::LoadTaskList(TaskFile(), list, CTextCodec("UTF-8"));
        return NamesOf(list);
    }
    static json ImportOf(std::initializer_list<const char*> names) {
        json j = {{"command", "import"}, {"tasks", json::array()}};
        for (const char* psz : names) j["tasks"].push_back({{"taskName", psz}});
        return j;
    }

    // The tool's request from another thread, while this one runs the host's events.
    CHostClient::CResult Ask(const json& jRequest) {
        const std::string strSocket = CTaskListLock::SocketPathOf(TaskFile()).strPath;
        auto answer = std::async(std::launch::async, [&] { return CHostClient::Request(strSocket, jRequest, 5000); });
        while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return answer.get();
    }

    CTempDir m_dir;
    CMemoryMailBackend m_backend;
    CApplicationOptions m_options;
    CComPtr<CApplication> m_spApp;
    CComPtr<CAddin> m_spAddin;
};

TEST_F(CTaskListServerTest, AChangeIsRefusedWhileADialogIsOpenAndTakenOnceItCloses) {
    ASSERT_EQ(CTaskListFile::SaveTaskList(TaskFile(), Named({"a"}), CTextCodec("UTF-8")), "");
    ASSERT_EQ(m_spAddin->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr), S_OK);

    QDialog dlg;
    dlg.setModal(true);
    dlg.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dlg);
    CHostClient::CResult r = Ask(ImportOf({"b", "c"}));
    ASSERT_EQ(r.eOutcome, CHostClient::EOutcome::kAnswered) << r.strProblem;
    EXPECT_EQ(r.jAnswer["ok"], false);
    EXPECT_EQ(r.jAnswer["problems"], json::array({"import: a dialog is open in the host; close it and try again"}));
    EXPECT_EQ(NamesOf(*g_pTaskList), std::vector<std::string>{"a"});
    EXPECT_EQ(FileNames(), std::vector<std::string>{"a"});
    // Reading is no change: it is answered all the same.
    r = Ask({{"command", "ping"}});
    EXPECT_EQ(r.jAnswer["ok"], true);
    EXPECT_EQ(r.jAnswer["tasks"], 1);

    dlg.close();
    r = Ask(ImportOf({"b", "c"}));
    ASSERT_EQ(r.eOutcome, CHostClient::EOutcome::kAnswered) << r.strProblem;
    EXPECT_EQ(r.jAnswer["ok"], true) << r.jAnswer.dump();
    EXPECT_EQ(r.jAnswer["tasks"], 2);
    EXPECT_EQ(r.jAnswer["pid"], ::getpid());
    EXPECT_EQ(NamesOf(*g_pTaskList), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"b", "c"}));
    r = Ask({{"command", "ping"}});
    EXPECT_EQ(r.jAnswer["file"], TaskFile());

    const std::string strSocket = CTaskListLock::SocketPathOf(TaskFile()).strPath;
    CTaskListLock lock;
    EXPECT_EQ(lock.TryAcquire(TaskFile()), CTaskListLock::EState::kBusy);
    EXPECT_EQ(lock.HolderPid(), ::getpid());
    EXPECT_EQ(lock.HolderSocket(), strSocket);

    m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);
    EXPECT_FALSE(fs::exists(fs::symlink_status(strSocket)));
    EXPECT_EQ(lock.TryAcquire(TaskFile()), CTaskListLock::EState::kHeld);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"b", "c"}));
}

TEST_F(CTaskListServerTest, ASecondAddinOnTheSameTaskListDoesNotConnect) {
    ASSERT_EQ(m_spAddin->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr), S_OK);
    std::vector<std::string> vecBoxes;
    CMessageBox::SetHandler([&](const std::string& strText, const std::string&, unsigned) {
        vecBoxes.push_back(strText);
        return CMessageBox::IDOK;
    });
    auto spSecond = MakeComObject<CAddin>();
    EXPECT_EQ(spSecond->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr),
              CAddin::kFailure);
    ASSERT_EQ(vecBoxes.size(), 1u);
    EXPECT_EQ(vecBoxes[0], "The task list " + TaskFile() + " is in use by another running Quillory (process " +
                               std::to_string(::getpid()) + "). This one stays off, so that neither overwrites the "
                               "other's tasks.");
    spSecond.Release();
    // The first still serves.
    const CHostClient::CResult r = Ask({{"command", "ping"}});
    EXPECT_EQ(r.eOutcome, CHostClient::EOutcome::kAnswered) << r.strProblem;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
