// Mail items: properties, attachments, templates, deleting and sending.
#include <filesystem>

#include "ObjectModelTest.h"
#include "ReceivedItem.h"

namespace {

// What a collection's Count says; -1 when it fails.
template <class T>
int32_t ItemCount(T* p) {
    int32_t n = -1;
    return SUCCEEDED(p->get_Count(&n)) ? n : -1;
}

TEST_F(ObjectModelTest, MailItemPropertiesSaveAndRecipients) {
    auto spMail = NewMail("Hello", "a@example.org; Bee <b@example.org>");
    bool bSent = true;
    EXPECT_EQ(spMail->get_Sent(&bSent), S_OK);
    EXPECT_FALSE(bSent);
    CComPtr<Recipients> spRecipients;
    ASSERT_EQ(spMail->get_Recipients(&spRecipients), S_OK);
    EXPECT_EQ(ItemCount(spRecipients.p), 2);
    // Cc and Bcc count as well; the collection follows the item.
    spMail->put_To("");
    spMail->put_CC("c@example.org");
    spMail->put_BCC("d@example.org;;  ");
    EXPECT_EQ(ItemCount(spRecipients.p), 2);
    spRecipients->Add("e@example.org");
    EXPECT_EQ(ItemCount(spRecipients.p), 3);
    // Save stores the item in Drafts, again in the same place.
    EXPECT_EQ(spMail->Save(), S_OK);
    EXPECT_EQ(spMail->Save(), S_OK);
    ASSERT_EQ(m_backend.Folder(EMailFolder::Drafts).size(), 1u);
    EXPECT_EQ(m_backend.Folder(EMailFolder::Drafts)[0].vecCc, std::vector<std::string>{"c@example.org"});
    m_backend.m_bFailSaves = true;
    EXPECT_TRUE(FAILED(spMail->Save()));
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
    EXPECT_EQ(ItemCount(spAttachments.p), 2);
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
    EXPECT_TRUE(std::filesystem::exists(strPath));
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

// What the options sheet does with the draft: moves it to Deleted Items and
// deletes it there by a marker subject, past items it cannot read.
TEST_F(ObjectModelTest, DraftIsRemovedThroughDeletedItems) {
    for (const char* psz : {"someone else's", "unreadable"}) {
        CMailMessage other;
        other.strSubject = psz;
        m_backend.Put(EMailFolder::DeletedItems, other);
    }
    auto spMail = NewMail("Draft");
    ASSERT_EQ(spMail->Save(), S_OK);
    const std::string kMarker = "QuilloryMarker-5f1c0e03bfa3594adf96ebe0d4d6816143-Delete!";
    spMail->put_Subject(kMarker);
    CComPtr<_NameSpace> spNS, spNo;
    ASSERT_EQ(m_spApp->GetNamespace("MAPI", &spNS), S_OK);
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
    const int32_t n = ItemCount(spItems.p);
    ASSERT_EQ(n, 3);
    CComPtr<IDispatch> spItem;
    EXPECT_EQ(spItems->Item(0, &spItem), DISP_E_BADINDEX);
    EXPECT_EQ(spItems->Item(n + 1, &spItem), DISP_E_BADINDEX);
    std::vector<std::string> vecSeen;  // from the last, as the sheet deletes
    for (int32_t i = n; i >= 1; --i) {
        CComPtr<IDispatch> spAt;
        std::string strSubject = "(cannot read)";
        CComQIPtr<_MailItem> spAtMail(SUCCEEDED(spItems->Item(i, &spAt)) ? spAt : nullptr);
        if (spAtMail) spAtMail->get_Subject(&strSubject);
        EXPECT_EQ(strSubject == kMarker ? spAtMail->Delete() : S_OK, S_OK);
        vecSeen.push_back(strSubject);
    }
    EXPECT_EQ(vecSeen, (std::vector<std::string>{kMarker, "(cannot read)", "someone else's"}));
    EXPECT_EQ(ItemCount(spItems.p), 2);
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
    EXPECT_EQ(NewMail()->Delete(), S_OK);
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
    EXPECT_TRUE(FAILED(NewMail("x", "")->Send()));
    auto spRefused = NewMail();
    m_backend.m_strNotStored = "cannot write /p/Outbox/tmp/x: No space left on device";
    EXPECT_EQ(spRefused->Send(), kSendNotStoredNow) << "a store that cannot write now: the caller may try again";
    EXPECT_EQ(TakeErrorDescription(), m_backend.m_strNotStored);
    m_backend.m_strNotStored.clear();
    m_backend.m_bFailSubmit = true;
    EXPECT_EQ(spRefused->Send(), E_FAIL);
    // A received message shows as sent.
    CComQIPtr<_MailItem> spIn(PutReceived(m_backend, m_spApp));
    ASSERT_TRUE(spIn);
    bool bSent = false;
    spIn->get_Sent(&bSent);
    EXPECT_TRUE(bSent);
}

TEST_F(ObjectModelTest, HeaderFieldsOfOnesOwnAreKeptAndSentWithANewId) {
    auto spMail = NewMail("Stamped", "a@example.org");
    for (const char* pszBad : {"Subject", "X-", "X-Two words", "X-Colon:", ""})
        EXPECT_EQ(spMail->SetHeader(pszBad, "v"), E_INVALIDARG) << pszBad;
    EXPECT_EQ(spMail->SetHeader("X-Quillory-Task", "line\r\nBcc: smuggled@example.org"), E_INVALIDARG);
    EXPECT_EQ(spMail->SetHeader("X-Quillory-Task", "First name"), S_OK);
    EXPECT_EQ(spMail->SetHeader("x-quillory-task", "Wöchentlich"), S_OK) << "names in any case are one field";
    std::string str = "left over";
    EXPECT_EQ(spMail->GetHeader("X-QUILLORY-TASK", &str), S_OK);
    EXPECT_EQ(str, "Wöchentlich");
    EXPECT_EQ(spMail->GetHeader("X-Other", &str), S_FALSE);
    EXPECT_EQ(str, "");
    EXPECT_EQ(spMail->Send(), S_OK);
    std::string strId;
    EXPECT_EQ(spMail->get_MessageId(&strId), S_OK);
    ASSERT_EQ(m_backend.m_vecSubmitted.size(), 1u);
    EXPECT_EQ(m_backend.m_vecSubmitted[0].strMessageId, strId) << "the id the host gave it";
    EXPECT_FALSE(strId.empty());
    EXPECT_EQ(m_backend.m_vecSubmitted[0].vecHeaders,
              (std::vector<std::pair<std::string, std::string>>{{"x-quillory-task", "Wöchentlich"}}));
}

}  // namespace
