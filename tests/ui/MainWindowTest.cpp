// The main window's folders, messages, status bar and message boxes.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTreeWidget>

#include "CBoxAnswerer.h"
#include "CHostMessage.h"
#include "CMessageBox.h"
#include "CQtMessageBox.h"
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
    // How far a box's centre lies from its window's.
    static int OffCentre(const CBoxAnswerer::CSeen& seen, const QWidget& window) {
        return (seen.rcFrame.center() - window.frameGeometry().center()).manhattanLength();
    }
    std::vector<std::string> Column(int nColumn) const {
        std::vector<std::string> vec;
        QTreeWidget* p = m_pWindows->Main().MessageList();
        for (int i = 0; i < p->topLevelItemCount(); ++i) vec.push_back(p->topLevelItem(i)->text(nColumn).toStdString());
        return vec;
    }
};

}  // namespace

TEST_F(MainWindowTest, FoldersCountSortAndReadMessagesAndBoxesOpenOverTheirWindow) {
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

    // Boxes open centred over their window, or else over the main window.
    m_boxes.Clear();
    main.setGeometry(30, 20, 560, 420);  // away from the screen's centre, and on it
    Process();
    // The host's own message that names no window, as at start-up.
    m_boxes.Expect(QMessageBox::Ok);
    CHostMessage::Error(nullptr, "The accounts file could not be read.");
    // The add-in's box while another window of the host is in front.
    QWidget other;
    other.setGeometry(300, 260, 480, 320);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    m_boxes.Expect(QMessageBox::Ok);
    (void)CMessageBox::Show("Please enter a subject into the email.", "Quillory",
                            CMessageBox::MB_OK | CMessageBox::MB_ICONWARNING);  // only OK
    // The add-in's box when no window is active (its timer, the tray).
    other.hide();
    QApplication::setActiveWindow(nullptr);
    Process();
    m_boxes.Expect(QMessageBox::Ok);
    (void)CMessageBox::Show("The task list could not be saved.", "Quillory",
                            CMessageBox::MB_OK | CMessageBox::MB_ICONERROR);  // only OK
    ASSERT_EQ(m_boxes.Seen().size(), 3u);
    EXPECT_EQ(m_boxes.Seen()[0].pOwner, &main);
    EXPECT_LE(OffCentre(m_boxes.Seen()[0], main), 2);
    EXPECT_EQ(m_boxes.Seen()[1].pOwner, &other);
    EXPECT_LE(OffCentre(m_boxes.Seen()[1], other), 2);
    EXPECT_EQ(m_boxes.Seen()[2].pOwner, &main);
    EXPECT_LE(OffCentre(m_boxes.Seen()[2], main), 2);
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
    // The move to Sent Items follows the server's reply, so both are awaited.
    ASSERT_TRUE(WaitUntil(
        [&] { return m_server.Received().size() == 1 && m_pHost->ListFolder(EMailFolder::SentItems).size() == 1; }));
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty());
}

using namespace CMessageBox;

TEST(QtMessageBox, IconsAndButtonsFollowTheFlags) {
    struct {
        unsigned nFlags;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton def;
    } const kCases[] = {
        {MB_OK | MB_ICONWARNING, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok},
        {MB_OK | MB_ICONERROR, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok},
        {MB_OK | MB_ICONINFORMATION, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
        {MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::No},
    };
    for (const auto& c : kCases) {
        auto pBox = CQtMessageBox::Build("Text\n\nMore", "Quillory", c.nFlags, nullptr);
        EXPECT_EQ(pBox->windowTitle(), "Quillory");
        EXPECT_EQ(pBox->text(), "Text\n\nMore");
        EXPECT_EQ(pBox->icon(), c.icon) << c.nFlags;
        EXPECT_EQ(pBox->standardButtons(), c.buttons) << c.nFlags;
        EXPECT_EQ(pBox->standardButton(static_cast<QAbstractButton*>(pBox->defaultButton())), c.def) << c.nFlags;
    }
}

TEST(QtMessageBox, ShowThroughTheAddInsLayerReturnsThePressedButton) {
    CQtMessageBox::Install();
    CBoxAnswerer boxes;
    boxes.Expect(QMessageBox::Yes);
    EXPECT_EQ(Show("Remove the task?", "Quillory", MB_YESNO | MB_ICONQUESTION), IDYES);
    boxes.Expect(QMessageBox::No);
    EXPECT_EQ(Show("Remove the task?", "Quillory", MB_YESNO | MB_ICONQUESTION), IDNO);
    // Dismissing a question never agrees.
    boxes.Expect(CBoxAnswerer::kEscape);
    EXPECT_EQ(Show("Remove the task?", "Quillory", MB_YESNO | MB_ICONQUESTION), IDNO);
    boxes.Expect(QMessageBox::Ok);
    EXPECT_EQ(Show("Please enter a subject into the email.", "Quillory", MB_OK | MB_ICONWARNING), IDOK);
    ASSERT_EQ(boxes.Seen().size(), 4u);
    EXPECT_EQ(boxes.Seen()[3].strText, "Please enter a subject into the email.");
    EXPECT_EQ(boxes.Seen()[3].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.Seen()[3].strTitle, "Quillory");
    CQtMessageBox::Uninstall();
    // Without the handler the logging default answers on its own.
    EXPECT_EQ(Show("x", "Quillory", MB_YESNO | MB_DEFBUTTON2), IDNO);
}
