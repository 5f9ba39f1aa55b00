// The main window's close with and without a system tray, the tray's menu
// and the "Start at login" entry, over the real windows (offscreen, where
// there is no tray: its availability is handed in).
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <filesystem>
#include <optional>

#include "CAddinCommand.h"
#include "CAutostartEntry.h"
#include "CCloseGuard.h"
#include "CEventRecorder.h"
#include "CHandOver.h"
#include "CProfileLock.h"
#include "CTakeOverNote.h"
#include "CTrayIcon.h"
#include "CUiTestBase.h"
#include "Contains.h"

namespace {

class BackgroundRunTest : public CUiTestBase {
protected:
    void SetUp() override {
        CUiTestBase::SetUp();
        setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    }
    void TearDown() override {
        m_pTray.reset();
        CUiTestBase::TearDown();
        unsetenv("XDG_CONFIG_HOME");
    }
    // The windows with a tray (or none) and the given number of active tasks.
    void StartWithCloseGuard(bool bTray, std::optional<int> nActiveTasks, bool bCarriedOn = false) {
        StartUi(false);
        CTrayIcon::CCallbacks callbacks;
        callbacks.fnHasEmailManager = [this] { return CAddinCommand::Find(m_spApp, "Email Manager") != nullptr; };
        callbacks.fnEmailManager = [this] { (void)CAddinCommand::Execute(m_spApp, "Email Manager"); };
        callbacks.fnOpen = [this] { m_pWindows->Main().show(); };
        callbacks.fnProblems = [this] { m_pWindows->Main().ShowProblems(); };
        callbacks.fnQuit = [this] { m_pWindows->Main().Quit(); };
        m_pTray = std::make_unique<CTrayIcon>(SettingsPath(), "/opt/mail host/mailhost", std::move(callbacks));
        m_pGuard =
            std::make_unique<CCloseGuard>(CCloseGuard::CEnv{.fnTrayAvailable = [bTray] { return bTray; },
                                                            .fnActiveTasks = [nActiveTasks] { return nActiveTasks; },
                                                            .fnHidden =
                                                                [this] {
                                                                    ++m_nHidden;
                                                                    m_pTray->OnHidden();
                                                                },
                                                            .fnCarriedOn = [bCarriedOn] { return bCarriedOn; }});
        m_pWindows->Main().SetCloseDecision(
            [this](bool bQuit) { return m_pGuard->Decide(&m_pWindows->Main(), bQuit); });
    }
    std::string SettingsPath() const { return m_dir / "config/mailhost/host.ini"; }
    std::string LastBoxText() const { return m_boxes.Seen().empty() ? "" : m_boxes.Seen().back().strText; }

    std::unique_ptr<CTrayIcon> m_pTray;
    std::unique_ptr<CCloseGuard> m_pGuard;
    int m_nHidden = 0;
};

TEST_F(BackgroundRunTest, WithATrayTheCloseBoxHidesTheWindowAndTheNoticeComesOnce) {
    StartWithCloseGuard(true, 3);
    CMainWindow& main = m_pWindows->Main();
    ASSERT_TRUE(ClickNew());
    EXPECT_FALSE(m_pTray->NoticeShown());

    EXPECT_TRUE(main.close());
    Process();
    EXPECT_FALSE(main.isVisible());
    EXPECT_TRUE(m_boxes.Seen().empty()) << "nothing stops, so nothing is asked";
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 1u) << "the message window stays open";
    EXPECT_EQ(m_nHidden, 1);
    EXPECT_TRUE(m_pTray->NoticeShown());
    // Remembered in the settings file, for the next start.
    EXPECT_TRUE(
        QSettings(QString::fromStdString(SettingsPath()), QSettings::IniFormat).value(CTrayIcon::kNoticeKey).toBool());

    // The tray's Open brings the window back; Recent Problems brings it at the Outbox.
    m_pTray->Menu()->actions().at(0)->trigger();
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(main.close());
    ASSERT_EQ(m_pTray->ProblemsAction()->text(), "Recent &Problems");
    m_pTray->ProblemsAction()->trigger();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.CurrentFolder(), EMailFolder::Outbox);
}

// Without a tray, closing asks with the number of tasks that will wait;
// with nothing true to warn about (no active task, or the service waiting
// to take the profile back and send on) it quits without asking.
TEST_F(BackgroundRunTest, WithoutATrayClosingAsksOnlyWhenSendingStops) {
    const struct {
        const char* pszName;
        int nActive;
        bool bCarriedOn;
        const char* pszAsked;
    } cases[] = {
        {"three active", 3, false, "3 active tasks will not be sent until the host runs again."},
        {"none active", 0, false, nullptr},
        {"the service carries on", 3, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        StartWithCloseGuard(false, c.nActive, c.bCarriedOn);
        CMainWindow& main = m_pWindows->Main();
        if (c.pszAsked) {
            m_boxes.Expect(QMessageBox::No);
            EXPECT_FALSE(main.close());
            Process();
            EXPECT_TRUE(main.isVisible()) << "No keeps the host running";
            EXPECT_TRUE(Contains(LastBoxText(), c.pszAsked));
            EXPECT_EQ(m_boxes.Seen().back().strTitle, "Mail Host");
            m_boxes.Expect(QMessageBox::Yes);
        }
        const size_t nBoxes = m_boxes.Seen().size();
        EXPECT_TRUE(main.close());
        Process();
        EXPECT_EQ(m_boxes.Seen().size(), nBoxes + (c.pszAsked ? 1 : 0)) << LastBoxText();
        EXPECT_FALSE(main.isVisible());
        EXPECT_EQ(m_nHidden, 0);
    }
    EXPECT_EQ(CCloseGuard::Question(std::nullopt),
              "Quitting stops scheduled sending. Scheduled messages will not be sent until the host runs again.\n\n"
              "Quit anyway?");
}

// After a take-over, while the background service stands aside on the
// profile (its real standby lock), the status bar and the tray's tooltip
// say so; once the service is gone, neither does. Quit from the tray then
// asks even with a tray, and closes the message windows.
TEST_F(BackgroundRunTest, TheTakeOverIsToldWhileItLastsAndQuitFromTheTrayAsks) {
    StartWithCloseGuard(true, 1);
    CMainWindow& main = m_pWindows->Main();
    const std::string strProfile = m_dir / "profile";
    std::filesystem::create_directories(strProfile);
    auto* pNote = new CTakeOverNote(
        main, *m_pTray, [&] { return CHandOver::HeadlessWaits(strProfile); }, 3600000);
    main.show();
    Process();
    EXPECT_FALSE(pNote->Label()->isVisible());
    EXPECT_EQ(m_pTray->ToolTip(), "Mail Host");
    {
        CProfileLock standby;
        ASSERT_TRUE(standby.Acquire(strProfile, "headless", CHandOver::kStandbyFile).Ok());
        pNote->Update();
        EXPECT_TRUE(pNote->Label()->isVisible());
        EXPECT_EQ(pNote->Label()->text(), "Took over from the background service; it sends again when you quit");
        EXPECT_EQ(m_pTray->ToolTip(), "Mail Host\nTook over from the background service; it sends again when you quit");
    }
    pNote->Update();
    EXPECT_FALSE(pNote->Label()->isVisible());
    EXPECT_EQ(m_pTray->ToolTip(), "Mail Host");

    ASSERT_TRUE(ClickNew());
    QAction* pQuit = m_pTray->Menu()->actions().back();
    ASSERT_EQ(pQuit->text(), "&Quit");
    m_boxes.Expect(QMessageBox::No);
    pQuit->trigger();
    Process();
    EXPECT_TRUE(Contains(LastBoxText(), "1 active task will not be sent"));
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 1u);
    m_boxes.Expect(QMessageBox::Yes);
    pQuit->trigger();
    Process();
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u) << "an untouched message window closes with the host";
    EXPECT_EQ(m_nHidden, 0);
}

// The tray's Email Manager runs an add-in's control only when there is one:
// a command on a bar of its own (by caption), or an entry in the Tools menu
// (by tooltip). Start at login writes and removes the autostart entry.
TEST_F(BackgroundRunTest, TheTraysMenuFindsTheAddinsEmailManagerAndTogglesStartAtLogin) {
    StartWithCloseGuard(true, 0);
    QAction* pManager = m_pTray->EmailManagerAction();
    m_pTray->UpdateMenu();
    EXPECT_FALSE(pManager->isEnabled()) << "no add-in put the command there";
    // A control as an add-in adds it, and a recorder of its clicks.
    const auto fnAdd = [](CommandBarControls* pControls, const char* pszCaption, const char* pszTip = nullptr) {
        CComPtr<CommandBarControl> sp;
        EXPECT_EQ(pControls->Add(CVariant(1), CVariant(), CVariant(), CVariant(), CVariant(true), &sp), S_OK);
        sp->put_Caption(pszCaption);
        if (pszTip) sp->put_TooltipText(pszTip);
        sp->put_Tag(pszCaption);
        auto spClicks = MakeComObject<CRecorder>();
        DWORD dw = 0;  // the host's shutdown ends the subscription
        EXPECT_EQ(AtlAdvise(sp, spClicks->Unk(), _CommandBarButtonEvents::iid, &dw), S_OK);
        return spClicks;
    };
    const CComPtr<_CommandBars> spBars = MainBars();
    ASSERT_TRUE(spBars);
    CComPtr<CommandBar> spBar;
    ASSERT_EQ(spBars->Add(CVariant("Add-in"), CVariant(1), CVariant(), CVariant(true), &spBar), S_OK);
    CComPtr<CommandBarControls> spControls;
    ASSERT_EQ(spBar->get_Controls(&spControls), S_OK);
    auto spOtherClicks = fnAdd(spControls, "Email Managers");
    auto spManagerClicks = fnAdd(spControls, "&Email Manager...");
    m_pTray->UpdateMenu();
    ASSERT_TRUE(pManager->isEnabled());
    pManager->trigger();
    EXPECT_EQ(spManagerClicks->m_vecLog, std::vector<std::string>{"Click"});
    EXPECT_TRUE(spOtherClicks->m_vecLog.empty()) << "a caption that only begins alike is another command";
    ASSERT_EQ(spBar->Delete(), S_OK);

    CComPtr<CommandBar> spMenuBar;
    ASSERT_EQ(spBars->get_Item(CVariant("Menu Bar"), &spMenuBar), S_OK);
    const auto vecMenus = CApplication::MenusOf(spMenuBar);
    ASSERT_FALSE(vecMenus.empty()) << "the main window offers a Tools menu to add-ins";
    spControls = nullptr;
    ASSERT_EQ(vecMenus[0]->get_Controls(&spControls), S_OK);
    // As the add-in adds its entry: its own name as the caption, what it opens as the tooltip.
    auto spEntryClicks = fnAdd(spControls, "Quillory", "Email Manager");
    m_pTray->UpdateMenu();
    ASSERT_TRUE(pManager->isEnabled());
    pManager->trigger();
    EXPECT_EQ(spEntryClicks->m_vecLog, std::vector<std::string>{"Click"});

    const std::string strEntry = m_dir / "config/autostart/mailhost.desktop";
    QAction* pStart = m_pTray->StartAtLoginAction();
    EXPECT_FALSE(pStart->isChecked());
    pStart->trigger();
    EXPECT_TRUE(pStart->isChecked());
    // At login the host starts into the tray, not with its main window.
    EXPECT_EQ(CTempDir::ReadFile(strEntry).substr(0, 16), "[Desktop Entry]\n");
    EXPECT_TRUE(Contains(CTempDir::ReadFile(strEntry), "\nType=Application\n"));
    EXPECT_TRUE(Contains(CTempDir::ReadFile(strEntry), "\nExec=\"/opt/mail host/mailhost\" --tray\n"));
    pStart->trigger();
    EXPECT_FALSE(std::filesystem::exists(strEntry));
    EXPECT_FALSE(pStart->isChecked());
    // An entry made elsewhere (another host, by hand) shows as on.
    CTempDir::WriteFile(strEntry, "[Desktop Entry]\n");
    m_pTray->UpdateMenu();
    EXPECT_TRUE(pStart->isChecked());
}

TEST(AutostartEntryTest, ExecQuotesAndEscapesTheProgramAndTheFolderFollowsXdgConfigHome) {
    // Quoting first (", `, $ and \ get a backslash), then the string rule
    // doubles every backslash; % is doubled as the field-code character.
    EXPECT_EQ(CAutostartEntry::ExecValue("/usr/bin/mailhost"), "\"/usr/bin/mailhost\"");
    EXPECT_EQ(CAutostartEntry::ExecValue("/home/zoe/my \"mail\"/mailhost"),
              "\"/home/zoe/my \\\\\"mail\\\\\"/mailhost\"");
    EXPECT_EQ(CAutostartEntry::ExecValue("/a$b/c`d/100%/e\\f"), "\"/a\\\\$b/c\\\\`d/100%%/e\\\\\\\\f\"");

    const std::string strHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", "/home/zoe", 1);
    const struct {
        const char* pszXdg;  // nullptr: unset
        const char* pszPath;
    } kCases[] = {{"/srv/cfg", "/srv/cfg/autostart/mailhost.desktop"},
                  {"relative/cfg", "/home/zoe/.config/autostart/mailhost.desktop"},
                  {nullptr, "/home/zoe/.config/autostart/mailhost.desktop"}};
    for (const auto& c : kCases) {
        if (c.pszXdg) setenv("XDG_CONFIG_HOME", c.pszXdg, 1);
        else unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(CAutostartEntry::Path(), c.pszPath) << (c.pszXdg ? c.pszXdg : "unset");
    }
    setenv("HOME", strHome.c_str(), 1);
}

}  // namespace
