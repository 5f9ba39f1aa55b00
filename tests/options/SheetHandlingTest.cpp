// How the sheet handles as a window: keys, focus, size, placement and the
// marks in its attachment list, driven with real key and focus events.
#include <QPointer>
#include <QWindow>
#include <algorithm>

#include "COptionsTestBase.h"

using namespace COptionsIds;

namespace {

class SheetHandlingTest : public COptionsTestBase {
protected:
    // The sheet, shown and active, as the user meets it.
    void OpenActive(int bNew = 1, int nMode = COptionsDlg::kModeNewMessage, const CTaskItem* pTask = nullptr) {
        if (bNew) Compose();
        Open(bNew, nMode, bNew ? -1 : 0, pTask, bNew ? "Weekly figures" : "");
        Activate(m_pDlg.get());
    }
    static void Activate(QWidget* p) {
        p->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(p));
    }
    static void Settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }
    static void FocusOn(QWidget* p) {
        p->setFocus();
        Settle();
    }
    static int IdOf(const QWidget* p) { return p ? p->property("controlId").toInt() : -1; }
};

}  // namespace

TEST_F(SheetHandlingTest, EnterPressesTheFocusedButtonAndACountFieldWarnsOnlyForAControlOfTheSheet) {
    OpenActive();
    m_pDlg->Sheet().setCurrentWidget(&m_pDlg->AttachmentsPage());
    CTaskItem task;
    task.m_arrAttachments.Add("/srv/reports/a.pdf");
    m_pDlg->AttachmentsPage().Load(task.m_arrAttachments);
    Get<QTreeWidget>(IDC_ATTACHMENT_LIST)->setCurrentItem(Get<QTreeWidget>(IDC_ATTACHMENT_LIST)->topLevelItem(0));
    // Were Add Files pressed, its dialog would open: it is closed and counted.
    int nDialogs = 0;
    const QPointer<QTimer> pWatcher = OnNextModal(
        [&](QWidget* p) {
            ++nDialogs;
            p->close();
        },
        m_pDlg.get());
    auto* pRemove = Get<QPushButton>(IDC_REMOVE_ATTACHMENT);
    FocusOn(pRemove);
    ASSERT_TRUE(pRemove->hasFocus());
    QTest::keyClick(pRemove, Qt::Key_Return);
    Settle();
    EXPECT_EQ(Texts(), CStrings{"Are you sure you want to remove the selected item?"});
    EXPECT_TRUE(m_pDlg->AttachmentsPage().Entries().IsEmpty());
    EXPECT_EQ(nDialogs, 0);
    EXPECT_TRUE(m_pDlg->isVisible());
    // Enter on Cancel cancels, and does not schedule.
    auto* pCancel = Get<QPushButton>(IDC_CANCEL);
    FocusOn(pCancel);
    QTest::keyClick(pCancel, Qt::Key_Enter);
    EXPECT_FALSE(m_pDlg->isVisible());
    EXPECT_EQ(m_pDlg->result(), COptionsDlg::kResultCancel);
    EXPECT_EQ(Told().size(), 1u);
    // The modal watcher, never needed, is not left to outlive what it captured.
    delete pWatcher.data();

    // A count field warns only when left for another control of the sheet.
    m_pDlg->show();
    Activate(m_pDlg.get());
    m_pDlg->Sheet().setCurrentWidget(&m_pDlg->GeneralPage());
    Click(1107);  // monthly: day field, 1..31
    auto* pDay = Get<QLineEdit>(1055);
    auto fnFocusBad = [&] {
        Type(1055, "32");
        FocusOn(pDay);
        ASSERT_TRUE(pDay->hasFocus());
        m_boxes.m_vecShown.clear();
    };
    fnFocusBad();
    // Another window: the user goes elsewhere and comes back to the field.
    QWidget other;
    other.setGeometry(10, 10, 200, 100);
    other.show();
    Activate(&other);
    Settle();
    EXPECT_TRUE(m_boxes.m_vecShown.empty()) << Texts().front();
    Activate(m_pDlg.get());
    Settle();
    EXPECT_TRUE(m_boxes.m_vecShown.empty());
    EXPECT_EQ(QApplication::focusWidget(), pDay);
    // Another control of the sheet: the check speaks.
    FocusOn(Get<QLineEdit>(1013));
    EXPECT_EQ(Texts(), CStrings{"Please enter a number between 1 and 31."});
    EXPECT_EQ(QApplication::focusWidget(), pDay) << "the user is sent back to the field to mend it";
    // Escape, and the close box, leave the sheet without a word.
    for (const bool bEscape : {true, false}) {
        SCOPED_TRACE(bEscape ? "Escape" : "close box");
        fnFocusBad();
        if (bEscape) QTest::keyClick(pDay, Qt::Key_Escape);
        else m_pDlg->close();
        Settle();
        EXPECT_FALSE(m_pDlg->isVisible());
        EXPECT_TRUE(m_boxes.m_vecShown.empty()) << Texts().front();
        m_pDlg->show();
        Activate(m_pDlg.get());
    }
}

TEST_F(SheetHandlingTest, KeysStepCountFieldsAndSetTheTimeAndTheSizeIsFixed) {
    OpenActive();
    Click(1107);
    auto* pDay = Get<QLineEdit>(1055);
    Type(1055, "30");
    pDay->setFocus();
    QTest::keyClick(pDay, Qt::Key_Up);
    QTest::keyClick(pDay, Qt::Key_Up);  // 31 is the top
    EXPECT_EQ(Text(1055), "31");
    QTest::keyClick(pDay, Qt::Key_Down);
    EXPECT_EQ(Text(1055), "30");
    Click(1040);  // end after a number of occurrences
    auto* pCount = Get<QLineEdit>(1042);
    pCount->setFocus();
    QTest::keyClick(pCount, Qt::Key_Down);  // 1 is the bottom
    EXPECT_EQ(Text(1042), "1");
    QTest::keyClick(pCount, Qt::Key_Up);
    EXPECT_EQ(Text(1042), "2");
    // The keys step a field; they do not move the focus.
    EXPECT_TRUE(pCount->hasFocus());

    // Typing over the selected sending time sets it.
    auto* pTime = Get<QTimeEdit>(IDC_SENDING_TIME);
    FocusOn(pTime);
    for (const char* psz : {"0930", "2305", "0000"}) {
        SCOPED_TRACE(psz);
        QTest::keyClick(pTime, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(pTime, psz);
        const QString str = QString::fromLatin1(psz);
        EXPECT_EQ(pTime->time(), QTime(str.left(2).toInt(), str.mid(2).toInt()));
    }

    // The size is fixed, so the buttons stay in sight.
    const QSize size = m_pDlg->size();
    EXPECT_EQ(m_pDlg->minimumSize(), size);
    EXPECT_EQ(m_pDlg->maximumSize(), size);
    m_pDlg->resize(size.width() / 2, size.height() / 2);
    Settle();
    EXPECT_EQ(m_pDlg->size(), size);
    for (int nId : {IDC_SCHEDULE, IDC_CANCEL})
        EXPECT_TRUE(m_pDlg->rect().contains(Get<QPushButton>(nId)->geometry())) << nId;
}

TEST_F(SheetHandlingTest, OpensCentredOverTheActiveWindowAndStaysAboveIt) {
    QWidget owner;
    owner.setGeometry(120, 80, 1000, 760);
    owner.show();
    Activate(&owner);
    OpenActive();
    EXPECT_LE((m_pDlg->frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(), 2);
    ASSERT_TRUE(m_pDlg->windowHandle());
    EXPECT_EQ(m_pDlg->windowHandle()->transientParent(), owner.windowHandle());
    // Not owned: the message window may go while the sheet is open.
    EXPECT_EQ(m_pDlg->parentWidget(), nullptr);
}

// Tab from the starting date runs through the page in reading order: the
// type buttons, then the shown panel, then the end of the recurrence; no
// hidden control is ever reached.
TEST_F(SheetHandlingTest, TabFollowsTheShownPanel) {
    OpenActive();
    const std::vector<int> vecTypes(std::begin(CGeneralPage::kRecurrenceIds), std::end(CGeneralPage::kRecurrenceIds));
    for (int nType : {3, 4, 1}) {  // weekly, monthly, minutely
        SCOPED_TRACE(nType);
        Click(CGeneralPage::kRecurrenceIds[nType]);
        CRecurrencePanel* pPanel = m_pDlg->GeneralPage().Panel(nType);
        FocusOn(Get<QWidget>(IDC_START_DATE));
        // Date and time fields take Tab through their own parts first.
        std::vector<QWidget*> vecVisited;
        long nLastType = -1, nFirstInPanel = -1, nFirstEnd = -1;
        for (int i = 0; i < 60; ++i) {
            QWidget* pFocus = QApplication::focusWidget();
            ASSERT_TRUE(pFocus);
            if (vecVisited.size() > 1 && pFocus == vecVisited.front()) break;
            EXPECT_TRUE(pFocus->isVisible()) << IdOf(pFocus);
            if (vecVisited.empty() || vecVisited.back() != pFocus) {
                vecVisited.push_back(pFocus);
                const long n = static_cast<long>(vecVisited.size()) - 1;
                if (std::count(vecTypes.begin(), vecTypes.end(), IdOf(pFocus))) nLastType = n;
                if (nFirstInPanel < 0 && pPanel->isAncestorOf(pFocus)) nFirstInPanel = n;
                if (nFirstEnd < 0 && IdOf(pFocus) == IDC_NO_END) nFirstEnd = n;
            }
            QTest::keyClick(pFocus, Qt::Key_Tab);
        }
        ASSERT_GE(nFirstInPanel, 0) << "the panel is reached";
        EXPECT_LT(nLastType, nFirstInPanel);
        EXPECT_LT(nFirstInPanel, nFirstEnd);
    }
}

TEST_F(SheetHandlingTest, AFolderThatIsNotFoundIsMarkedAndKept) {
    const std::string strThere = m_dir.Path() + "/*.csv";
    const std::string strGone = m_dir.Path() + "/gone/*.csv";
    const std::string strFile = m_dir.Path() + "/gone/report.pdf";
    CTaskItem task;
    task.m_strTaskName = "Figures";
    task.m_dtStart = {2024, 6, 8, 7, 9, 0, 0};
    task.m_nEndKind = 0;
    for (const auto& str : {strThere, strGone, strFile}) task.m_arrAttachments.Add(str);
    m_list.Add(task);
    OpenActive(0, COptionsDlg::kModeSchedule, &task);
    auto* pList = Get<QTreeWidget>(IDC_ATTACHMENT_LIST);
    ASSERT_EQ(pList->topLevelItemCount(), 3);
    const bool arrMarked[3] = {false, true, false};  // only a folder with a mask is looked up later
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const QTreeWidgetItem* pItem = pList->topLevelItem(i);
        EXPECT_EQ(pItem->data(0, CAttachmentsPage::kFolderMissingRole).toBool(), arrMarked[i]);
        EXPECT_EQ(pItem->toolTip(0).contains("not found"), arrMarked[i]);
    }
    EXPECT_TRUE(pList->topLevelItem(1)->toolTip(0).contains(QString::fromStdString(m_dir.Path() + "/gone")));
    EXPECT_TRUE(Schedule()) << ::testing::PrintToString(Texts());  // legal, and kept
    EXPECT_EQ(m_pDlg->GetTask().m_arrAttachments, task.m_arrAttachments);
}
