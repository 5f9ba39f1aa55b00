#pragma once
#include <QApplication>
#include <QToolBar>
#include <memory>

#include "CApplication.h"
#include "CBoxAnswerer.h"
#include "CHostTestBase.h"
#include "CHostWindows.h"
#include "CQtMessageBox.h"

// The host's windows over a real mail host (temp profile, accounts file)
// and, when a test starts it, the loopback SMTP server.
class CUiTestBase : public CHostTestBase {
protected:
    void StartUi(bool bWithServer = true, const CSmtpServer::COptions& opts = {}) {
        if (bWithServer) {
            m_server.Start(opts);
            WritePlainAccount(m_server.Port());
        }
        // A second start in one test takes the first windows down before their host goes.
        if (m_spApp) m_spApp->Shutdown();
        m_pWindows.reset();
        m_spApp = nullptr;
        StartHost();
        m_spApp = CApplication::Create(*m_pHost);
        m_pWindows = std::make_unique<CHostWindows>(m_spApp, *m_pHost, m_dir / "accounts.ini");
        CQtMessageBox::Install();
        m_pWindows->Main().show();
        Process();
    }
    void TearDown() override {
        if (m_spApp) m_spApp->Shutdown();
        m_pWindows.reset();
        m_spApp = nullptr;
        CQtMessageBox::Uninstall();
        Process();
        for (const auto& seen : m_boxes.Seen()) EXPECT_TRUE(seen.bExpected) << "unexpected box: " << seen.strText;
        EXPECT_EQ(m_boxes.Pending(), 0u) << "an expected message box did not come";
    }

    // Lets queued work (toolbar rebuilds, activation, deleted windows) happen.
    static void Process() {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    // Drains the host's news into the windows until pred holds.
    template <class Pred>
    bool WaitUntil(Pred pred, std::chrono::seconds timeout = std::chrono::seconds(30)) {
        auto tEnd = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > tEnd) return false;
            m_pHost->Events().WaitFor(std::chrono::milliseconds(50));
            m_pWindows->DrainHostEvents();
            Process();
        }
        return true;
    }

    // Only the event loop runs: the host's news must reach the windows by
    // themselves (through the notifier on the host's event descriptor).
    template <class Pred>
    static bool WaitForUi(Pred pred, std::chrono::seconds timeout = std::chrono::seconds(30)) {
        auto tEnd = std::chrono::steady_clock::now() + timeout;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > tEnd) return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return true;
    }

    // The message window the New button opens.
    CInspectorWindow* ClickNew() {
        m_pWindows->Main().NewAction()->trigger();
        Process();
        CComPtr<_Inspector> sp = m_spApp->ActiveInspector();
        return sp ? m_pWindows->WindowOf(sp) : nullptr;
    }
    // The main window's command bars, as an add-in reaches them; null when
    // there is none.
    CComPtr<_CommandBars> MainBars() const {
        CComPtr<_Explorer> spExplorer;
        CComPtr<_CommandBars> spBars;
        if (m_spApp->ActiveExplorer(&spExplorer) == S_OK) spExplorer->get_CommandBars(&spBars);
        return spBars;
    }
    static QAction* ToolbarAction(QMainWindow& window, const char* pszBar, const char* pszAction) {
        auto* pBar = window.findChild<QToolBar*>(pszBar);
        if (!pBar) return nullptr;
        for (QAction* p : pBar->actions())
            if (p->objectName() == pszAction) return p;
        return nullptr;
    }

    CBoxAnswerer m_boxes;
    CComPtr<CApplication> m_spApp;
    std::unique_ptr<CHostWindows> m_pWindows;
};
