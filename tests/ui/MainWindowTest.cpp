#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTreeWidget>

#include "CUiTestBase.h"
#include "Contains.h"

namespace {

class MainWindowTest : public CUiTestBase {
protected:
    void Store(EMailFolder folder, const std::string& strSubject, const std::string& strTo) {
        CMailMessage msg = Message(strSubject);
        msg.vecTo = {strTo};
        msg.strFrom = "Sam Sender <sam@example.org>";
        std::string strId;
        ASSERT_EQ(m_pHost->SaveToFolder(folder, msg, strId).Problem(), "");
    }
    std::vector<std::string> Column(int nColumn) const {
        std::vector<std::string> vec;
        QTreeWidget* p = m_pWindows->Main().MessageList();
        for (int i = 0; i < p->topLevelItemCount(); ++i) vec.push_back(p->topLevelItem(i)->text(nColumn).toStdString());
        return vec;
    }
};

}  // namespace

TEST_F(MainWindowTest, FoldersCountSortAndReadMessages) {
    StartUi(false);
    Store(EMailFolder::Inbox, "banana", "b@example.com");
    Store(EMailFolder::Inbox, "apple", "c@example.com");
    Store(EMailFolder::Inbox, "cherry", "a@example.com");
    Store(EMailFolder::Drafts, "draft", "d@example.com");
    CMainWindow& main = m_pWindows->Main();
    main.Refresh();
    EXPECT_EQ(main.FolderList()->item(0)->text(), "Inbox (3)");
    EXPECT_EQ(main.FolderList()->item(1)->text(), "Drafts (1)");
    EXPECT_EQ(main.FolderList()->item(2)->text(), "Outbox");
    ASSERT_EQ(main.MessageList()->topLevelItemCount(), 3);

    main.MessageList()->sortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(Column(2), (std::vector<std::string>{"apple", "banana", "cherry"}));
    main.MessageList()->sortByColumn(1, Qt::AscendingOrder);
    EXPECT_EQ(Column(1), (std::vector<std::string>{"a@example.com", "b@example.com", "c@example.com"}));
    EXPECT_FALSE(Column(3)[0].empty()) << "the date column is filled";

    main.MessageList()->setCurrentItem(main.MessageList()->topLevelItem(0));
    QString strPane = main.ReadingPane()->toPlainText();
    EXPECT_NE(strPane.indexOf("cherry"), -1) << strPane.toStdString();
    EXPECT_NE(strPane.indexOf("Body of cherry"), -1) << strPane.toStdString();

    // Delete moves to Deleted Items; there a second delete asks first.
    main.OnDelete();
    EXPECT_EQ(main.FolderList()->item(0)->text(), "Inbox (2)");
    EXPECT_EQ(main.FolderList()->item(4)->text(), "Deleted Items (1)");
    main.FolderList()->setCurrentRow(4);
    ASSERT_EQ(main.CurrentFolder(), EMailFolder::DeletedItems);
    main.MessageList()->setCurrentItem(main.MessageList()->topLevelItem(0));
    m_boxes.Expect(QMessageBox::No);
    main.OnDelete();
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::DeletedItems).size(), 1u);
    m_boxes.Expect(QMessageBox::Yes);
    main.OnDelete();
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::DeletedItems).empty());
    EXPECT_EQ(main.FolderList()->item(4)->text(), "Deleted Items");
}

TEST_F(MainWindowTest, StatusBarShowsAFailedDeliveryWithTheServersReason) {
    StartUi(true, {.vecRefuse = {"nobody@example.com"}});
    CMainWindow& main = m_pWindows->Main();
    CInspectorWindow* pWindow = ClickNew();
    ASSERT_TRUE(pWindow);
    pWindow->ToField()->setText("nobody@example.com");
    pWindow->SubjectField()->setText("Refused");
    pWindow->SendAction()->trigger();
    Process();
    ASSERT_TRUE(WaitForUi([&] { return main.statusBar()->currentMessage().contains("550"); }))
        << main.statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(main.statusBar()->currentMessage().startsWith("Sending failed: "));
    EXPECT_EQ(main.DeliveryLabel()->text(), "Outbox: 1 failed");
    main.ShowFolder(EMailFolder::Outbox);
    ASSERT_EQ(main.MessageList()->topLevelItemCount(), 1);
    std::string strState = main.MessageList()->topLevelItem(0)->text(4).toStdString();
    EXPECT_EQ(strState.rfind("Failed: ", 0), 0u) << strState;
    EXPECT_TRUE(Contains(strState, "no such user here"));
    // Where the user reads the failure, the way out is said.
    EXPECT_EQ(main.MessageList()->topLevelItem(0)->toolTip(0).toStdString(),
              std::string("To send it again: ") + CMainWindow::kFixHint);
    main.MessageList()->setCurrentItem(main.MessageList()->topLevelItem(0));
    EXPECT_TRUE(main.ReadingPane()->toPlainText().contains(CMainWindow::kFixHint))
        << main.ReadingPane()->toPlainText().toStdString();

    // Found again from the tray's Recent Problems, with the window hidden.
    main.ShowFolder(EMailFolder::Inbox);
    main.hide();
    main.ShowProblems();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.CurrentFolder(), EMailFolder::Outbox);
    ASSERT_EQ(main.MessageList()->topLevelItemCount(), 1);
    // Not a dead end: No leaves it; Yes takes it to Drafts and opens it there
    // to be corrected and sent again.
    main.MessageList()->setCurrentItem(main.MessageList()->topLevelItem(0));
    m_boxes.Expect(QMessageBox::No);
    main.OnOpenSelected();
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Outbox).size(), 1u);
    m_boxes.Expect(QMessageBox::Yes);
    main.OnOpenSelected();
    Process();
    EXPECT_TRUE(Contains(m_boxes.Seen().back().strText, "no such user here"));
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Outbox).empty());
    ASSERT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), 1u);
    CComPtr<_Inspector> spOpen = m_spApp->ActiveInspector();
    ASSERT_TRUE(spOpen) << "the message is open for correcting";
    CInspectorWindow* pAgain = m_pWindows->WindowOf(spOpen);
    ASSERT_TRUE(pAgain);
    EXPECT_EQ(pAgain->SubjectField()->text(), "Refused");
    EXPECT_FALSE(pAgain->IsReadOnly());
    EXPECT_EQ(main.DeliveryLabel()->text(), "Outbox: nothing waiting");

    // Corrected and sent again: it arrives, and leaves no draft behind.
    pAgain->ToField()->setText("rita@example.com");
    pAgain->SendAction()->trigger();
    ASSERT_TRUE(WaitUntil([&] { return m_server.Received().size() == 1; }));
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty());
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::SentItems).size(), 1u);
}
