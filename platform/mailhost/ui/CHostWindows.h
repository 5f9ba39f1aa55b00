#pragma once
#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <string>

#include "CApplication.h"
#include "CInspectorWindow.h"
#include "CMailHost.h"
#include "CMainWindow.h"

class QSocketNotifier;

// The windows of the host over its object model: the main window and one
// message window per open inspector, created and dropped as the model opens
// and closes inspectors (whether a user or an add-in asked), with their
// toolbars following the model's command bars. Delivery news from the mail
// host are drained on this (the UI) thread for the status bar.
class CHostWindows : public IHostObserver {
public:
    CHostWindows(CApplication* pApp, CMailHost& host, std::string strAccountsPath);
    ~CHostWindows() override;
    CHostWindows(const CHostWindows&) = delete;
    CHostWindows& operator=(const CHostWindows&) = delete;

    CMainWindow& Main() { return *m_pMain; }
    // The Qt window of an open inspector, or null.
    CInspectorWindow* WindowOf(_Inspector* pInspector) const;
    size_t OpenWindowCount() const { return m_mapWindows.size(); }
    // A new message in its own window (the main window's New).
    void NewMessage();
    void OpenAccounts();
    // Closes every message window the way the user would; false when the
    // user chose to keep one (unsaved changes, Cancel).
    bool CloseAll();
    // Saves the messages with unsaved changes to Drafts, without asking.
    void SaveEditedDrafts();
    // Reads the delivery news now (also done whenever they arrive).
    void DrainHostEvents();
    // The model is going: no more calls into it.
    void Detach();

    // IHostObserver
    void OnInspectorOpened(_Inspector* pInspector) override;
    void OnInspectorClosed(_Inspector* pInspector) override;
    void OnInspectorActivated(_Inspector* pInspector) override;
    void OnCommandBarsChanged() override;

private:
    CComPtr<CApplication> m_spApp;
    CMailHost& m_host;
    std::string m_strAccountsPath;
    std::unique_ptr<CMainWindow> m_pMain;
    std::map<_Inspector*, QPointer<CInspectorWindow>> m_mapWindows;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    bool m_bAttached = true;
};
