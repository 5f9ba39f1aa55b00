// Toolbars and their buttons, and the events their subscribers receive.
#include "CEventRecorder.h"
#include "ObjectModelTest.h"

namespace {

TEST_F(ObjectModelTest, ToolbarsAndButtonsOfAMessageWindow) {
    auto spInspector = Display(NewMail());
    CComPtr<_CommandBars> spBars;
    ASSERT_EQ(spInspector->get_CommandBars(&spBars), S_OK);
    CComPtr<CommandBar> spLookup;
    EXPECT_TRUE(FAILED(spBars->get_Item("Quillory", &spLookup)));
    EXPECT_FALSE(spLookup);
    CComPtr<CommandBar> spBar;
    ASSERT_EQ(spBars->Add("Quillory", msoBarTop, vtMissing, true, &spBar), S_OK);
    CComPtr<CommandBar> spDuplicate;
    EXPECT_TRUE(FAILED(spBars->Add("quillory", msoBarTop, vtMissing, true, &spDuplicate)));
    ASSERT_EQ(spBars->get_Item("Quillory", &spLookup), S_OK);
    EXPECT_EQ(spLookup.p, spBar.p);
    bool b = false;
    spBar->get_Temporary(&b);
    EXPECT_TRUE(b);
    spBar->get_Visible(&b);
    EXPECT_FALSE(b);
    EXPECT_EQ(spBar->put_Visible(true), S_OK);
    CComPtr<CommandBarControls> spControls;
    ASSERT_EQ(spBar->get_Controls(&spControls), S_OK);
    CComPtr<CommandBarControl> spControl;
    ASSERT_EQ(spControls->Add(msoControlButton, vtMissing, vtMissing, vtMissing, true, &spControl), S_OK);
    CComPtr<_CommandBarButton> spButton;
    ASSERT_EQ(spControl.QueryInterface(&spButton), S_OK);
    EXPECT_EQ(spButton->put_Style(msoButtonCaption), S_OK);
    EXPECT_EQ(spButton->put_Caption("Quillory Options"), S_OK);
    EXPECT_EQ(spButton->put_TooltipText("Quillory Options"), S_OK);
    EXPECT_EQ(spButton->put_Tag("Quillory Options"), S_OK);
    EXPECT_EQ(spButton->put_Enabled(true), S_OK);
    EXPECT_EQ(spButton->put_Visible(true), S_OK);
    int32_t n = 0;
    // Unsupported control kinds are refused.
    CComPtr<CommandBarControl> spEdit;
    EXPECT_TRUE(FAILED(spControls->Add(2, vtMissing, vtMissing, vtMissing, true, &spEdit)));
    // The host hooks see the same toolbars and controls.
    auto vecBars = m_spApp->CommandBarsOf(spInspector);
    ASSERT_EQ(vecBars.size(), 1u);
    EXPECT_EQ(vecBars[0].p, spBar.p);
    auto vecControls = CApplication::ControlsOf(spBar);
    ASSERT_EQ(vecControls.size(), 1u);
    EXPECT_EQ(vecControls[0].p, spControl.p);
    // Closing the window takes its temporary toolbars and controls.
    ASSERT_EQ(spInspector->Close(olDiscard), S_OK);
    EXPECT_TRUE(m_spApp->CommandBarsOf(spInspector).empty());
    spControls->get_Count(&n);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(FAILED(spButton->Delete()));  // no longer on a toolbar
}

TEST_F(ObjectModelTest, ClickReachesEverySubscriberOfTheTag) {
    auto spFirstWindow = Display(NewMail("one"));
    const CComPtr<_CommandBars> spBars1 = BarsOf(spFirstWindow.p);
    auto spButton1 = AddButton(spBars1, "Quillory", "Quillory Options");
    auto spSecondWindow = Display(NewMail("two"));
    const CComPtr<_CommandBars> spBars2 = BarsOf(spSecondWindow.p);
    auto spButton2 = AddButton(spBars2, "Quillory", "Quillory Options");
    auto spOtherTag = AddButton(spBars2, "Other", "Something else");

    auto spA = MakeComObject<CRecorder>();  // subscribed to the first window's button only
    auto spB = MakeComObject<CRecorder>();  // subscribed to a button with another tag
    DWORD dwA = 0, dwB = 0;
    ASSERT_EQ(AtlAdvise(spButton1, spA->Unk(), _CommandBarButtonEvents::iid, &dwA), S_OK);
    ASSERT_EQ(AtlAdvise(spOtherTag, spB->Unk(), _CommandBarButtonEvents::iid, &dwB), S_OK);
    ASSERT_EQ(spButton2->Execute(), S_OK);
    EXPECT_EQ(spA->m_vecLog, Log{"Click"});
    EXPECT_TRUE(spB->m_vecLog.empty());
    CComQIPtr<_CommandBarButton> spClicked(spA->m_spLastButton);
    EXPECT_EQ(spClicked.p, spButton2.p);  // the clicked button is passed
    // The first window closes; its button's subscriber still hears the others.
    ASSERT_EQ(spFirstWindow->Close(olDiscard), S_OK);
    ASSERT_EQ(spButton2->Execute(), S_OK);
    EXPECT_EQ(spA->m_vecLog, (Log{"Click", "Click"}));
    ASSERT_EQ(spOtherTag->Execute(), S_OK);
    EXPECT_EQ(spB->m_vecLog, Log{"Click"});
    EXPECT_EQ(spA->m_vecLog.size(), 2u);
    // A disabled button does not run.
    spButton2->put_Enabled(false);
    EXPECT_TRUE(FAILED(spButton2->Execute()));
    EXPECT_EQ(spA->m_vecLog.size(), 2u);
    EXPECT_EQ(AtlUnadvise(spButton1, _CommandBarButtonEvents::iid, dwA), S_OK);
    EXPECT_EQ(AtlUnadvise(spButton1, _CommandBarButtonEvents::iid, dwA), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(AtlUnadvise(spOtherTag, _CommandBarButtonEvents::iid, dwB), S_OK);
}

TEST_F(ObjectModelTest, MainWindowToolbarAndSendReceiveControl) {
    CComPtr<_Explorer> spExplorer;
    ASSERT_EQ(m_spApp->ActiveExplorer(&spExplorer), S_OK);
    CComPtr<_CommandBars> spBars;
    ASSERT_EQ(spExplorer->get_CommandBars(&spBars), S_OK);
    CComPtr<CommandBarControl> spControl;
    ASSERT_EQ(spBars->FindControl(vtMissing, kSendReceiveControlId, vtMissing, vtMissing, &spControl), S_OK);
    ASSERT_TRUE(spControl);
    bool bEnabled = false;
    spControl->get_Enabled(&bEnabled);
    EXPECT_TRUE(bEnabled);
    ASSERT_EQ(spControl->Execute(), S_OK);
    EXPECT_EQ(m_backend.m_nSendReceive, 1);
    spControl->put_Enabled(false);
    EXPECT_TRUE(FAILED(spControl->Execute()));
    EXPECT_EQ(m_backend.m_nSendReceive, 1);
    CComPtr<CommandBarControl> spNone;
    EXPECT_EQ(spBars->FindControl(vtMissing, 4242, vtMissing, vtMissing, &spNone), S_OK);
    EXPECT_FALSE(spNone);
    // An add-in's toolbar there and its clicks: WindowEventsTest.MainWindowShowsStandardBarAndAddInToolbar.
}

TEST_F(ObjectModelTest, SubscribersMayUnadviseInsideHostEvents) {
    auto spInspector = Display(NewMail());
    const CComPtr<_CommandBars> spBars = BarsOf(spInspector.p);
    auto spButton = AddButton(spBars, "Quillory", "Quillory Options");
    // U ends both subscriptions in its Click: B is not called for this click.
    struct CUnadviser : CRecorder {
        HRESULT Click(IDispatch* p, bool* pb) override {
            CRecorder::Click(p, pb);
            EXPECT_EQ(AtlUnadvise(spSource, _CommandBarButtonEvents::iid, dwFirst), S_OK);
            EXPECT_EQ(AtlUnadvise(spSource, _CommandBarButtonEvents::iid, dwSecond), S_OK);
            return S_OK;
        }
        CComPtr<_CommandBarButton> spSource;
        DWORD dwFirst = 0, dwSecond = 0;
    };
    auto spU = MakeComObject<CUnadviser>();
    auto spB = MakeComObject<CRecorder>();
    spU->spSource = spButton;
    AtlAdvise(spButton, spU->Unk(), _CommandBarButtonEvents::iid, &spU->dwFirst);
    AtlAdvise(spButton, spB->Unk(), _CommandBarButtonEvents::iid, &spU->dwSecond);
    ASSERT_EQ(spButton->Execute(), S_OK);
    EXPECT_EQ(spU->m_vecLog, Log{"Click"});
    EXPECT_TRUE(spB->m_vecLog.empty());
    spU->spSource = nullptr;
    // A window's subscriber that unadvises itself in Close.
    auto spA = MakeComObject<CRecorder>();
    DWORD dwClose = 0;
    AtlAdvise(spInspector, spA->Unk(), InspectorEvents::iid, &dwClose);
    spA->m_fnOnClose = [&] { EXPECT_EQ(AtlUnadvise(spInspector, InspectorEvents::iid, dwClose), S_OK); };
    ASSERT_EQ(spInspector->Close(olDiscard), S_OK);
    EXPECT_EQ(spA->m_vecLog.back(), "Close");
    EXPECT_EQ(AtlUnadvise(spInspector, InspectorEvents::iid, dwClose), CONNECT_E_NOCONNECTION);
    spA->m_fnOnClose = nullptr;
}

TEST_F(ObjectModelTest, ControlsKeepTheirOrderAndAreFoundByTag) {
    CComPtr<_Explorer> spExplorer;
    m_spApp->ActiveExplorer(&spExplorer);
    const CComPtr<_CommandBars> spBars = BarsOf(spExplorer.p);
    CComPtr<CommandBar> spBar;
    ASSERT_EQ(spBars->Add(vtMissing, msoBarTop, vtMissing, true, &spBar), S_OK);
    std::string strName;
    spBar->get_Name(&strName);
    EXPECT_EQ(strName, "Custom 1");
    CComPtr<CommandBarControls> spControls;
    spBar->get_Controls(&spControls);
    CComPtr<CommandBarControl> spLast, spFirst;
    ASSERT_EQ(spControls->Add(msoControlButton, vtMissing, vtMissing, vtMissing, true, &spLast), S_OK);
    ASSERT_EQ(spControls->Add(msoControlButton, vtMissing, vtMissing, 1, true, &spFirst), S_OK);
    CComPtr<CommandBarControl> spBad;
    EXPECT_TRUE(FAILED(spControls->Add(msoControlButton, vtMissing, vtMissing, 9, true, &spBad)));
    spFirst->put_Tag("first");
    CComPtr<CommandBarControl> spAt;
    spControls->get_Item(1, &spAt);
    EXPECT_EQ(spAt.p, spFirst.p);
    CComPtr<CommandBarControl> spFound;
    ASSERT_EQ(spBars->FindControl(vtMissing, vtMissing, "first", vtMissing, &spFound), S_OK);
    EXPECT_EQ(spFound.p, spFirst.p);
    // The new toolbar is hidden until shown: a search for visible controls passes it over.
    ASSERT_EQ(spBars->FindControl(vtMissing, vtMissing, "first", true, &spFound), S_OK);
    EXPECT_FALSE(spFound);
    EXPECT_EQ(spFirst->Delete(), S_OK);
    int32_t n = 0;
    spControls->get_Count(&n);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(spBar->Delete(), S_OK);
    CComPtr<CommandBar> spGone;
    EXPECT_TRUE(FAILED(spBars->get_Item("Custom 1", &spGone)));
}

}  // namespace
