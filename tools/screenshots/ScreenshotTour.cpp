// Runs the windowed host with a few sample messages, puts a toolbar on the
// main window and on one message window through the object model exactly
// as the add-in does, and saves PNG pictures of both windows into the
// folder given; then the host stops. Used by scripts/screenshots.
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <cstdio>
#include <string>

#include "CMainWindow.h"
#include "CWindowedHost.h"

namespace {

void AddToolbar(_CommandBars* pBars, const char* pszCaption, const char* pszTooltip, const char* pszTag) {
    CComPtr<CommandBar> spBar;
    CComPtr<CommandBarControls> spControls;
    CComPtr<CommandBarControl> spControl;
    if (FAILED(pBars->Add("Quillory", msoBarTop, vtMissing, true, &spBar)) ||
        FAILED(spBar->get_Controls(&spControls)) ||
        FAILED(spControls->Add(msoControlButton, vtMissing, vtMissing, vtMissing, true, &spControl)))
        return;
    CComQIPtr<_CommandBarButton> spButton(spControl);
    spButton->put_Style(msoButtonCaption);
    spButton->put_Caption(pszCaption);
    spButton->put_TooltipText(pszTooltip);
    spButton->put_Tag(pszTag);
    spBar->put_Visible(true);
}

// The add-in's entry in the Tools menu, which the tray's Email Manager finds by its tooltip.
void AddToolsEntry(_CommandBars* pBars) {
    CComPtr<CommandBar> spMenuBar;
    if (FAILED(pBars->get_Item(CVariant("Menu Bar"), &spMenuBar)) || !spMenuBar) return;
    for (auto& spMenu : CApplication::MenusOf(spMenuBar)) {
        std::string strCaption;
        CComPtr<CommandBarControls> spControls;
        CComPtr<CommandBarControl> spControl;
        if (FAILED(spMenu->get_Caption(&strCaption)) || strCaption != "&Tools" ||
            FAILED(spMenu->get_Controls(&spControls)) ||
            FAILED(spControls->Add(msoControlButton, vtMissing, vtMissing, vtMissing, true, &spControl)))
            continue;
        spControl->put_Caption("Email Manager");
        spControl->put_TooltipText("Email Manager - Quillory");
    }
}

void StoreSamples(IMailBackend& backend) {
    struct {
        EMailFolder folder;
        const char *pszFrom, *pszTo, *pszSubject, *pszBody;
    } const kSamples[] = {
        {EMailFolder::Inbox, "Rita Receiver <rita@example.com>", "zoe@example.org", "Figures for the weekly report",
         "Hi Zoë,\n\nhere are this week's figures. Could the report go out every Monday at 09:00?\n\nRita\n"},
        {EMailFolder::Inbox, "Build Server <ci@example.com>", "zoe@example.org", "Nightly build passed",
         "All 412 tests passed.\n"},
        {EMailFolder::Inbox, "Carl <carl@example.com>", "zoe@example.org", "Lunch on Friday?", "The usual place?\n"},
        {EMailFolder::SentItems, "Zoë Sender <zoe@example.org>", "team@example.com", "Weekly report",
         "Good morning,\n\nthe weekly report is attached.\n"},
        {EMailFolder::Drafts, "", "board@example.com", "Quarterly summary", "Draft text\n"},
    };
    for (const auto& s : kSamples) {
        CMailMessage msg;
        msg.strFrom = s.pszFrom;
        msg.vecTo = {s.pszTo};
        msg.strSubject = s.pszSubject;
        msg.strBody = s.pszBody;
        msg.bSent = s.folder != EMailFolder::Drafts;
        std::string strId;
        if (CResult<> r = backend.SaveToFolder(s.folder, msg, strId); !r)
            std::fprintf(stderr, "sample \"%s\" not stored: %s\n", s.pszSubject, r.Problem().c_str());
    }
}

QWidget* TopLevelAny(const char* pszName) {
    for (QWidget* p : QApplication::topLevelWidgets())
        if (p->objectName() == pszName) return p;
    return nullptr;
}

QWidget* TopLevel(const char* pszName) {
    for (QWidget* p : QApplication::topLevelWidgets())
        if (p->objectName() == pszName && p->isVisible()) return p;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    std::string strOut = argv[1];
    int nFailed = 0;
    CWindowedHost::CHooks hooks;
    hooks.fnConnect = [&](CApplication& app) {
        StoreSamples(app.Backend());
        CComPtr<_Explorer> spExplorer;
        CComPtr<_CommandBars> spBars;
        if (SUCCEEDED(app.ActiveExplorer(&spExplorer)) && spExplorer && SUCCEEDED(spExplorer->get_CommandBars(&spBars)))
            AddToolbar(spBars, "Email Manager", "Email Manager - Quillory", "Quillory");
        if (spBars) AddToolsEntry(spBars);

        CComPtr<IDispatch> spItem;
        app.CreateItem(olMailItem, &spItem);
        CComQIPtr<_MailItem> spMail(spItem);
        spMail->put_To("Team <team@example.com>");
        spMail->put_CC("rita@example.com");
        spMail->put_Subject("Weekly report");
        spMail->put_Body("Good morning,\n\nthe weekly report is attached.\n\nZoë\n");
        CComPtr<_Inspector> spInspector;
        app.OpenInspector(spMail, &spInspector);
        CComPtr<_CommandBars> spInspectorBars;
        if (spInspector && SUCCEEDED(spInspector->get_CommandBars(&spInspectorBars)))
            AddToolbar(spInspectorBars, "Quillory Options", "Quillory Options", "Quillory Options");

        // Real time on purpose: the windows need a moment to lay out and paint.
        QTimer::singleShot(1000, qApp, [&] {
            // The samples went in after the window was filled.
            if (auto* pMain = dynamic_cast<CMainWindow*>(TopLevel("explorer"))) {
                pMain->Refresh();
                pMain->MessageList()->setCurrentItem(pMain->MessageList()->topLevelItem(0));
            }
            // The tray icon's menu, as a click on the icon shows it (the virtual
            // display has no tray to hold the icon itself).
            if (auto* pMenu = qobject_cast<QMenu*>(TopLevelAny("tray-menu"))) pMenu->popup(QPoint(40, 40));
            const std::pair<const char*, const char*> kShots[] = {{"explorer", "/main-window.png"},
                                                                  {"inspector", "/message-window.png"},
                                                                  {"tray-menu", "/tray-menu.png"}};
            for (const auto& [pszName, pszFile] : kShots) {
                QWidget* p = TopLevel(pszName);
                if (!p || !p->grab().save(QString::fromStdString(strOut + pszFile))) {
                    std::fprintf(stderr, "screenshot of the %s failed\n", pszName);
                    ++nFailed;
                }
            }
            QCoreApplication::exit(0);  // quit() is vetoed by a message window that will not close
        });
    };
    int nResult = CWindowedHost::Run(argc, argv, {}, hooks);
    return nFailed ? 1 : nResult;
}
