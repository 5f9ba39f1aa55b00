#include "CHostWindows.h"

#include <QSocketNotifier>

#include "CAccountsDialog.h"
#include "CHostMessage.h"
#include "CSecurityNotice.h"

CHostWindows::CHostWindows(CApplication* pApp, CMailHost& host, std::string strAccountsPath)
    : m_spApp(pApp), m_host(host), m_strAccountsPath(std::move(strAccountsPath)) {
    CMainWindow::CCallbacks callbacks;
    callbacks.fnNewMessage = [this] { NewMessage(); };
    callbacks.fnAccounts = [this] { OpenAccounts(); };
    callbacks.fnCanQuit = [this] { return CloseAll(); };
    m_pMain = std::make_unique<CMainWindow>(pApp, host, std::move(callbacks));
    if (host.Events().Fd() >= 0) {
        m_pNotifier = std::make_unique<QSocketNotifier>(host.Events().Fd(), QSocketNotifier::Read);
        QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pMain.get(), [this] { DrainHostEvents(); });
    }
    pApp->SetObserver(this);
    // Windows the model had open before the UI came up.
    for (const auto& sp : pApp->OpenInspectors()) OnInspectorOpened(sp);
}

CHostWindows::~CHostWindows() {
    Detach();
    for (auto& [p, pWindow] : m_mapWindows) delete pWindow.data();
    m_mapWindows.clear();
}

void CHostWindows::Detach() {
    if (!m_bAttached) return;
    m_bAttached = false;
    m_spApp->SetObserver(nullptr);
    for (auto& [p, pWindow] : m_mapWindows)
        if (pWindow) pWindow->ModelClosed();
    m_pMain->Detach();
    m_pNotifier.reset();
}

CInspectorWindow* CHostWindows::WindowOf(_Inspector* pInspector) const {
    auto it = m_mapWindows.find(pInspector);
    return it == m_mapWindows.end() ? nullptr : it->second.data();
}

void CHostWindows::NewMessage() {
    if (FAILED(m_spApp->OpenNewInspector(nullptr)))
        CHostMessage::Error(m_pMain.get(), "A new message window could not be opened.");
}

void CHostWindows::OpenAccounts() {
    CAccountsDialog dlg(m_strAccountsPath, m_pMain.get());
    if (dlg.exec() != QDialog::Accepted) return;
    // The account is read at start-up: start delivery again with the new one.
    m_host.Stop();
    if (CResult<> r = m_host.Start(); !r) CHostMessage::Error(m_pMain.get(), r.Problem());
    // The dialog has just told of an insecure setting; it is not told twice.
    for (const auto& str : CSecurityNotice(m_strAccountsPath).Unseen(m_host.ConfigMessages(), dlg.Account()))
        CHostMessage::Warning(m_pMain.get(), str);
    m_pMain->Refresh();
}

bool CHostWindows::CloseAll() {
    std::vector<QPointer<CInspectorWindow>> vec;
    for (auto& [p, pWindow] : m_mapWindows) vec.push_back(pWindow);
    for (auto& pWindow : vec)
        if (pWindow && pWindow->isVisible() && !pWindow->OnClose()) return false;
    return true;
}

void CHostWindows::SaveEditedDrafts() {
    for (auto& [p, pWindow] : m_mapWindows)
        if (pWindow && pWindow->IsEdited() && !pWindow->IsReadOnly()) pWindow->SaveQuietly();
}

void CHostWindows::DrainHostEvents() { m_pMain->OnHostEvents(m_host.Events().Drain()); }

void CHostWindows::OnInspectorOpened(_Inspector* pInspector) {
    if (m_mapWindows.count(pInspector)) return;
    auto* pWindow = new CInspectorWindow(m_spApp, pInspector, [this] { m_pMain->Refresh(); });
    m_mapWindows[pInspector] = pWindow;
    pWindow->show();
}

void CHostWindows::OnInspectorClosed(_Inspector* pInspector) {
    auto it = m_mapWindows.find(pInspector);
    if (it == m_mapWindows.end()) return;
    QPointer<CInspectorWindow> pWindow = it->second;
    m_mapWindows.erase(it);
    // Later: the close may come from inside one of the window's own handlers.
    if (pWindow) {
        pWindow->ModelClosed();
        pWindow->deleteLater();
    }
    m_pMain->Refresh();
}

void CHostWindows::OnInspectorActivated(_Inspector* pInspector) {
    CInspectorWindow* pWindow = WindowOf(pInspector);
    if (!pWindow || pWindow->isActiveWindow()) return;
    pWindow->show();
    pWindow->raise();
    pWindow->activateWindow();
}

void CHostWindows::OnCommandBarsChanged() {
    m_pMain->Bars().RebuildLater();
    for (auto& [p, pWindow] : m_mapWindows)
        if (pWindow) pWindow->Bars().RebuildLater();
}
