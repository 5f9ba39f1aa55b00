// The application object: its interfaces, its windows and its end.
#include "CEventRecorder.h"
#include "ObjectModelTest.h"

namespace {

TEST_F(ObjectModelTest, ApplicationAnswersItsInterfaceIds) {
    CComPtr<_Application> spApp;
    ASSERT_EQ(m_spApp->GetUnknown()->QueryInterface(MakeGuid("{00063001-0000-0000-C000-000000000046}"),
                                                    reinterpret_cast<void**>(&spApp)),
              S_OK);
    CComPtr<IDispatch> spDisp;
    EXPECT_EQ(spApp.QueryInterface(&spDisp), S_OK);
    CComPtr<_MailItem> spNo;
    EXPECT_EQ(spApp.QueryInterface(&spNo), E_NOINTERFACE);
    CComPtr<_Explorer> spExplorer;
    EXPECT_EQ(spApp->ActiveExplorer(&spExplorer), S_OK);
    EXPECT_TRUE(spExplorer);
    CComPtr<IDispatch> spItem;
    EXPECT_TRUE(FAILED(spApp->CreateItem(1, &spItem)));
    EXPECT_FALSE(spItem);
}

TEST_F(ObjectModelTest, HostWithoutMainWindowHasNoActiveExplorer) {
    CMemoryMailBackend backend;
    auto spApp = CApplication::Create(backend, {.bWithExplorer = false});
    CComPtr<_Explorer> spExplorer;
    EXPECT_EQ(spApp->ActiveExplorer(&spExplorer), S_OK);
    EXPECT_FALSE(spExplorer);
    EXPECT_EQ(spApp->OpenExplorer(), S_OK);
    EXPECT_EQ(spApp->ActiveExplorer(&spExplorer), S_OK);
    EXPECT_TRUE(spExplorer);
    EXPECT_EQ(spApp->CloseExplorer(), S_OK);
    // A closed main window's references fail.
    CComPtr<_CommandBars> spBars;
    EXPECT_TRUE(FAILED(spExplorer->get_CommandBars(&spBars)));
}

TEST_F(ObjectModelTest, ShutdownClosesWindowsAndEndsSubscriptions) {
    struct CObserver : IHostObserver {
        Log log;
        void OnInspectorOpened(_Inspector*) override { log.push_back("opened"); }
        void OnInspectorClosed(_Inspector*) override { log.push_back("closed"); }
        void OnInspectorActivated(_Inspector*) override { log.push_back("activated"); }
        void OnCommandBarsChanged() override { log.push_back("bars"); }
    } observer;
    m_spApp->SetObserver(&observer);
    auto spRecorder = MakeComObject<CRecorder>();
    // A subscriber that keeps references and never unadvises, like a
    // misbehaving add-in: shutdown must still free everything.
    CComPtr<_Inspectors> spInspectors;
    m_spApp->get_Inspectors(&spInspectors);
    DWORD dw = 0;
    AtlAdvise(spInspectors, spRecorder->Unk(), InspectorsEvents::iid, &dw);
    auto spInspector = Display(NewMail());
    AtlAdvise(spInspector, spRecorder->Unk(), InspectorEvents::iid, &dw);
    const CComPtr<_CommandBars> spBars = BarsOf(spInspector.p);
    auto spButton = AddButton(spBars, "Quillory", "Quillory Options");
    AtlAdvise(spButton, spRecorder->Unk(), _CommandBarButtonEvents::iid, &dw);
    EXPECT_EQ(observer.log.front(), "opened");
    m_spApp->Shutdown();
    EXPECT_EQ(spRecorder->m_vecLog.back(), "Close");
    EXPECT_EQ(observer.log.back(), "closed");
    CComPtr<IDispatch> spItem;
    EXPECT_TRUE(FAILED(m_spApp->CreateItem(olMailItem, &spItem)));
    EXPECT_TRUE(FAILED(spButton->Execute()));
    EXPECT_EQ(spRecorder->RefCount(), 1u);  // no subscription holds it any more
    CComPtr<_Explorer> spExplorer;
    EXPECT_TRUE(FAILED(m_spApp->ActiveExplorer(&spExplorer)));
}

TEST_F(ObjectModelTest, ReferencesOutliveTheApplication) {
    CComPtr<_MailItem> spMail = NewMail();
    auto spInspector = Display(spMail);
    const CComPtr<_CommandBars> spBars = BarsOf(spInspector.p);
    auto spButton = AddButton(spBars, "Quillory", "Quillory Options");
    CComPtr<Attachments> spAttachments;
    spMail->get_Attachments(&spAttachments);
    m_spApp = nullptr;  // the host goes while the add-in still holds references
    EXPECT_TRUE(FAILED(spMail->Save()));
    EXPECT_TRUE(FAILED(spMail->Send()));
    EXPECT_TRUE(FAILED(spButton->Execute()));
    EXPECT_TRUE(FAILED(spInspector->Close(olDiscard)));
    CComPtr<CommandBar> spBar;
    EXPECT_TRUE(FAILED(spBars->Add("X", msoBarTop, vtMissing, true, &spBar)));
    int32_t n = -1;
    spAttachments->get_Count(&n);
    EXPECT_EQ(n, 0);
}

}  // namespace
