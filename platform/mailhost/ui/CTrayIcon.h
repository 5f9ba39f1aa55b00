#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QSystemTrayIcon;

// The host in the system tray, so it keeps sending with its window closed:
// the icon (a click opens the window) and its menu Open, Email Manager,
// Recent Problems, Start at login and Quit. The first time the window goes to the tray a
// notice says that sending goes on; that it was shown is remembered in the
// host's settings file.
class CTrayIcon : public QObject {
public:
    struct CCallbacks {
        std::function<void()> fnOpen;
        // The add-in's command, when one is there (else the item is disabled).
        std::function<bool()> fnHasEmailManager;
        std::function<void()> fnEmailManager;
        // The messages that failed, where they can be read again and sent
        // again (the main window's Outbox): a notification that went is found here.
        std::function<void()> fnProblems;
        std::function<void()> fnQuit;
    };
    static constexpr const char* kNoticeKey = "tray/backgroundNoticeShown";

    // strSettingsPath: the host's settings (an ini file); strProgram: what
    // "Start at login" starts.
    CTrayIcon(std::string strSettingsPath, std::string strProgram, CCallbacks callbacks);
    ~CTrayIcon() override;

    void Show();
    // The main window went to the tray.
    void OnHidden();
    bool NoticeShown() const;

    QMenu* Menu() const { return m_pMenu.get(); }
    QAction* EmailManagerAction() const { return m_pEmailManager; }
    QAction* ProblemsAction() const { return m_pProblems; }
    QAction* StartAtLoginAction() const { return m_pStartAtLogin; }
    // A second line of the icon's tooltip (the take-over); "" for none.
    void SetNote(const std::string& strNote);
    QString ToolTip() const;
    // The menu as it is about to show (the items' states read afresh).
    void UpdateMenu();

private:
    void OnStartAtLogin(bool bOn);

    std::string m_strSettingsPath;
    std::string m_strProgram;
    CCallbacks m_callbacks;
    std::unique_ptr<QMenu> m_pMenu;
    std::unique_ptr<QSystemTrayIcon> m_pIcon;
    QAction* m_pEmailManager = nullptr;
    QAction* m_pProblems = nullptr;
    QAction* m_pStartAtLogin = nullptr;
};
