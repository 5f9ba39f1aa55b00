// Writing a message in its window, the checks on its addresses, and its drafts.
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "CAddressList.h"
#include "CUiTestBase.h"
#include "Contains.h"

namespace {

class ComposeTest : public CUiTestBase {};

using Vec = std::vector<std::string>;

// As typed on a keyboard; a newline is the Return key.
void Type(QWidget* p, const char* psz) {
    QStringList lines = QString::fromUtf8(psz).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i) QTest::keyClick(p, Qt::Key_Return);
        QTest::keyClicks(p, lines[i]);
    }
}

}  // namespace

TEST_F(ComposeTest, MessageTypedInTheWindowArrivesAtTheServer) {
    StartUi();
    CInspectorWindow* pWindow = ClickNew();
    ASSERT_TRUE(pWindow);
    EXPECT_TRUE(pWindow->isVisible());
    Type(pWindow->ToField(), "Rita Receiver <rita@example.com>, \"Doe, John\" <john@example.com>");
    Type(pWindow->CcField(), "carl@example.com");
    Type(pWindow->BccField(), "hidden@example.com");
    Type(pWindow->SubjectField(), "Quarterly report");
    Type(pWindow->BodyField(), "Hello Rita,\nthe figures are attached.\n");
    CTempDir::WriteFile(m_dir / "figures.csv", "q,value\n1,42\n");
    CTempDir::WriteFile(m_dir / "wrong.txt", "not this one");
    pWindow->AddAttachmentFiles(
        {QString::fromStdString(m_dir / "figures.csv"), QString::fromStdString(m_dir / "wrong.txt")});
    ASSERT_EQ(pWindow->AttachmentList()->count(), 2);
    pWindow->AttachmentList()->item(1)->setSelected(true);
    pWindow->RemoveSelectedAttachments();
    ASSERT_EQ(pWindow->AttachmentList()->count(), 1);

    pWindow->SendAction()->trigger();
    Process();
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u) << "the window closes once the message is in the Outbox";
    ASSERT_TRUE(m_server.WaitForCount(1, std::chrono::seconds(30)));
    auto vec = m_server.Received();
    ASSERT_EQ(vec.size(), 1u);
    std::vector<std::string> vecRcpt = vec[0].vecRcpt;
    std::sort(vecRcpt.begin(), vecRcpt.end());
    EXPECT_EQ(vecRcpt, (std::vector<std::string>{"carl@example.com", "hidden@example.com", "john@example.com",
                                                 "rita@example.com"}));
    const std::string& str = vec[0].strData;
    EXPECT_TRUE(Contains(str, "Subject: Quarterly report"));
    EXPECT_TRUE(Contains(str, "the figures are attached."));
    EXPECT_TRUE(Contains(str, "figures.csv"));
    EXPECT_FALSE(Contains(str, "wrong.txt")) << "a removed attachment went out";
    EXPECT_TRUE(WaitUntil([&] { return m_pWindows->Main().FolderList()->item(3)->text() == "Sent Items (1)"; }));
}

TEST_F(ComposeTest, BadAddressesAreNamedAndNothingIsStoredOrSent) {
    StartUi();
    CInspectorWindow* pWindow = ClickNew();
    ASSERT_TRUE(pWindow);
    Type(pWindow->ToField(), "rita@example.com");
    Type(pWindow->CcField(), "ok@example.com; bob@");
    Type(pWindow->SubjectField(), "Hello");
    m_boxes.Expect(QMessageBox::Ok);
    pWindow->SendAction()->trigger();
    Process();
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    const auto& seen = m_boxes.Seen()[0];
    EXPECT_EQ(seen.strText,
              "\"bob@\" in the Cc field is not a valid e-mail address. Please correct it (for example "
              "name@example.org or Name <name@example.org>).");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.strTitle, "Mail Host");
    EXPECT_TRUE(pWindow->CcField()->hasFocus() || !pWindow->isActiveWindow());
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 1u);
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Outbox).empty());

    // Saving checks the same way: a draft with a broken address is refused.
    m_boxes.Expect(QMessageBox::Ok);
    EXPECT_FALSE(pWindow->OnSave());
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty());

    pWindow->CcField()->clear();
    pWindow->ToField()->clear();
    m_boxes.Expect(QMessageBox::Ok);
    pWindow->SendAction()->trigger();
    Process();
    ASSERT_EQ(m_boxes.Seen().size(), 3u);
    EXPECT_EQ(m_boxes.Seen()[2].strText, "Please enter at least one recipient in To, Cc or Bcc.");
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Outbox).empty());
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 1u);
}

TEST_F(ComposeTest, ClosingAskingSavingInPlaceAndStoppingKeepEveryDraft) {
    StartUi(false);
    CInspectorWindow* pWindow = ClickNew();
    ASSERT_TRUE(pWindow);
    // Untouched: closes without a question and without a draft.
    pWindow->CloseAction()->trigger();
    Process();
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u);
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty());

    pWindow = ClickNew();
    Type(pWindow->SubjectField(), "Draft one");
    m_boxes.Expect(QMessageBox::Cancel);
    pWindow->close();  // the title bar's close button
    Process();
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 1u) << "Cancel keeps the window";
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_EQ(m_boxes.Seen()[0].strText, "Do you want to save the changes to \"Draft one\" in Drafts?");
    EXPECT_EQ(m_boxes.Seen()[0].icon, QMessageBox::Question);

    m_boxes.Expect(QMessageBox::Yes);
    pWindow->close();
    Process();
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u);
    ASSERT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), 1u);

    pWindow = ClickNew();
    Type(pWindow->SubjectField(), "Thrown away");
    m_boxes.Expect(QMessageBox::No);
    pWindow->CloseAction()->trigger();
    Process();
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u);
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), 1u);

    // A draft opened from the list is saved in place.
    pWindow = ClickNew();
    Type(pWindow->ToField(), "rita@example.com");
    Type(pWindow->SubjectField(), "First version");
    ASSERT_TRUE(pWindow->OnSave());
    pWindow->CloseAction()->trigger();
    Process();

    CMainWindow& main = m_pWindows->Main();
    main.ShowFolder(EMailFolder::Drafts);
    ASSERT_EQ(main.MessageList()->topLevelItemCount(), 2);
    main.MessageList()->sortByColumn(2, Qt::AscendingOrder);
    ASSERT_EQ(main.MessageList()->topLevelItem(1)->text(2), "First version");
    main.MessageList()->setCurrentItem(main.MessageList()->topLevelItem(1));
    main.OnOpenSelected();
    Process();
    pWindow = m_pWindows->WindowOf(m_spApp->ActiveInspector());
    ASSERT_TRUE(pWindow);
    EXPECT_EQ(pWindow->SubjectField()->text(), "First version");
    EXPECT_EQ(pWindow->ToField()->text(), "rita@example.com");
    pWindow->SubjectField()->setText("Second version");
    ASSERT_TRUE(pWindow->OnSave());
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), 2u) << "the draft is replaced, not copied";
    main.MessageList()->sortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(main.MessageList()->topLevelItem(1)->text(2), "Second version");
    pWindow->CloseAction()->trigger();
    Process();

    // Stopping the host keeps unsaved text in Drafts.
    pWindow = ClickNew();
    Type(pWindow->ToField(), "half@");
    Type(pWindow->SubjectField(), "Unfinished");
    Type(pWindow->BodyField(), "Words worth keeping");
    m_pWindows->SaveEditedDrafts();
    std::vector<std::string> vecSubjects;
    CMailMessage msg, unfinished;
    for (const auto& strId : m_pHost->ListFolder(EMailFolder::Drafts)) {
        ASSERT_EQ(m_pHost->LoadFromFolder(EMailFolder::Drafts, strId, msg).Problem(), "");
        vecSubjects.push_back(msg.strSubject);
        if (msg.strSubject == "Unfinished") unfinished = msg;
    }
    std::sort(vecSubjects.begin(), vecSubjects.end());
    EXPECT_EQ(vecSubjects, (std::vector<std::string>{"Draft one", "Second version", "Unfinished"}));
    // The address could not be stored as one; it is kept in the text.
    EXPECT_TRUE(Contains(unfinished.strBody, "To: half@"));
    EXPECT_TRUE(Contains(unfinished.strBody, "Words worth keeping"));
}

TEST(AddressList, SplitsOnSemicolonsAndCommasOutsideNamesAndBrackets) {
    EXPECT_EQ(CAddressList::Split(" a@x.org; b@x.org ,c@x.org;; "), (Vec{"a@x.org", "b@x.org", "c@x.org"}));
    EXPECT_EQ(CAddressList::Split("\"Doe, John\" <j@x.org>, \"Say \\\"hi\\\", ok\" <h@x.org>"),
              (Vec{"\"Doe, John\" <j@x.org>", "\"Say \\\"hi\\\", ok\" <h@x.org>"}));
    EXPECT_EQ(CAddressList::Split("<odd,one@x.org>"), (Vec{"<odd,one@x.org>"}));
    EXPECT_TRUE(CAddressList::Split("  ;, ").empty());
    EXPECT_EQ(CAddressList::Join({"a@x.org", "B <b@x.org>"}), "a@x.org; B <b@x.org>");
}

TEST(AddressList, CheckNamesTheFieldAndTheFirstBadEntry) {
    EXPECT_EQ(CAddressList::Check("", "To").Problem(), "");
    EXPECT_EQ(CAddressList::Check("Zoë <zoe@example.org>; a@b.org", "To").Problem(), "");
    for (const char* psz : {"bob@", "@example.org", "plain words", "a@b.org; <broken"}) {
        std::string str = CAddressList::Check(psz, "Bcc").Problem();
        EXPECT_TRUE(Contains(str, "in the Bcc field is not a valid e-mail address")) << psz << ": " << str;
    }
}
