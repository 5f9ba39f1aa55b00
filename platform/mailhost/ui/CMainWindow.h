#pragma once
#include <QMainWindow>
#include <functional>
#include <memory>

#include "CApplication.h"
#include "CCloseGuard.h"
#include "CCommandBarView.h"
#include "CMailHost.h"

class QListWidget;
class QTreeWidget;
class QTextBrowser;
class QLabel;
class QAction;
class QMenu;

// The main window: folders with their counts, the messages of the chosen
// folder (sortable), a reading pane and the delivery state in the status
// bar. Its toolbars are the object model's main-window command bars; the
// host's New and Delete sit on the "Standard" bar beside Send/Receive.
class CMainWindow : public QMainWindow {
public:
    struct CCallbacks {
        std::function<void()> fnNewMessage;
        std::function<void()> fnAccounts;
        std::function<bool()> fnCanQuit;  // false: the user kept a window open
    };
    CMainWindow(CApplication* pApp, CMailHost& host, CCallbacks callbacks);
    ~CMainWindow() override;

    // Re-reads the folders; keeps the chosen folder and message.
    void Refresh();
    // Delivery news from the host for the status bar.
    void OnHostEvents(const std::vector<CHostEventRecord>& vecEvents);
    void ShowFolder(EMailFolder folder);
    // The window in front at the Outbox, where each message that failed is
    // listed with its reason and the way to send it again (the tray's
    // Recent Problems: a notification that went is found again here).
    void ShowProblems();
    EMailFolder CurrentFolder() const { return m_folder; }
    void OnSendReceive();
    void OnDelete();
    void OnOpenSelected();
    CCommandBarView& Bars() { return *m_pBars; }
    // Drops the model (it shuts down first).
    void Detach();
    // What the close box (bQuit false) or Exit (true) does; unset, both quit.
    void SetCloseDecision(std::function<CCloseGuard::EAction(bool bQuit)> fn) { m_fnCloseDecision = std::move(fn); }
    // Exit: the host stops unless the user keeps it or a window stays open.
    void Quit();
    QMenu* FileMenu() const { return m_pFile; }

    QListWidget* FolderList() const { return m_pFolders; }
    QTreeWidget* MessageList() const { return m_pMessages; }
    QTextBrowser* ReadingPane() const { return m_pReading; }
    QLabel* DeliveryLabel() const { return m_pDelivery; }
    QAction* NewAction() const { return m_pNew; }
    QAction* DeleteAction() const { return m_pDelete; }

protected:
    bool event(QEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void BuildWidgets();
    void FillMessages();
    void ShowSelected();
    void UpdateDeliveryLabel();
    std::string SelectedId() const;
    CComPtr<_MailItem> ModelItem(EMailFolder folder, const std::string& strId);
    std::string StateText(const std::string& strId);

public:
    static const char* const kFixHint;

    CComPtr<CApplication> m_spApp;
    CMailHost& m_host;
    CCallbacks m_callbacks;
    std::unique_ptr<CCommandBarView> m_pBars;
    EMailFolder m_folder = EMailFolder::Inbox;
    QListWidget* m_pFolders = nullptr;
    QTreeWidget* m_pMessages = nullptr;
    QTextBrowser* m_pReading = nullptr;
    QLabel* m_pDelivery = nullptr;
    QAction* m_pNew = nullptr;
    QAction* m_pDelete = nullptr;
    bool m_bFilling = false;
    QMenu* m_pFile = nullptr;
    std::function<CCloseGuard::EAction(bool)> m_fnCloseDecision;
};
