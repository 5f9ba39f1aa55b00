// The add-in's connection and disconnection against the real host object
// model over an in-memory backend, with faults injected at the host.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "CAddin.h"
#include "CAddinFolders.h"
#include "CAddinPaths.h"
#include "CApplication.h"
#include "CEnvScope.h"
#include "CFaultyApplication.h"
#include "CFileOverrideOff.h"
#include "CMemoryMailBackend.h"
#include "CMessageBox.h"
#include "CMyInspectorEvent.h"
#include "CSendEmailDlg.h"
#include "CTaskListFile.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "Contains.h"
#include "IClock.h"
#include "ReceivedItem.h"
#include "SharedState.h"
#include "TaskNames.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;

namespace {

const std::string kDataSub = "Tarnwick Software/Mail Host/Quillory/";

class AddinTest : public ::testing::Test {
protected:
    AddinTest() {
        CMessageBox::SetHandler([this](const std::string& strText, const std::string& strCaption, unsigned nFlags) {
            m_vecBoxes.push_back(strCaption + ": " + strText + (nFlags & CMessageBox::MB_ICONERROR ? " [error]" : ""));
            return CMessageBox::IDOK;
        });
        m_spApp = CApplication::Create(m_backend, m_options);
        m_spAddin = MakeComObject<CAddin>();
    }
    ~AddinTest() override {
        g_pClock = nullptr;  // a test's own clock has gone already
        m_spAddin.Release();
        if (m_spApp) m_spApp->Shutdown();
        g_spApplication.Release();
        CMessageBox::SetHandler({});
        [[maybe_unused]] int n = ::chdir("/");
    }
    HRESULT Connect(IDispatch* pApp) { return m_spAddin->OnConnection(pApp, ext_cm_Startup, nullptr, nullptr); }
    HRESULT Connect() { return Connect(static_cast<_Application*>(m_spApp.p)); }
    std::string Roaming() const { return m_dir / "roaming/"; }
    std::string Install() const { return m_dir / "install/"; }

    static void WriteTasks(const std::string& strPath, const std::vector<std::string>& vecNames) {
        CTaskList list;
        for (const auto& str : vecNames) {
            CTaskItem t;
            t.m_strTaskName = str;
            list.Add(t);
        }
        ASSERT_EQ(CTaskListFile::SaveTaskList(strPath, list, CTextCodec::Open("UTF-8").Value()).Problem(), "");
    }
    static std::vector<std::string> ReadTasks(const std::string& strPath) { return TaskNamesInFile(strPath, "UTF-8"); }

    // The host's connection again, as a new add-in object after a restart.
    CComPtr<CAddin> Reconnect() {
        m_spApp->Shutdown();  // the toolbar lives as long as the host
        m_spApp = CApplication::Create(m_backend, m_options);
        auto spSecond = MakeComObject<CAddin>();
        const HRESULT hr =
            spSecond->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr);
        if (hr == S_OK) return spSecond;
        ADD_FAILURE() << "the second connection gave " << hr;
        return nullptr;
    }

    const CEnvScope m_codePage{"QUILLORY_CODEPAGE", "UTF-8"};
    CTempDir m_dir;
    CAddinFolders m_folders{m_dir.Path()};
    CMemoryMailBackend m_backend;
    CApplicationOptions m_options;
    CComPtr<CApplication> m_spApp;
    CComPtr<CAddin> m_spAddin;
    std::vector<std::string> m_vecBoxes;
};

TEST_F(AddinTest, ConnectionSetsUpPathsListToolbarAndSending) {
    fs::create_directories(Roaming() + kDataSub);
    WriteTasks(Roaming() + kDataSub + "emails.dat", {"one", "two"});
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(g_strAppDataDir, Roaming());
    EXPECT_EQ(g_strInstallDir, Install());
    EXPECT_EQ(g_strDataDir, Roaming() + kDataSub);
    EXPECT_EQ(fs::current_path().string() + "/", Install());
    ASSERT_NE(g_pTaskList, nullptr);
    EXPECT_EQ(g_pTaskList->GetSize(), 2);
    EXPECT_FALSE(fs::exists(Install() + "appdata.ini")) << "the location file is never created";
    ASSERT_NE(g_pSendEmailDlg, nullptr);
    EXPECT_TRUE(g_pSendEmailDlg->IsTimerRunning());
    EXPECT_TRUE(m_vecBoxes.empty());

    // The toolbar's one button and the same command in the main window's Tools
    // menu: one name for the window, by which the tray finds it.
    CComPtr<_Explorer> spExplorer;
    m_spApp->ActiveExplorer(&spExplorer);
    std::vector<CComPtr<CommandBarControl>> vecControls, vecToolsItems;
    for (auto& spBar : m_spApp->CommandBarsOf(spExplorer)) {
        std::string strName;
        bool bTemporary = false;
        spBar->get_Name(&strName);
        spBar->get_Temporary(&bTemporary);
        if (strName == "Quillory") {
            EXPECT_TRUE(bTemporary);
            vecControls = CApplication::ControlsOf(spBar);
        }
        if (!CApplication::IsMenuBar(spBar)) continue;
        for (auto& spMenu : CApplication::MenusOf(spBar)) {
            spMenu->get_Caption(&strName);
            if (strName == "&Tools") vecToolsItems = CApplication::ControlsOf(spMenu);
        }
    }
    auto texts = [](CommandBarControl* p) {
        std::string strCaption, strTip, strTag;
        p->get_Caption(&strCaption);
        p->get_TooltipText(&strTip);
        p->get_Tag(&strTag);
        return strCaption + "|" + strTip + "|" + strTag;
    };
    ASSERT_EQ(vecControls.size(), 1u);
    EXPECT_EQ(texts(vecControls[0]), "Email Manager|Email Manager - Quillory|Quillory");
    ASSERT_EQ(vecToolsItems.size(), 1u);
    EXPECT_EQ(texts(vecToolsItems[0]).rfind("Email Manager|Email Manager - Quillory|", 0), 0u);

    int nClicks = 0;
    CAddin::SetEmailManagerHook([&] { ++nClicks; });
    EXPECT_EQ(vecControls[0]->Execute(), S_OK);
    EXPECT_EQ(nClicks, 1);
    EXPECT_EQ(vecToolsItems[0]->Execute(), S_OK);  // opens the manager as the button does
    CAddin::SetEmailManagerHook({});
    EXPECT_EQ(nClicks, 2);

    g_pTaskList->RemoveAt(0);
    EXPECT_EQ(m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
    EXPECT_EQ(g_pTaskList, nullptr);
    EXPECT_EQ(g_pSendEmailDlg, nullptr) << "no tick can run after disconnection";
    EXPECT_EQ(ReadTasks(Roaming() + kDataSub + "emails.dat"), std::vector<std::string>{"two"});
    EXPECT_EQ(vecControls[0]->Execute(), S_OK);
    EXPECT_EQ(vecToolsItems[0]->Execute(), S_OK);
    EXPECT_EQ(nClicks, 2) << "the button's subscription ended";
}

// An existing location file is rewritten in UTF-16 naming the data folder;
// where that folder cannot be made, the install folder is the data folder.
TEST_F(AddinTest, AnExistingLocationFileNamesTheDataFolderOrTheInstallFolderInItsPlace) {
    CTempDir::WriteFile(Install() + "appdata.ini", std::string(100, 'x'));
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(CTempDir::ReadFile(Install() + "appdata.ini"),
              CAddinPaths::ToUtf16Le(Roaming() + "\r\n\r\n" + Roaming() + kDataSub));
    m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);

    fs::remove_all(m_dir / "roaming");
    CTempDir::WriteFile(m_dir / "roaming", "a file where the folder should be");
    WriteTasks(Install() + "emails.dat", {"seed"});
    auto spSecond = Reconnect();
    ASSERT_TRUE(spSecond);
    EXPECT_EQ(g_strDataDir, Install());
    EXPECT_EQ(CTempDir::ReadFile(Install() + "appdata.ini"),
              CAddinPaths::ToUtf16Le(Roaming() + "\r\n\r\n" + Install()));
    EXPECT_EQ(ReadTasks(Install() + "emails.dat"), std::vector<std::string>{"seed"}) << "copy onto itself is harmless";
    EXPECT_EQ(g_pTaskList->GetSize(), 1);
    spSecond->OnDisconnection(ext_dm_HostShutdown, nullptr);
}

// The seed beside the module is copied only where no task list exists. An
// earlier build kept its folder under another host folder beside ours: the
// one such folder moves into place whole, with its templates; two are left
// for the user to choose between.
TEST_F(AddinTest, TheSeedOrAnEarlierFolderFillsOnlyAnEmptyPlace) {
    WriteTasks(Install() + "emails.dat", {"seed"});
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_EQ(ReadTasks(Roaming() + kDataSub + "emails.dat"), std::vector<std::string>{"seed"});
    m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);
    WriteTasks(Roaming() + kDataSub + "emails.dat", {"mine"});
    auto spAddin = Reconnect();
    ASSERT_TRUE(spAddin);
    EXPECT_EQ(TaskNames(*g_pTaskList), std::vector<std::string>{"mine"});
    spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);
    for (const auto& e : fs::directory_iterator(Roaming() + kDataSub)) {
        if (e.path().filename() == "emails.dat.lock") continue;  // stays, so a lock is never taken on a vanished file
        EXPECT_EQ(e.path().filename(), "emails.dat") << "no temporary copy is left behind";
    }

    fs::remove_all(Roaming() + "Tarnwick Software");
    const std::string strEarlier = Roaming() + "Tarnwick Software/Earlier Host/Quillory/";
    fs::create_directories(strEarlier);
    WriteTasks(strEarlier + "emails.dat", {"kept"});
    CTempDir::WriteFile(strEarlier + "kept 20261207090000.oft", "template");
    spAddin = Reconnect();
    ASSERT_TRUE(spAddin);
    EXPECT_EQ(g_strDataDir, Roaming() + kDataSub);
    EXPECT_EQ(TaskNames(*g_pTaskList), std::vector<std::string>{"kept"}) << "moved in before any seed";
    EXPECT_EQ(CTempDir::ReadFile(Roaming() + kDataSub + "kept 20261207090000.oft"), "template");
    EXPECT_FALSE(fs::exists(strEarlier));
    spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);

    fs::remove_all(Roaming() + "Tarnwick Software");
    fs::remove(Install() + "emails.dat");
    for (const char* pszHost : {"One Host", "Another Host"}) {
        const std::string strDir = Roaming() + "Tarnwick Software/" + pszHost + "/Quillory/";
        fs::create_directories(strDir);
        WriteTasks(strDir + "emails.dat", {pszHost});
    }
    spAddin = Reconnect();
    ASSERT_TRUE(spAddin);
    EXPECT_EQ(g_pTaskList->GetSize(), 0);
    EXPECT_TRUE(fs::exists(Roaming() + "Tarnwick Software/One Host/Quillory/emails.dat"));
    EXPECT_TRUE(fs::exists(Roaming() + "Tarnwick Software/Another Host/Quillory/emails.dat"));
    spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);
}

TEST_F(AddinTest, UnsentMailWindowsAreTrackedAndOthersAreNot) {
    CComPtr<_Inspector> spOpenBefore;
    ASSERT_EQ(m_spApp->OpenNewInspector(&spOpenBefore), S_OK);
    CComPtr<IDispatch> spItem = PutReceived(m_backend, m_spApp);
    ASSERT_TRUE(spItem);
    CComPtr<_Inspector> spReceived;
    ASSERT_EQ(m_spApp->OpenInspector(spItem, &spReceived), S_OK);

    g_nCurTaskIndex = 4;
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(m_spAddin->Trackers().size(), 1u);
    EXPECT_EQ(m_spAddin->Trackers()[0]->Inspector(), spOpenBefore.p);
    EXPECT_EQ(m_spAddin->Trackers()[0]->TaskIndex(), -1);
    EXPECT_EQ(m_spAddin->Trackers()[0]->Owner(), nullptr);

    CComPtr<_Inspector> spLater;
    ASSERT_EQ(m_spApp->OpenNewInspector(&spLater), S_OK);
    ASSERT_EQ(m_spAddin->Trackers().size(), 2u);
    EXPECT_EQ(m_spAddin->Trackers()[1]->TaskIndex(), 4);
    EXPECT_EQ(m_spAddin->Trackers()[1]->Owner(), m_spAddin.p);
    EXPECT_TRUE(m_spAddin->Trackers()[1]->IsAdvised());
    g_nCurTaskIndex = -1;

    m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr);
    EXPECT_TRUE(m_spAddin->Trackers().empty());
    CComPtr<_Inspector> spAfter;
    m_spApp->OpenNewInspector(&spAfter);
    EXPECT_TRUE(m_spAddin->Trackers().empty()) << "no tracking after disconnection";
}

TEST_F(AddinTest, ConnectionFailuresGiveTheirCodesAndMessagesAndNoMainWindowIsNone) {
    CComPtr<CNotAnApplication> spNot = MakeComObject<CNotAnApplication>();
    EXPECT_EQ(Connect(spNot.p), CAddin::kFailure);
    EXPECT_EQ(Connect(nullptr), CAddin::kFailure);
    EXPECT_TRUE(m_vecBoxes.empty()) << "no application: nothing is shown";

    struct CCase {
        EFault fault;
        HRESULT hr;
        const char* pszBox;
    };
    const CCase kCases[] = {
        {EFault::CommandBarsFail, E_ABORT, nullptr},
        {EFault::CommandBarsEmpty, CAddin::kFailure, nullptr},
        {EFault::NoToolbar, CAddin::kFailure, "Quillory: Failed to create a new toolbar! [error]"},
        {EFault::NoControls, CAddin::kFailure, "Quillory: Failed to get the Controls from the new toolbar! [error]"},
        {EFault::NoButton, CAddin::kFailure, "Quillory: Failed to create a button on the new toolbar! [error]"},
    };
    for (const CCase& c : kCases) {
        m_vecBoxes.clear();
        auto spFaulty = MakeComObject<CFaultyApplication>(m_spApp.p, c.fault);
        auto spAddin = MakeComObject<CAddin>();
        EXPECT_EQ(spAddin->OnConnection(static_cast<_Application*>(spFaulty.p), ext_cm_Startup, nullptr, nullptr), c.hr)
            << static_cast<int>(c.fault);
        EXPECT_EQ(m_vecBoxes, c.pszBox ? std::vector<std::string>{c.pszBox} : std::vector<std::string>{});
        EXPECT_FALSE(spAddin->IsConnected());
        EXPECT_EQ(g_pSendEmailDlg, nullptr) << "steps after the toolbar are not carried out";
        EXPECT_NE(g_pTaskList, nullptr) << "what was set up stays until the object goes";
        spAddin.Release();
        EXPECT_EQ(g_pTaskList, nullptr);
    }
    // Without a main window there is no toolbar, but sending starts.
    m_vecBoxes.clear();
    m_spApp->CloseExplorer();
    ASSERT_EQ(Connect(), S_OK);
    EXPECT_NE(g_pSendEmailDlg, nullptr);
    EXPECT_TRUE(m_spAddin->IsConnected());
    EXPECT_TRUE(m_vecBoxes.empty());
}

// A task list that is there but cannot be read is no empty list: the
// add-in stays off, says why on the journal and in a box, and nothing of
// it writes over the file, not even a disconnection the host still calls.
TEST_F(AddinTest, AnUnreadableTaskListKeepsTheAddinOffAndTheFileAsItIs) {
    const std::string strFile = Roaming() + kDataSub + "emails.dat";
    fs::create_directories(Roaming() + kDataSub);
    WriteTasks(strFile, {"one", "two"});
    const std::string strBytes = CTempDir::ReadFile(strFile);
    fs::permissions(strFile, fs::perms::none);
    {
        const CFileOverrideOff off;  // this test runs as root, for whom modes do not count
        if (!off.Ok()) GTEST_SKIP() << "file modes cannot be made to bind this process";
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Connect(), CAddin::kFailure);
        const std::string strErr = ::testing::internal::GetCapturedStderr();
        const std::string strWhy = "cannot open " + strFile + ": Permission denied";
        EXPECT_TRUE(Contains(strErr, "Quillory: connection failed: " + strWhy));
        EXPECT_EQ(m_vecBoxes, std::vector<std::string>{"Quillory: Quillory is not connected: the task list cannot be "
                                                       "read, and it is left as it is.\n\n" +
                                                       strWhy + " [error]"});
        EXPECT_FALSE(m_spAddin->IsConnected());
        EXPECT_EQ(g_pTaskList, nullptr);
        EXPECT_EQ(g_pSendEmailDlg, nullptr);
        EXPECT_EQ(m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
        m_spAddin.Release();
    }
    fs::permissions(strFile, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(CTempDir::ReadFile(strFile), strBytes);
}

// A list written in another code page than the add-in reads it in: its
// first save would write every such name and path back changed, so the
// add-in stays off and the file as it is.
TEST_F(AddinTest, AListInAnotherCodePageKeepsTheAddinOffAndTheFileAsItIs) {
    const std::string strFile = Roaming() + kDataSub + "emails.dat";
    fs::create_directories(Roaming() + kDataSub);
    CTaskList list;
    CTaskItem t;
    t.m_strTaskName = "Caf\xC3\xA9";
    t.m_strTemplateFile = Roaming() + kDataSub + "Caf\xC3\xA9.oft";
    list.Add(t);
    ASSERT_TRUE(CTaskListFile::SaveTaskList(strFile, list, CTextCodec::Open("CP1252").Value()).Ok());
    const std::string strBytes = CTempDir::ReadFile(strFile);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Connect(), CAddin::kFailure);
    (void)::testing::internal::GetCapturedStderr();
    ASSERT_EQ(m_vecBoxes.size(), 1u);
    EXPECT_TRUE(Contains(m_vecBoxes[0], "task 1: its texts are not in the code page UTF-8")) << m_vecBoxes[0];
    EXPECT_EQ(g_pTaskList, nullptr);
    EXPECT_EQ(m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
    EXPECT_EQ(CTempDir::ReadFile(strFile), strBytes);
}

TEST_F(AddinTest, InterfaceMapAndInstallFolder) {
    CComPtr<IDispatch> spDisp;
    ASSERT_EQ(m_spAddin->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&spDisp)), S_OK);
    EXPECT_EQ(spDisp.p, static_cast<IDispatch*>(static_cast<_IDTExtensibility2*>(m_spAddin.p)));
    CComPtr<IUnknown> spUnk;
    m_spAddin->QueryInterface(IUnknown::iid, reinterpret_cast<void**>(&spUnk));
    EXPECT_EQ(spUnk.p, static_cast<IUnknown*>(static_cast<IAddin*>(m_spAddin.p)));
    CComPtr<ISupportErrorInfo> spInfo;
    ASSERT_EQ(m_spAddin->QueryInterface(&spInfo), S_OK);
    EXPECT_EQ(spInfo->InterfaceSupportsErrorInfo(IID_IAddin), S_OK);
    EXPECT_EQ(spInfo->InterfaceSupportsErrorInfo(_IDTExtensibility2::iid), S_FALSE);
    for (const auto& [pszIn, pszDir] :
         {std::pair{"  /opt/q/quilsend.so \n", "/opt/q/"}, {"/quilsend.so", ""}, {"quilsend.so", ""}})
        EXPECT_EQ(CAddinPaths::InstallDirOf(pszIn), pszDir) << pszIn;
    EXPECT_EQ(CAddinPaths::ToUtf16Le("a\xc3\xa9\xf0\x9f\x98\x80"), std::string("a\0\xe9\0\x3d\xd8\x00\xde", 8));
}

// A task list file that did not load whole keeps its tasks up to the
// damage, and before the first save replaces it the original is kept
// beside it, byte for byte, named from the local time; once per load.
class DamagedListTest : public AddinTest, public ::testing::WithParamInterface<std::pair<const char*, const char*>> {
protected:
    void SetUp() override { g_pClock = &m_clock; }  // the fixture's end lets it go
    std::string Dir() const { return Roaming() + kDataSub; }
    // Two tasks, the second with a record length the reader refuses.
    std::string WriteDamaged() const {
        fs::create_directories(Dir());
        WriteTasks(Dir() + "emails.dat", {"one", "two"});
        std::string strBytes = CTempDir::ReadFile(Dir() + "emails.dat");
        int32_t nFirst = 0;
        std::memcpy(&nFirst, strBytes.data() + 4, 4);
        const int32_t nBad = 2000000;
        std::memcpy(strBytes.data() + 8 + nFirst, &nBad, 4);
        CTempDir::WriteFile(Dir() + "emails.dat", strBytes);
        return strBytes;
    }
    std::vector<std::string> Listing() const {
        std::vector<std::string> vec;
        // The lock the add-in holds while connected is no copy.
        for (const auto& e : fs::directory_iterator(Dir()))
            if (e.path().filename() != "emails.dat.lock") vec.push_back(e.path().filename().string());
        std::sort(vec.begin(), vec.end());
        return vec;
    }

    const CZoneGuard m_zone{GetParam().first};
    CFixedClock m_clock{1767227400};  // 2026-01-01 00:30:00 UTC
    const std::string m_strOriginal = WriteDamaged();
    const std::string m_strCopy = std::string("emails.dat.damaged-") + GetParam().second;
};

// Then a damaged file again in the same second: an earlier copy is never
// written over, and every save of one connection copies at most once.
TEST_P(DamagedListTest, TheOriginalIsKeptOnceBeforeTheFirstSaveAndNoCopyIsWrittenOver) {
    const std::string& strCopy = m_strCopy;
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(Connect(), S_OK);
    ASSERT_EQ(g_pTaskList->GetSize(), 1);
    EXPECT_EQ(Listing(), std::vector<std::string>{"emails.dat"}) << "nothing is copied before a save";
    // The add-in's own save path, at disconnection.
    EXPECT_EQ(m_spAddin->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"emails.dat", strCopy}));
    EXPECT_EQ(CTempDir::ReadFile(Dir() + strCopy), m_strOriginal);
    EXPECT_EQ(ReadTasks(Dir() + "emails.dat"), std::vector<std::string>{"one"});

    // The whole file of the next start is not copied again.
    auto spSecond = Reconnect();
    ASSERT_TRUE(spSecond);
    EXPECT_EQ(SaveSharedTaskList().Problem(), "");
    spSecond->OnDisconnection(ext_dm_HostShutdown, nullptr);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"emails.dat", strCopy}));
    const std::string strErr = ::testing::internal::GetCapturedStderr();
    const std::string strSaid = Dir() +
                                "emails.dat did not load whole (task 2: record length 2000000 out of range); "
                                "the original is kept as " +
                                Dir() + strCopy + "\n";
    EXPECT_EQ(strErr, "Quillory: " + strSaid) << "said once, on the journal";
    EXPECT_EQ(m_vecBoxes, std::vector<std::string>{}) << "no windows, no box";

    WriteDamaged();
    CTempDir::WriteFile(Dir() + strCopy, "earlier");
    auto spThird = Reconnect();
    ASSERT_TRUE(spThird);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SaveSharedTaskList().Problem(), "");
    g_pTaskList->RemoveAt(0);
    EXPECT_EQ(SaveSharedTaskList().Problem(), "");
    EXPECT_EQ(spThird->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
    (void)::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Listing(), (std::vector<std::string>{strCopy, strCopy + "-2"}))
        << "the empty list removed emails.dat; the original stays in the copy";
    EXPECT_EQ(CTempDir::ReadFile(Dir() + strCopy), "earlier");
    EXPECT_EQ(CTempDir::ReadFile(Dir() + strCopy + "-2"), m_strOriginal);
}

// The name is the local time of the save: 2026-01-01 00:30:00 UTC.
INSTANTIATE_TEST_SUITE_P(Zones, DamagedListTest,
                         ::testing::Values(std::pair{"UTC", "20260101-003000"},
                                           std::pair{"America/New_York", "20251231-193000"},
                                           std::pair{"Asia/Kolkata", "20260101-060000"}),
                         [](const auto& info) { return ZoneTestName(info.param.first); });

}  // namespace
