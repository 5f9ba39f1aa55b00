#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CApplication.h"
#include "CEventRecorder.h"
#include "CMemoryMailBackend.h"
#include "ReceivedItem.h"

namespace fs = std::filesystem;

namespace {

using Log = std::vector<std::string>;

class ObjectModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_nBaseline = CComModule::ObjectCount();
        m_spApp = CApplication::Create(m_backend);
        char tmpl[] = "/tmp/quillory-om-XXXXXX";
        m_dir = mkdtemp(tmpl);
    }
    void TearDown() override {
        m_spApp = nullptr;
        fs::remove_all(m_dir);
        EXPECT_EQ(CComModule::ObjectCount(), m_nBaseline) << "objects leaked";
    }

    CComPtr<_MailItem> NewMail(const std::string& strSubject = "Subject", const std::string& strTo = "a@example.org") {
        CComPtr<IDispatch> spItem;
        EXPECT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
        CComQIPtr<_MailItem> spMail(spItem);
        EXPECT_TRUE(spMail);
        spMail->put_Subject(strSubject);
        spMail->put_Body("Body text");
        spMail->put_To(strTo);
        return spMail;
    }
    CComPtr<_Inspector> Display(_MailItem* pMail) {
        EXPECT_EQ(pMail->Display(vtMissing), S_OK);
        CComPtr<_Inspector> sp = m_spApp->ActiveInspector();
        EXPECT_TRUE(sp);
        return sp;
    }
    CComPtr<_CommandBarButton> AddButton(_CommandBars* pBars, const std::string& strBar, const std::string& strTag) {
        CComPtr<CommandBar> spBar;
        EXPECT_EQ(pBars->Add(strBar, msoBarTop, vtMissing, true, &spBar), S_OK);
        CComPtr<CommandBarControls> spControls;
        EXPECT_EQ(spBar->get_Controls(&spControls), S_OK);
        CComPtr<CommandBarControl> spControl;
        EXPECT_EQ(spControls->Add(msoControlButton, vtMissing, vtMissing, vtMissing, true, &spControl), S_OK);
        CComPtr<_CommandBarButton> spButton;
        EXPECT_EQ(spControl.QueryInterface(&spButton), S_OK);
        spButton->put_Tag(strTag);
        spBar->put_Visible(true);
        return spButton;
    }
    std::string WriteFile(const char* pszName, const std::string& strData) {
        std::string strPath = (m_dir / pszName).string();
        std::ofstream(strPath, std::ios::binary) << strData;
        return strPath;
    }

    long m_nBaseline = 0;
    CMemoryMailBackend m_backend;
    CComPtr<CApplication> m_spApp;
    fs::path m_dir;
};

TEST_F(ObjectModelTest, ApplicationAnswersItsInterfaceIds) {
    CComPtr<_Application> spApp;
    ASSERT_EQ(m_spApp->GetUnknown()->QueryInterface(MakeGuid("{00063001-0000-0000-C000-000000000046}"),
                                                     reinterpret_cast<void**>(&spApp)),
              S_OK);
    CComPtr<IDispatch> spDisp;
    EXPECT_EQ(spApp.QueryInterface(&spDisp), S_OK);
    CComPtr<_MailItem> spNo;
    EXPECT_EQ(spApp.QueryInterface(&spNo), E_NOINTERFACE);
    EXPECT_EQ(_Inspector::iid.ToString(), "{00063005-0000-0000-C000-000000000046}");
    EXPECT_EQ(_MailItem::iid.ToString(), "{00063034-0000-0000-C000-000000000046}");
    EXPECT_EQ(_CommandBarButton::iid.ToString(), "{000C030E-0000-0000-C000-000000000046}");
    EXPECT_EQ(_CommandBarButtonEvents::iid.ToString(), "{000C0351-0000-0000-C000-000000000046}");
    EXPECT_EQ(InspectorsEvents::iid.ToString(), "{00063079-0000-0000-C000-000000000046}");
    EXPECT_EQ(InspectorEvents::iid.ToString(), "{0006307D-0000-0000-C000-000000000046}");
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

TEST_F(ObjectModelTest, MailItemPropertiesSaveAndRecipients) {
    auto spMail = NewMail("Hello", "a@example.org; Bee <b@example.org>");
    bool bSent = true;
    EXPECT_EQ(spMail->get_Sent(&bSent), S_OK);
    EXPECT_FALSE(bSent);
    std::string str;
    spMail->get_Subject(&str);
    EXPECT_EQ(str, "Hello");
    spMail->get_Body(&str);
    EXPECT_EQ(str, "Body text");
    spMail->get_To(&str);
    EXPECT_EQ(str, "a@example.org; Bee <b@example.org>");
    CComPtr<Recipients> spRecipients;
    ASSERT_EQ(spMail->get_Recipients(&spRecipients), S_OK);
    int32_t n = 0;
    spRecipients->get_Count(&n);
    EXPECT_EQ(n, 2);
    // Cc and Bcc count as well; the collection follows the item.
    spMail->put_To("");
    spMail->put_CC("c@example.org");
    spMail->put_BCC("d@example.org;;  ");
    spRecipients->get_Count(&n);
    EXPECT_EQ(n, 2);
    spRecipients->Add("e@example.org");
    spRecipients->get_Count(&n);
    EXPECT_EQ(n, 3);
    // Save stores the item in Drafts, again in the same place.
    EXPECT_EQ(spMail->Save(), S_OK);
    EXPECT_EQ(spMail->Save(), S_OK);
    ASSERT_EQ(m_backend.Folder(EMailFolder::Drafts).size(), 1u);
    EXPECT_EQ(m_backend.Folder(EMailFolder::Drafts)[0].vecCc, std::vector<std::string>{"c@example.org"});
    m_backend.m_bFailSaves = true;
    EXPECT_TRUE(FAILED(spMail->Save()));
    bool bDelete = true;
    EXPECT_EQ(spMail->put_DeleteAfterSubmit(false), S_OK);
    spMail->get_DeleteAfterSubmit(&bDelete);
    EXPECT_FALSE(bDelete);
}

TEST_F(ObjectModelTest, AttachmentsCopyTheFileAtCallTime) {
    auto spMail = NewMail();
    CComPtr<Attachments> spAttachments;
    ASSERT_EQ(spMail->get_Attachments(&spAttachments), S_OK);
    std::string strPath = WriteFile("report.txt", "first");
    EXPECT_EQ(spAttachments->Add(strPath, olByValue, vtMissing, vtMissing), S_OK);
    WriteFile("report.txt", "changed later");
    EXPECT_EQ(spAttachments->Add(strPath, vtMissing, vtMissing, "Shown.txt"), S_OK);
    EXPECT_TRUE(FAILED(spAttachments->Add((m_dir / "missing.txt").string(), olByValue, vtMissing, vtMissing)));
    EXPECT_TRUE(FAILED(spAttachments->Add(m_dir.string(), olByValue, vtMissing, vtMissing)));  // a folder
    EXPECT_TRUE(FAILED(spAttachments->Add(strPath, olByReference, vtMissing, vtMissing)));
    EXPECT_TRUE(FAILED(spAttachments->Add(vtMissing, olByValue, vtMissing, vtMissing)));
    int32_t n = 0;
    spAttachments->get_Count(&n);
    EXPECT_EQ(n, 2);
    std::string strName;
    spAttachments->get_FileName(1, &strName);
    EXPECT_EQ(strName, "report.txt");
    spAttachments->get_FileName(2, &strName);
    EXPECT_EQ(strName, "Shown.txt");
    EXPECT_EQ(spAttachments->get_FileName(3, &strName), DISP_E_BADINDEX);
    ASSERT_EQ(spMail->Send(), S_OK);
    ASSERT_EQ(m_backend.m_vecSubmitted.size(), 1u);
    const auto& vecAtt = m_backend.m_vecSubmitted[0].vecAttachments;
    ASSERT_EQ(vecAtt.size(), 2u);
    EXPECT_EQ(std::string(vecAtt[0].vecData.begin(), vecAtt[0].vecData.end()), "first");
    EXPECT_EQ(vecAtt[0].strContentType, "text/plain");
    EXPECT_EQ(std::string(vecAtt[1].vecData.begin(), vecAtt[1].vecData.end()), "changed later");
}

TEST_F(ObjectModelTest, TemplatesSaveAndCreateItems) {
    auto spMail = NewMail("From a template");
    std::string strPath = (m_dir / "Weekly report sales 20130507090503.oft").string();
    EXPECT_EQ(spMail->SaveAs(strPath, olTemplate), S_OK);
    EXPECT_TRUE(fs::exists(strPath));
    EXPECT_TRUE(FAILED(spMail->SaveAs(strPath, olMSG)));
    EXPECT_TRUE(FAILED(spMail->SaveAs(strPath, vtMissing)));
    m_backend.m_bFailTemplates = true;
    EXPECT_TRUE(FAILED(spMail->SaveAs(strPath, olTemplate)));
    m_backend.m_bFailTemplates = false;

    CComPtr<IDispatch> spItem;
    ASSERT_EQ(m_spApp->CreateItemFromTemplate(strPath, vtMissing, &spItem), S_OK);
    CComQIPtr<_MailItem> spCopy(spItem);
    ASSERT_TRUE(spCopy);
    EXPECT_NE(spCopy.p, spMail.p);
    std::string str;
    spCopy->get_Subject(&str);
    EXPECT_EQ(str, "From a template");
    bool bSent = true;
    spCopy->get_Sent(&bSent);
    EXPECT_FALSE(bSent);
    // A missing template is a failure with no item.
    spItem = nullptr;
    EXPECT_TRUE(FAILED(m_spApp->CreateItemFromTemplate((m_dir / "none.oft").string(), vtMissing, &spItem)));
    EXPECT_FALSE(spItem);
    EXPECT_TRUE(FAILED(m_spApp->CreateItemFromTemplate("", vtMissing, &spItem)));
}

TEST_F(ObjectModelTest, DraftIsRemovedThroughDeletedItems) {
    // What the options sheet does with the draft.
    CMailMessage other;
    other.strSubject = "someone else's";
    m_backend.Put(EMailFolder::DeletedItems, other);
    CMailMessage damaged;
    damaged.strSubject = "unreadable";
    m_backend.Put(EMailFolder::DeletedItems, damaged);
    auto spMail = NewMail("Draft");
    ASSERT_EQ(spMail->Save(), S_OK);
    const std::string kMarker = "QuilloryMarker-5f1c0e03bfa3594adf96ebe0d4d6816143-Delete!";
    spMail->put_Subject(kMarker);
    CComPtr<_NameSpace> spNS;
    ASSERT_EQ(m_spApp->GetNamespace("MAPI", &spNS), S_OK);
    CComPtr<_NameSpace> spNo;
    EXPECT_TRUE(FAILED(m_spApp->GetNamespace("IMAP", &spNo)));
    CComPtr<MAPIFolder> spFolder;
    ASSERT_EQ(spNS->GetDefaultFolder(olFolderDeletedItems, &spFolder), S_OK);
    std::string strName;
    spFolder->get_Name(&strName);
    EXPECT_EQ(strName, "Deleted Items");
    ASSERT_EQ(spMail->Move(spFolder, nullptr), S_OK);
    EXPECT_TRUE(m_backend.Folder(EMailFolder::Drafts).empty());
    CComPtr<_Items> spItems;
    ASSERT_EQ(spFolder->get_Items(&spItems), S_OK);
    int32_t n = 0;
    spItems->get_Count(&n);
    ASSERT_EQ(n, 3);
    CComPtr<IDispatch> spItem;
    EXPECT_EQ(spItems->Item(0, &spItem), DISP_E_BADINDEX);
    EXPECT_EQ(spItems->Item(n + 1, &spItem), DISP_E_BADINDEX);
    int nDeleted = 0, nUnreadable = 0;
    for (int32_t i = n; i >= 1; --i) {
        CComPtr<IDispatch> spAt;
        if (FAILED(spItems->Item(i, &spAt)) || !spAt) {
            ++nUnreadable;
            continue;
        }
        CComQIPtr<_MailItem> spAtMail(spAt);
        std::string strSubject;
        if (spAtMail && SUCCEEDED(spAtMail->get_Subject(&strSubject)) && strSubject == kMarker) {
            EXPECT_EQ(spAtMail->Delete(), S_OK);
            ++nDeleted;
        }
    }
    EXPECT_EQ(nDeleted, 1);
    EXPECT_EQ(nUnreadable, 1);
    spItems->get_Count(&n);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(m_backend.Folder(EMailFolder::DeletedItems)[0].strSubject, "someone else's");
}

TEST_F(ObjectModelTest, DeleteMovesToDeletedItemsThenRemoves) {
    auto spMail = NewMail("Bye");
    ASSERT_EQ(spMail->Save(), S_OK);
    ASSERT_EQ(spMail->Delete(), S_OK);
    EXPECT_TRUE(m_backend.Folder(EMailFolder::Drafts).empty());
    ASSERT_EQ(m_backend.Folder(EMailFolder::DeletedItems).size(), 1u);
    ASSERT_EQ(spMail->Delete(), S_OK);
    EXPECT_TRUE(m_backend.Folder(EMailFolder::DeletedItems).empty());
    EXPECT_TRUE(FAILED(spMail->Delete()));
    EXPECT_TRUE(FAILED(spMail->Save()));
    EXPECT_TRUE(FAILED(spMail->Display(vtMissing)));
    // An item never saved is simply dropped.
    auto spNew = NewMail();
    EXPECT_EQ(spNew->Delete(), S_OK);
    EXPECT_TRUE(m_backend.Folder(EMailFolder::DeletedItems).empty());
}

TEST_F(ObjectModelTest, SendQueuesOnceAndRemovesTheDraft) {
    auto spMail = NewMail("Go");
    spMail->put_BCC("hidden@example.org");
    ASSERT_EQ(spMail->Save(), S_OK);
    ASSERT_EQ(spMail->Send(), S_OK);
    ASSERT_EQ(m_backend.m_vecSubmitted.size(), 1u);
    EXPECT_EQ(m_backend.m_vecSubmitted[0].strSubject, "Go");
    EXPECT_EQ(m_backend.m_vecSubmitted[0].vecBcc, std::vector<std::string>{"hidden@example.org"});
    EXPECT_TRUE(m_backend.Folder(EMailFolder::Drafts).empty());
    EXPECT_TRUE(FAILED(spMail->Send()));
    EXPECT_EQ(m_backend.m_vecSubmitted.size(), 1u);
    // No recipient, or a refusing outbox: a failure.
    auto spNobody = NewMail("x", "");
    EXPECT_TRUE(FAILED(spNobody->Send()));
    auto spRefused = NewMail();
    m_backend.m_bFailSubmit = true;
    EXPECT_TRUE(FAILED(spRefused->Send()));
    // A received message cannot be sent again.
    CComPtr<IDispatch> spItem = PutReceived(m_backend, m_spApp);
    ASSERT_TRUE(spItem);
    CComQIPtr<_MailItem> spIn(spItem);
    bool bSent = false;
    spIn->get_Sent(&bSent);
    EXPECT_TRUE(bSent);
}

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
    std::string str;
    spButton->get_Caption(&str);
    EXPECT_EQ(str, "Quillory Options");
    int32_t n = 0;
    spButton->get_Style(&n);
    EXPECT_EQ(n, msoButtonCaption);
    spButton->get_Enabled(&b);
    EXPECT_TRUE(b);
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
    CComPtr<_CommandBars> spBars1;
    spFirstWindow->get_CommandBars(&spBars1);
    auto spButton1 = AddButton(spBars1, "Quillory", "Quillory Options");
    auto spSecondWindow = Display(NewMail("two"));
    CComPtr<_CommandBars> spBars2;
    spSecondWindow->get_CommandBars(&spBars2);
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
    // The add-in's main toolbar.
    auto spButton = AddButton(spBars, "Quillory", "Quillory");
    auto spRecorder = MakeComObject<CRecorder>();
    DWORD dw = 0;
    ASSERT_EQ(AtlAdvise(spButton, spRecorder->Unk(), _CommandBarButtonEvents::iid, &dw), S_OK);
    ASSERT_EQ(spButton->Execute(), S_OK);
    EXPECT_EQ(spRecorder->m_vecLog, Log{"Click"});
    EXPECT_EQ(m_spApp->CommandBarsOf(spExplorer).size(), 2u);
    AtlUnadvise(spButton, _CommandBarButtonEvents::iid, dw);
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
    CComPtr<_CommandBars> spBars;
    spInspector->get_CommandBars(&spBars);
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
    CComPtr<_CommandBars> spBars;
    spInspector->get_CommandBars(&spBars);
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

TEST_F(ObjectModelTest, SubscribersMayUnadviseInsideHostEvents) {
    auto spInspector = Display(NewMail());
    CComPtr<_CommandBars> spBars;
    spInspector->get_CommandBars(&spBars);
    auto spButton = AddButton(spBars, "Quillory", "Quillory Options");
    auto spA = MakeComObject<CRecorder>();
    auto spB = MakeComObject<CRecorder>();
    DWORD dwA = 0, dwB = 0, dwClose = 0;
    AtlAdvise(spButton, spA->Unk(), _CommandBarButtonEvents::iid, &dwA);
    AtlAdvise(spButton, spB->Unk(), _CommandBarButtonEvents::iid, &dwB);
    // A ends both subscriptions in its Click: B is not called for this click.
    spA->m_bCancel = true;
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
    AtlUnadvise(spButton, _CommandBarButtonEvents::iid, dwA);
    AtlUnadvise(spButton, _CommandBarButtonEvents::iid, dwB);
    AtlAdvise(spButton, spU->Unk(), _CommandBarButtonEvents::iid, &dwA);
    AtlAdvise(spButton, spB->Unk(), _CommandBarButtonEvents::iid, &dwB);
    spU->spSource = spButton;
    spU->dwFirst = dwA;
    spU->dwSecond = dwB;
    ASSERT_EQ(spButton->Execute(), S_OK);
    EXPECT_EQ(spU->m_vecLog, Log{"Click"});
    EXPECT_TRUE(spB->m_vecLog.empty());
    spU->spSource = nullptr;
    // A window's subscriber that unadvises itself in Close.
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
    CComPtr<_CommandBars> spBars;
    spExplorer->get_CommandBars(&spBars);
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
