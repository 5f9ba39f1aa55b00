#pragma once
#include <QPointer>
#include <QToolBar>
#include <map>
#include <string>
#include <vector>

#include "CApplication.h"

class QMainWindow;
class QAction;
class QMenu;

// Shows the toolbars that the object model keeps for one window (the main
// window or a message window) as Qt toolbars of that window, and the
// controls of its menu bar's menus in the window's menus. A toolbar
// button runs its model control (Execute), so its Click reaches every
// subscriber of that tag. The model may change its bars from inside a
// click, so rebuilding is queued and never deletes a toolbar mid-signal.
class CCommandBarView {
public:
    CCommandBarView(QMainWindow* pWindow, CApplication* pApp, IDispatch* pModelWindow);
    ~CCommandBarView();
    CCommandBarView(const CCommandBarView&) = delete;
    CCommandBarView& operator=(const CCommandBarView&) = delete;

    // The host's own actions, shown on the model toolbar of that name
    // before and after its controls.
    void SetHostActions(const std::string& strBar, std::vector<QAction*> vecBefore, std::vector<QAction*> vecAfter);
    // The window's own menu that shows the model menu bar's menu of that
    // caption ("&Tools"): the model's controls follow the menu's own items.
    void SetHostMenu(const std::string& strCaption, QMenu* pMenu);
    // The window's menu that repeats the buttons of the model's toolbars
    // (after a separator), so each of them can be reached from the keyboard.
    void SetToolbarMenu(QMenu* pMenu);
    // strCaption with a mnemonic ("&Quillory Options") on the first of its
    // letters that no other item of pMenu uses yet; a caption that has one
    // keeps it.
    static QString WithFreeMnemonic(const QString& strCaption, const QMenu* pMenu);
    void Rebuild();
    void RebuildLater();
    // Stops showing the model (its window is gone).
    void Detach();
    // The shown toolbar of that model name, or null.
    QToolBar* Toolbar(const std::string& strName) const;

private:
    void AddMenuControls(CommandBar* pMenuBar);
    void AddToToolbarMenu(const QString& strCaption, QAction* pToolbarAction);
    static void Bind(QAction* pAction, CommandBarControl* pControl);

    struct CHostActions {
        std::vector<QAction*> vecBefore, vecAfter;
    };

    QPointer<QMainWindow> m_pWindow;
    CComPtr<CApplication> m_spApp;
    CComPtr<IDispatch> m_spModelWindow;
    std::map<std::string, CHostActions> m_mapHostActions;
    std::vector<QPointer<QToolBar>> m_vecBars;
    std::map<std::string, QPointer<QMenu>> m_mapHostMenus;
    QPointer<QMenu> m_pToolbarMenu;
    std::vector<QPointer<QAction>> m_vecMenuActions;  // what the model added to the host's menus
    bool m_bRebuildQueued = false;
    bool m_bToolbarSeparator = false;  // the toolbar menu's separator is there
    std::shared_ptr<bool> m_spAlive = std::make_shared<bool>(true);
};
