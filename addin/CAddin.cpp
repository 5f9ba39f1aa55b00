#include "CAddin.h"

#include <QApplication>
#include <iostream>

#include "CAddinBox.h"
#include "CAddinPaths.h"
#include "CAddinToolbar.h"
#include "CButtonEventsSink.h"
#include "CEmailManagerDlg.h"
#include "CInspectorsEventsSink.h"
#include "CMessageSwap.h"
#include "CMyInspectorEvent.h"
#include "CSendEmailDlg.h"
#include "CSendReporting.h"
#include "CSendingHold.h"
#include "CTaskListCommands.h"
#include "CTaskListFile.h"
#include "CTaskListServer.h"
#include "CTextCodec.h"
#include "SharedState.h"

namespace {

// The main window's toolbar and its button, which opens the Email Manager.
// One name for the window wherever a command opens it: the toolbar button,
// the Tools menu entry and the host's tray ("Email Manager") say it, and the
// window's title adds whose it is.
constexpr const char* kMainToolbarName = "Quillory";
constexpr const char* kManagerCommand = "Email Manager";
constexpr const char* kManagerTooltip = "Email Manager - Quillory";
constexpr const char* kMainButtonTag = "Quillory";  // how a click finds the sink

std::function<void()>& EmailManagerHook() {
    static std::function<void()> g_fn;
    return g_fn;
}

std::string& ModulePathOverride() {
    static std::string g_str;
    return g_str;
}

void Error(const char* pszText) { CAddinBox::Fail(pszText); }

// Every failed save goes to the journal; a box (when the host has windows)
// says it once for each new problem, not at every tick that sends.
void SaveList(const CTaskList& list) {
    static std::string s_strTold;
    const auto rSaved = SaveTaskListFile(list);
    if (rSaved) {
        if (!s_strTold.empty()) std::cerr << "Quillory: the task list is saved again: " << TaskListPath() << '\n';
        s_strTold.clear();
        return;
    }
    std::cerr << "Quillory: cannot save " << TaskListPath() << ": " << rSaved.Problem() << '\n';
    if (rSaved.Problem() == s_strTold) return;
    s_strTold = rSaved.Problem();
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [strText = "The task list cannot be saved: " + rSaved.Problem() +
                       "\n\nMessages still go out at their times, and none goes twice; what was sent is "
                       "recorded once the file can be written again."] { CAddinBox::Warn(strText); },
            Qt::QueuedConnection);
}

// A connection that cannot be made, on the host's journal.
HRESULT ConnectionFailed(const std::string& strProblem) {
    std::cerr << "Quillory: connection failed: " << strProblem << '\n';
    return CAddin::kFailure;
}

}  // namespace

void CAddin::SetEmailManagerHook(std::function<void()> fn) { EmailManagerHook() = std::move(fn); }
void CAddin::SetModulePathForTests(std::string strPath) { ModulePathOverride() = std::move(strPath); }

CAddin::CAddin() = default;

CAddin::~CAddin() {
    // A connection that failed part-way gets no disconnection; what it set
    // up must not outlive the object (the module may be unloaded next).
    FreeSending();
    if (m_bOwnsTaskList) {
        delete g_pTaskList;
        g_pTaskList = nullptr;
    }
    m_pListServer.reset();
    ReleaseTrackers();
    if (m_spButtonSink) m_spButtonSink->Detach();
    if (m_spInspectorsSink) m_spInspectorsSink->Detach();
}

HRESULT CAddin::QueryInterface(REFIID riid, void** ppv) {
    // Late-bound callers asking for IDispatch reach the connection methods.
    if (ppv && riid == IDispatch::iid) {
        *ppv = static_cast<IDispatch*>(static_cast<_IDTExtensibility2*>(this));
        AddRef();
        return S_OK;
    }
    return CComObjectImpl::QueryInterface(riid, ppv);
}

HRESULT CAddin::OnConnection(IDispatch* pApplication, int32_t, IDispatch*, CVariant*) {
    try {
        return Connect(pApplication);
    } catch (const std::exception& e) {
        return ConnectionFailed(e.what());  // a broken contract must not cross into the host
    }
}

HRESULT CAddin::Connect(IDispatch* pApplication) {
    // 1-4: paths and the location file.
    g_strAppDataDir = CAddinPaths::AppDataDir();
    const std::string strModule = ModulePathOverride().empty() ? CAddinPaths::ModulePath() : ModulePathOverride();
    g_strInstallDir = CAddinPaths::InstallDirOf(strModule);
    g_strDataDir = g_strAppDataDir;
    // The location file only tells other programs where the data is; the
    // add-in works without it, so its problems stay out of the connection.
    (void)CAddinPaths::WriteLocation(g_strInstallDir, g_strAppDataDir, false);
    g_strDataDir = CAddinPaths::ResolveDataDir(g_strAppDataDir, g_strInstallDir);
    (void)CAddinPaths::WriteLocation(g_strInstallDir, g_strDataDir, true);  // as above

    // 5: the host application.
    if (!pApplication) return kFailure;
    CComPtr<_Application> spApp;
    HRESULT hr = pApplication->QueryInterface(&spApp);
    if (hr == E_NOINTERFACE || (SUCCEEDED(hr) && !spApp)) return kFailure;
    if (FAILED(hr)) return hr;
    m_spApplication = spApp;
    g_spApplication = spApp;

    // One add-in per task list file, claimed before the file is touched.
    m_pListServer = CTaskListCommands::ForSharedList();
    if (const auto rClaimed = m_pListServer->Claim(TaskListPath()); !rClaimed) {
        m_pListServer.reset();
        Error(rClaimed.Problem().c_str());
        return kFailure;
    }

    // A change the last holder of the list left half done, settled before the list is read.
    CMessageSwap::Settle(g_strDataDir, [](const std::string& str) { std::cerr << "Quillory: " << str << '\n'; });

    // 6-7: seed and load the task list.
    // Without the seed the list starts empty, as on any first run.
    (void)CAddinPaths::SeedCopy(g_strInstallDir + CTaskListFile::kFileName, TaskListPath());
    if (g_pTaskList && m_bOwnsTaskList) delete g_pTaskList;
    g_pTaskList = new (std::nothrow) CTaskList;
    if (!g_pTaskList) {
        Error("Failed to create email list!");
        return kFailure;
    }
    m_bOwnsTaskList = true;
    if (const auto rLoaded = LoadSharedTaskList(); !rLoaded) {
        // Nothing of this connection may save over a file it could not read.
        delete g_pTaskList;
        g_pTaskList = nullptr;
        m_bOwnsTaskList = false;
        m_pListServer.reset();
        Error(("Quillory is not connected: the task list cannot be read, and it is left as it is.\n\n" +
               rLoaded.Problem())
                  .c_str());
        return ConnectionFailed(rLoaded.Problem());
    }
    CTaskListCommands::Serve(*m_pListServer);

    // 8: the main toolbar.
    hr = AddMainToolbar();
    if (FAILED(hr)) return hr;

    // 9: message windows.
    if (const auto rTracked = TrackOpenInspectors(); !rTracked) return ConnectionFailed(rTracked.Problem());

    // 10-11: connected; start sending.
    m_bConnected = 1;
    CSendContext ctx;
    ctx.fnTaskList = [] { return g_pTaskList; };
    ctx.fnSave = SaveList;
    ctx.fnHeld = CSendingHold::IsHeld;
    ctx.pClock = &AddinClock();
    FreeSending();
    m_pReporting = std::make_unique<CSendReporting>(m_spApplication);
    m_pReporting->Wire(ctx);
    g_pSendEmailDlg = new (std::nothrow) CSendEmailDlg(std::move(ctx));
    if (!g_pSendEmailDlg) {
        Error("Failed to start up sending!");
        return kFailure;
    }
    g_pSendEmailDlg->OnInitDialog();
    return S_OK;
}

HRESULT CAddin::AddMainToolbar() {
    CComPtr<_Explorer> spExplorer;
    if (FAILED(m_spApplication->ActiveExplorer(&spExplorer)) || !spExplorer) return S_OK;
    CComPtr<_CommandBars> spBars;
    HRESULT hr = spExplorer->get_CommandBars(&spBars);
    // An empty answer with a success code must not read as a connection.
    if (FAILED(hr) || !spBars) return FAILED(hr) ? hr : kFailure;
    CComPtr<_CommandBarButton> spButton =
        CAddinToolbar::Add(spBars, kMainToolbarName, {kManagerCommand, kManagerTooltip, kMainButtonTag});
    if (!spButton) return kFailure;
    // The same command in the Tools menu; its clicks reach this button's sink by the shared tag.
    // Its caption is how the host's tray finds it.
    CAddinToolbar::AddMenuItem(spBars, "Tools", {kManagerCommand, kManagerTooltip, kMainButtonTag});
    m_spButton = spButton;
    m_spButtonSink = MakeComObject<CButtonEventsSink>(
        [this](IDispatch* pButton, bool* pbCancel) { OnButtonClick(pButton, pbCancel); });
    AtlAdvise(m_spButton, m_spButtonSink->GetUnknown(), _CommandBarButtonEvents::iid, &m_dwButtonCookie);
    return S_OK;
}

CResult<> CAddin::TrackOpenInspectors() {
    if (FAILED(m_spApplication->get_Inspectors(&m_spInspectors)) || !m_spInspectors)
        return CProblem("the host has no message window collection");
    m_spInspectorsSink = MakeComObject<CInspectorsEventsSink>([this](IDispatch* p) { OnNewInspector(p); });
    AtlAdvise(m_spInspectors, m_spInspectorsSink->GetUnknown(), InspectorsEvents::iid, &m_dwInspectorsCookie);
    ReleaseTrackers();
    int32_t n = 0;
    m_spInspectors->get_Count(&n);
    for (int32_t i = 1; i <= n; ++i) {
        CComPtr<_Inspector> spInspector;
        if (FAILED(m_spInspectors->Item(CVariant(static_cast<int>(i)), &spInspector)) || !spInspector) continue;
        Track(spInspector, -1, nullptr);
    }
    return {};
}

void CAddin::Track(IDispatch* pInspector, int32_t nTaskIndex, ITrackerOwner* pOwner) {
    CComQIPtr<_Inspector> spInspector(pInspector);
    if (!spInspector) return;
    CComPtr<IDispatch> spItem;
    if (FAILED(spInspector->get_CurrentItem(&spItem)) || !spItem) return;
    CComQIPtr<_MailItem> spMail(spItem.p);
    if (!spMail) return;
    bool bSent = true;
    if (FAILED(spMail->get_Sent(&bSent)) || bSent) return;
    auto pTracker = std::make_unique<CMyInspectorEvent>(spInspector, pOwner, nTaskIndex);
    pTracker->AdviseInspector();
    m_arrInspectorEvents.push_back(std::move(pTracker));
}

void CAddin::ReleaseTrackers() {
    // Each tracker ends its subscriptions as it goes.
    m_arrInspectorEvents.clear();
}

void CAddin::OnNewInspector(IDispatch* pInspector) {
    if (!pInspector) return;
    Track(pInspector, g_nCurTaskIndex, this);
}

void CAddin::OnButtonClick(IDispatch*, bool*) {
    if (EmailManagerHook()) {
        EmailManagerHook()();
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        // Beside the host's windows: a second click brings the open one up.
        if (!m_pManager) {
            m_pManager = new CEmailManagerDlg;
            m_pManager->setAttribute(Qt::WA_DeleteOnClose);
        }
        m_pManager->show();
        m_pManager->raise();
        m_pManager->activateWindow();
    } else {
        std::cerr << "Quillory: the Email Manager needs the host's windows; this host runs without them\n";
    }
}

void CAddin::FreeSending() {
    delete g_pSendEmailDlg;
    g_pSendEmailDlg = nullptr;
    m_pReporting.reset();  // after the sender that reports to it
}

HRESULT CAddin::OnDisconnection(int32_t, CVariant*) {
    // The manager works on the task list, which goes next.
    delete m_pManager.data();
    if (m_pReporting) m_pReporting->Flush();  // its history is kept for the tasks in the list
    if (g_pTaskList && m_bOwnsTaskList) {
        SaveList(*g_pTaskList);
        delete g_pTaskList;
        g_pTaskList = nullptr;
        m_bOwnsTaskList = false;
    }
    // After the last save: the tool may write the file itself from here on.
    m_pListServer.reset();
    ReleaseTrackers();
    g_spCurInspector.Release();
    if (m_bConnected == 1) {
        if (m_spButton) AtlUnadvise(m_spButton, _CommandBarButtonEvents::iid, m_dwButtonCookie);
        if (m_spInspectors) AtlUnadvise(m_spInspectors, InspectorsEvents::iid, m_dwInspectorsCookie);
        m_bConnected = 0;
    }
    // The sender goes with the connection, so no tick can run once the
    // module is unloaded.
    FreeSending();
    return S_OK;
}
