// Message windows: showing, activating and closing.
#include "CEventRecorder.h"
#include "ObjectModelTest.h"

namespace {

TEST_F(ObjectModelTest, DisplayRaisesNewInspectorAndActivate) {
    auto spRecorder = MakeComObject<CRecorder>();
    CComPtr<_Inspectors> spInspectors;
    ASSERT_EQ(m_spApp->get_Inspectors(&spInspectors), S_OK);
    DWORD dwCookie = 0;
    ASSERT_EQ(AtlAdvise(spInspectors, spRecorder->Unk(), InspectorsEvents::iid, &dwCookie), S_OK);
    // As the add-in does: subscribe to the new window's events inside NewInspector.
    std::vector<std::pair<CComPtr<_Inspector>, DWORD>> vecTracked;
    spRecorder->m_fnOnNew = [&](IDispatch* p) {
        CComQIPtr<_Inspector> spInspector(p);
        ASSERT_TRUE(spInspector);
        CComPtr<IDispatch> spItem;
        ASSERT_EQ(spInspector->get_CurrentItem(&spItem), S_OK);
        CComQIPtr<_MailItem> spMail(spItem);
        ASSERT_TRUE(spMail);
        DWORD dw = 0;
        ASSERT_EQ(AtlAdvise(spInspector, spRecorder->Unk(), InspectorEvents::iid, &dw), S_OK);
        vecTracked.emplace_back(spInspector, dw);
    };
    auto spMail = NewMail();
    ASSERT_EQ(spMail->Display(vtMissing), S_OK);
    EXPECT_EQ(spRecorder->m_vecLog, (Log{"NewInspector", "Activate"}));
    int32_t n = 0;
    spInspectors->get_Count(&n);
    EXPECT_EQ(n, 1);
    CComPtr<_Inspector> spFirst;
    ASSERT_EQ(spInspectors->Item(1, &spFirst), S_OK);
    EXPECT_EQ(spFirst.p, vecTracked.at(0).first.p);
    CComPtr<IDispatch> spItem;
    spFirst->get_CurrentItem(&spItem);
    CComQIPtr<_MailItem> spShown(spItem);
    EXPECT_EQ(spShown.p, spMail.p);
    CComPtr<_Inspector> spNone;
    EXPECT_EQ(spInspectors->Item(2, &spNone), DISP_E_BADINDEX);
    // Displaying again shows the same window.
    spRecorder->m_vecLog.clear();
    ASSERT_EQ(spMail->Display(vtMissing), S_OK);
    spInspectors->get_Count(&n);
    EXPECT_EQ(n, 1);
    EXPECT_TRUE(spRecorder->m_vecLog.empty());
    // A second window: the first is deactivated, the second activated.
    CComPtr<_Inspector> spSecond;
    ASSERT_EQ(m_spApp->OpenNewInspector(&spSecond), S_OK);
    EXPECT_EQ(spRecorder->m_vecLog, (Log{"NewInspector", "Deactivate", "Activate"}));
    EXPECT_EQ(m_spApp->ActiveInspector().p, spSecond.p);
    EXPECT_EQ(m_spApp->OpenInspectors().size(), 2u);
    // Activating the active window again changes nothing; going back does.
    spRecorder->m_vecLog.clear();
    EXPECT_EQ(m_spApp->ActivateInspector(spSecond), S_OK);
    EXPECT_TRUE(spRecorder->m_vecLog.empty());
    EXPECT_EQ(spFirst->Activate(), S_OK);
    EXPECT_EQ(spRecorder->m_vecLog, (Log{"Deactivate", "Activate"}));
    EXPECT_EQ(m_spApp->DeactivateInspector(spFirst), S_OK);
    EXPECT_FALSE(m_spApp->ActiveInspector());
    for (auto& [sp, dw] : vecTracked) EXPECT_EQ(AtlUnadvise(sp, InspectorEvents::iid, dw), S_OK);
    EXPECT_EQ(AtlUnadvise(spInspectors, InspectorsEvents::iid, dwCookie), S_OK);
    EXPECT_EQ(AtlUnadvise(spInspectors, InspectorsEvents::iid, dwCookie), CONNECT_E_NOCONNECTION);
}

TEST_F(ObjectModelTest, CloseDiscardsOrSavesAndRaisesClose) {
    auto spRecorder = MakeComObject<CRecorder>();
    auto spMail = NewMail("Unsaved");
    auto spInspector = Display(spMail);
    DWORD dw = 0;
    ASSERT_EQ(AtlAdvise(spInspector, spRecorder->Unk(), InspectorEvents::iid, &dw), S_OK);
    // The window can still be asked in its Close event.
    spRecorder->m_fnOnClose = [&] {
        CComPtr<IDispatch> spItem;
        EXPECT_EQ(spInspector->get_CurrentItem(&spItem), S_OK);
        EXPECT_TRUE(FAILED(spInspector->Close(olDiscard)));  // no second close from inside
    };
    EXPECT_TRUE(FAILED(spInspector->Close(7)));
    ASSERT_EQ(spInspector->Close(olDiscard), S_OK);
    EXPECT_EQ(spRecorder->m_vecLog, (Log{"Deactivate", "Close"}));
    EXPECT_TRUE(m_backend.Folder(EMailFolder::Drafts).empty());
    EXPECT_TRUE(m_spApp->OpenInspectors().empty());
    EXPECT_FALSE(m_spApp->ActiveInspector());
    CComPtr<IDispatch> spItem;
    EXPECT_TRUE(FAILED(spInspector->get_CurrentItem(&spItem)));
    EXPECT_TRUE(FAILED(spInspector->Close(olDiscard)));
    // Ending the subscription still works on a closed window.
    EXPECT_EQ(AtlUnadvise(spInspector, InspectorEvents::iid, dw), S_OK);
    // Closing with olSave stores the message in Drafts.
    auto spOther = NewMail("Kept");
    auto spOtherInspector = Display(spOther);
    ASSERT_EQ(m_spApp->CloseInspector(spOtherInspector, olSave), S_OK);
    ASSERT_EQ(m_backend.Folder(EMailFolder::Drafts).size(), 1u);
    EXPECT_EQ(m_backend.Folder(EMailFolder::Drafts)[0].strSubject, "Kept");
    // Sending closes the window showing the message.
    auto spSent = NewMail("Sent");
    auto spSentInspector = Display(spSent);
    DWORD dw2 = 0;
    spRecorder->m_fnOnClose = nullptr;
    spRecorder->m_vecLog.clear();
    AtlAdvise(spSentInspector, spRecorder->Unk(), InspectorEvents::iid, &dw2);
    ASSERT_EQ(spSent->Send(), S_OK);
    EXPECT_EQ(spRecorder->m_vecLog, (Log{"Deactivate", "Close"}));
    EXPECT_TRUE(m_spApp->OpenInspectors().empty());
    AtlUnadvise(spSentInspector, InspectorEvents::iid, dw2);
}

}  // namespace
