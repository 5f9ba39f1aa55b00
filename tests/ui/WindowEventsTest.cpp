// What an add-in hears and shows when the user works with the host's windows.
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

#include "CEventRecorder.h"
#include "CUiTestBase.h"
#include "CommandBarSteps.h"

namespace {

using Log = std::vector<std::string>;

// Subscribes a recorder as an add-in would: to NewInspector, and to the
// events of every window it is told about.
class WindowEventsTest : public CUiTestBase {
protected:
    void Watch() {
        m_spRecorder = MakeComObject<CRecorder>();
        CComPtr<_Inspectors> spInspectors;
        ASSERT_EQ(m_spApp->get_Inspectors(&spInspectors), S_OK);
        ASSERT_EQ(AtlAdvise(spInspectors, m_spRecorder->Unk(), InspectorsEvents::iid, &m_dwCookie), S_OK);
        m_spRecorder->m_fnOnNew = [this](IDispatch* p) {
            DWORD dw = 0;
            AtlAdvise(p, m_spRecorder->Unk(), InspectorEvents::iid, &dw);
        };
    }
    void TearDown() override {
        // The recorder keeps the last window, which keeps its subscribers.
        if (m_spRecorder) m_spRecorder->m_spLastInspector = nullptr;
        CUiTestBase::TearDown();
    }
    static void Activate(QWidget* p) {
        p->activateWindow();
        Process();
    }

    CComPtr<CRecorder> m_spRecorder;
    DWORD m_dwCookie = 0;
};

// A recorder subscribed to the clicks of a control.
CComPtr<CRecorder> ClicksOf(IUnknown* pControl) {
    auto spRecorder = MakeComObject<CRecorder>();
    DWORD dw = 0;
    EXPECT_EQ(AtlAdvise(pControl, spRecorder->Unk(), _CommandBarButtonEvents::iid, &dw), S_OK);
    return spRecorder;
}

}  // namespace

TEST_F(WindowEventsTest, UserClicksGiveOpenActivateDeactivateCloseInOrderAndTheOtherWindowWorksOn) {
    StartUi(false);
    Watch();
    CInspectorWindow* pWindow = ClickNew();
    ASSERT_TRUE(pWindow);
    Activate(pWindow);
    EXPECT_EQ(m_spRecorder->m_vecLog, (Log{"NewInspector", "Activate"})) << "showing it activates it once";
    Activate(&m_pWindows->Main());
    EXPECT_EQ(m_spRecorder->m_vecLog, (Log{"NewInspector", "Activate", "Deactivate"}));
    Activate(pWindow);
    pWindow->CloseAction()->trigger();
    Process();
    EXPECT_EQ(m_spRecorder->m_vecLog,
              (Log{"NewInspector", "Activate", "Deactivate", "Activate", "Deactivate", "Close"}));
    m_spRecorder->m_vecLog.clear();

    // Closing one of two windows leaves the other working.
    CInspectorWindow* pFirst = ClickNew();
    CComPtr<_Inspector> spFirst = pFirst->Inspector();
    CInspectorWindow* pSecond = ClickNew();
    CComPtr<_Inspector> spSecond = pSecond->Inspector();
    ASSERT_NE(pFirst, pSecond);
    Activate(pSecond);
    EXPECT_EQ(m_spRecorder->m_vecLog, (Log{"NewInspector", "Activate", "NewInspector", "Deactivate", "Activate"}));
    m_spRecorder->m_vecLog.clear();

    Activate(pFirst);
    pFirst->close();
    Process();
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 1u);
    EXPECT_EQ(m_pWindows->WindowOf(spFirst), nullptr);
    ASSERT_EQ(m_pWindows->WindowOf(spSecond), pSecond);
    // Switching to the first (Deactivate of the second, Activate of the first), then its close.
    EXPECT_EQ(m_spRecorder->m_vecLog, (Log{"Deactivate", "Activate", "Deactivate", "Close"}));
    m_spRecorder->m_vecLog.clear();

    Activate(pSecond);
    EXPECT_EQ(m_spRecorder->m_vecLog, (Log{"Activate"}));
    QTest::keyClicks(pSecond->SubjectField(), "still here");
    CComPtr<IDispatch> spItem;
    ASSERT_EQ(spSecond->get_CurrentItem(&spItem), S_OK);
    std::string str;
    CComQIPtr<_MailItem>(spItem)->get_Subject(&str);
    EXPECT_EQ(str, "still here");
}

TEST_F(WindowEventsTest, DisplayOpensAWindowAndCloseDiscardDropsItWithoutAsking) {
    StartUi(false);
    CComPtr<IDispatch> spItem;
    ASSERT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
    CComQIPtr<_MailItem> spMail(spItem);
    spMail->put_Subject("From an add-in");
    spMail->put_To("rita@example.com");
    ASSERT_EQ(spMail->Display(vtMissing), S_OK);
    Process();
    CComPtr<_Inspector> spInspector = m_spApp->ActiveInspector();
    CInspectorWindow* pWindow = m_pWindows->WindowOf(spInspector);
    ASSERT_TRUE(pWindow);
    EXPECT_EQ(pWindow->SubjectField()->text(), "From an add-in");
    EXPECT_EQ(pWindow->ToField()->text(), "rita@example.com");
    // Display of an open item brings its window back instead of a second one.
    ASSERT_EQ(spMail->Display(vtMissing), S_OK);
    Process();
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 1u);

    QTest::keyClicks(pWindow->BodyField(), "edited");
    EXPECT_TRUE(pWindow->IsEdited());
    ASSERT_EQ(spInspector->Close(olDiscard), S_OK);
    Process();
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u);
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty());
}

TEST_F(WindowEventsTest, AddInToolbarOnAMessageWindowIsShownAndItsClickReachesSubscribers) {
    StartUi(false);
    CInspectorWindow* pWindow = ClickNew();
    ASSERT_TRUE(pWindow);
    EXPECT_FALSE(ToolbarAction(*pWindow, "Quillory", "Quillory Options"));
    CComPtr<_CommandBarButton> spButton = AddButton(BarsOf(pWindow->Inspector()), "Quillory", "Quillory Options");
    ASSERT_TRUE(spButton);
    auto spRecorder = ClicksOf(spButton);
    Process();
    QAction* pAction = ToolbarAction(*pWindow, "Quillory", "Quillory Options");
    ASSERT_TRUE(pAction);
    EXPECT_EQ(pAction->text(), "Quillory Options");
    EXPECT_EQ(pAction->toolTip(), "Quillory Options");
    pAction->trigger();
    EXPECT_EQ(spRecorder->m_vecLog, (Log{"Click"}));

    // A second window's button with the same tag: one subscription hears both.
    CInspectorWindow* pOther = ClickNew();
    ASSERT_TRUE(AddButton(BarsOf(pOther->Inspector()), "Quillory", "Quillory Options"));
    Process();
    QAction* pOtherAction = ToolbarAction(*pOther, "Quillory", "Quillory Options");
    ASSERT_TRUE(pOtherAction);
    pOtherAction->trigger();
    EXPECT_EQ(spRecorder->m_vecLog, (Log{"Click", "Click"}));

    // Disabled in the model: disabled on screen; deleted: gone.
    spButton->put_Enabled(false);
    Process();
    pAction = ToolbarAction(*pWindow, "Quillory", "Quillory Options");
    ASSERT_TRUE(pAction);
    EXPECT_FALSE(pAction->isEnabled());
    spButton->Delete();
    Process();
    EXPECT_FALSE(ToolbarAction(*pWindow, "Quillory", "Quillory Options"));
    EXPECT_TRUE(ToolbarAction(*pOther, "Quillory", "Quillory Options"));
}

TEST_F(WindowEventsTest, MainWindowShowsStandardBarAddInToolbarAndToolsMenuCommands) {
    StartUi(false);
    CMainWindow& main = m_pWindows->Main();
    QAction* pNew = ToolbarAction(main, "Standard", "new");
    QAction* pSendReceive = ToolbarAction(main, "Standard", "control-7095");
    QAction* pDelete = ToolbarAction(main, "Standard", "delete");
    ASSERT_TRUE(pNew && pSendReceive && pDelete);
    EXPECT_EQ(pSendReceive->text(), "Send/Re&ceive");
    auto* pBar = main.findChild<QToolBar*>("Standard");
    EXPECT_EQ(pBar->actions().indexOf(pNew), 0);
    EXPECT_EQ(pBar->actions().indexOf(pDelete), 2);

    const CComPtr<_CommandBars> spBars = MainBars();
    ASSERT_TRUE(spBars);
    auto spButton = AddButton(spBars, "Quillory", "Quillory");
    auto spRecorder = ClicksOf(spButton);
    // The built-in Send/Receive is watched the same way.
    CComPtr<CommandBarControl> spSendReceive;
    ASSERT_EQ(spBars->FindControl(vtMissing, kSendReceiveControlId, vtMissing, vtMissing, &spSendReceive), S_OK);
    DWORD dw2 = 0;
    ASSERT_EQ(AtlAdvise(spSendReceive, spRecorder->Unk(), _CommandBarButtonEvents::iid, &dw2), S_OK);
    Process();
    QAction* pQuillory = ToolbarAction(main, "Quillory", "Quillory");
    ASSERT_TRUE(pQuillory);
    pQuillory->trigger();
    ToolbarAction(main, "Standard", "control-7095")->trigger();
    main.OnSendReceive();  // the menu's Send/Receive
    EXPECT_EQ(spRecorder->m_vecLog, (Log{"Click", "Click", "Click"}));

    // The main window's menus stand in the model as a "Menu Bar" with a
    // "&Tools" menu; a command added there shows in the window's Tools menu,
    // after the host's own items, and its click reaches its subscribers.
    CComPtr<CommandBar> spMenuBar;
    ASSERT_EQ(spBars->get_Item(CVariant("Menu Bar"), &spMenuBar), S_OK);
    CComPtr<CommandBarControls> spMenus;
    ASSERT_EQ(spMenuBar->get_Controls(&spMenus), S_OK);
    CComPtr<CommandBarControl> spControl;
    ASSERT_EQ(spMenus->get_Item(CVariant(1), &spControl), S_OK);
    CComPtr<CommandBarPopup> spTools;
    ASSERT_EQ(spControl->QueryInterface(&spTools), S_OK);
    std::string strCaption;
    spTools->get_Caption(&strCaption);
    EXPECT_EQ(strCaption, "&Tools");
    CComPtr<CommandBarControls> spItems;
    ASSERT_EQ(spTools->get_Controls(&spItems), S_OK);
    CComPtr<CommandBarControl> spItem;
    ASSERT_EQ(spItems->Add(msoControlButton, vtMissing, vtMissing, vtMissing, true, &spItem), S_OK);
    spItem->put_Caption("Quillory");
    spItem->put_Tag("Quillory");
    auto spToolsClicks = ClicksOf(spItem);
    Process();
    // A menu bar is no toolbar.
    EXPECT_EQ(main.findChild<QToolBar*>("Menu Bar"), nullptr);
    QMenu* pToolsMenu = nullptr;
    for (QAction* p : main.menuBar()->actions())
        if (p->text() == "&Tools") pToolsMenu = p->menu();
    ASSERT_TRUE(pToolsMenu);
    std::vector<std::string> vecItems;
    QAction* pToolsItem = nullptr;
    for (QAction* p : pToolsMenu->actions()) {
        if (p->isSeparator()) continue;
        vecItems.push_back(p->text().toStdString());
        if (p->text() == "&Quillory") pToolsItem = p;
    }
    // The add-in's entry gets a letter the menu does not use yet.
    EXPECT_EQ(vecItems, (std::vector<std::string>{"Send/Re&ceive", "&Quillory"}));
    ASSERT_TRUE(pToolsItem);
    pToolsItem->trigger();
    EXPECT_EQ(spToolsClicks->m_vecLog, (Log{"Click"}));
    // Removed from the model, it leaves the menu.
    ASSERT_EQ(spItem->Delete(), S_OK);
    Process();
    int nLeft = 0;
    for (QAction* p : pToolsMenu->actions()) nLeft += p->isSeparator() ? 0 : 1;
    EXPECT_EQ(nLeft, 1);
}
