// The commit's checks in their order, with their messages and the page
// they bring to the front, and the count fields' own checks.
#include "COptionsTestBase.h"
#include "CTaskListFile.h"
#include "CUpDown.h"

namespace fs = std::filesystem;

namespace {

class ValidationTest : public COptionsTestBase {
protected:
    QWidget* Current() const { return m_pDlg->Sheet().currentWidget(); }
    // Schedule is refused with strMessage, showing pPage (when named).
    void ExpectStopped(const std::string& strMessage, QWidget* pPage) {
        EXPECT_FALSE(Schedule());
        const CStrings vecTold = Told();
        ASSERT_FALSE(vecTold.empty());
        EXPECT_EQ(vecTold.back(), strMessage);
        if (pPage) {
            EXPECT_EQ(Current(), pPage);
        }
    }
};

const char* const kLater = "Please change the starting date and time later than the current time.";
const char* const kAnyCount = "Please enter a number between 1 and 999999.";

}  // namespace

TEST_F(ValidationTest, ChecksRunInOrderAndEachStopsTheCommit) {
    OpenNew("  ");
    COptionsDlg& dlg = *m_pDlg;
    // Everything wrong at once; each fix reveals the next check.
    Click(1106);                               // weekly, no day ticked (the weekly panel starts with none)
    SetStart(QDate(2024, 6, 7), QTime(9, 0));  // before the present
    Click(1041);
    Get<QDateEdit>(1036)->setDate(QDate(2024, 6, 6));  // before the start
    CTaskItem taken;
    taken.m_strTaskName = "Taken";
    m_list.Add(taken);
    dlg.Sheet().setCurrentWidget(&dlg.OtherPage());

    ExpectStopped("Please select at least one of the day.", &dlg.GeneralPage());
    Click(1051);  // the week-of-month form needs a day too
    ExpectStopped("Please select at least one of the day.", &dlg.GeneralPage());
    Click(1020);
    ExpectStopped(kLater, &dlg.GeneralPage());
    // Exactly now is not later than now either.
    SetStart(QDate(2024, 6, 7), QTime(10, 0));
    ExpectStopped(kLater, nullptr);
    SetStart(QDate(2024, 6, 7), QTime(10, 1));
    dlg.Sheet().setCurrentWidget(&dlg.OtherPage());
    ExpectStopped("Please change the end date later than the starting time.", &dlg.GeneralPage());
    Get<QDateEdit>(1036)->setDate(QDate(2024, 6, 7));  // the starting day itself ends at 23:59:59
    ExpectStopped("Please enter the task name.", &dlg.OtherPage());
    EXPECT_EQ(Text(1126), "");  // the blanks were trimmed away in the field too
    Type(1126, "Taken");
    ExpectStopped("The task name already exists, please change it.", &dlg.OtherPage());
    Type(1126, "taken ");  // another name: letter case counts
    EXPECT_TRUE(Schedule());
    EXPECT_EQ(m_pDlg->GetTask().m_strTaskName, "taken");
    EXPECT_EQ(m_pDlg->GetTask().m_nEndKind, 2);
    EXPECT_EQ(m_pDlg->GetTask().m_dtEnd, (TaskDate{2024, 6, 7, 6}));
}

// Where the focus goes after a refused count: SheetHandlingTest.
TEST_F(ValidationTest, CountFieldsReportWhenLeftAndRefuseTheCommit) {
    OpenNew();
    struct {
        int nRadio, nField;
        const char* pszText;
        const char* pszMessage;
    } const cases[] = {
        {219, 240, "12a", "Please enter a number."},  // the minutely field takes any character
        {219, 240, "0", kAnyCount},
        {11005, 1007, "", kAnyCount},
        {1106, 1052, "0", kAnyCount},
        {1107, 1055, "32", "Please enter a number between 1 and 31."},
        {1107, 1013, "0", kAnyCount},
        {1208, 1012, "32", "Please enter a number between 1 and 31."},
        {1107, 1215, "0", kAnyCount},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nField);
        Click(c.nRadio);
        if (c.nRadio == 1106) Click(1015);
        if (c.nField == 1215) Click(1219);
        Type(c.nField, c.pszText);
        // Opening the field's context menu is not leaving it.
        LeaveField(c.nField, Qt::PopupFocusReason);
        EXPECT_TRUE(m_boxes.m_vecShown.empty());
        LeaveField(c.nField);
        EXPECT_EQ(LastIcon(), CMessageBox::MB_ICONWARNING);
        EXPECT_EQ(Told(), CStrings{c.pszMessage});
        EXPECT_EQ(Text(c.nField), c.pszText);  // the check leaves the text alone
        // The commit reports the panel's problem once and stops.
        EXPECT_FALSE(Schedule());
        EXPECT_EQ(Told(), CStrings{c.pszMessage});
        Type(c.nField, "1");
    }
    // The occurrences field is checked whichever end is chosen.
    Click(1004);
    Type(1042, "0");
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(Told(), CStrings{kAnyCount});
    Click(1040);
    LeaveField(1042);
    EXPECT_EQ(Told(), CStrings{kAnyCount});
    Type(1042, "1000000");  // longer than the field takes
    EXPECT_EQ(Text(1042), "100000");
    LeaveField(1042);
    EXPECT_TRUE(m_boxes.m_vecShown.empty());

    // Digit-only fields refuse letters; the up-downs stay in range.
    int nPos = 0;
    QString str = "1x";
    EXPECT_EQ(Get<QLineEdit>(1007)->validator()->validate(str, nPos), QValidator::Invalid);
    EXPECT_EQ(Get<QLineEdit>(240)->validator(), nullptr);
    Click(1228);
    Type(1013, "2");
    Get<CUpDown>(1009)->Step(-1);
    Get<CUpDown>(1009)->Step(-1);
    EXPECT_EQ(Text(1013), "1");
    // The default start, a minute ahead, passes while the sheet stays open less than that minute.
    m_clock.Set(m_clock.Now() + 60);
    ExpectStopped(kLater, &m_pDlg->GeneralPage());
    m_clock.Set(m_clock.Now() - 1);
    EXPECT_TRUE(Schedule());
    EXPECT_EQ(m_pDlg->GetTask().m_nEndKind, 1);
    EXPECT_EQ(m_pDlg->GetTask().m_nEndAfterCount, 100000);
}

// The task list file's reader refuses a record over 1,048,576 bytes and
// every task after it, so the sheet refuses such a task before anything is
// saved. The record holds 248 bytes besides the texts, and the template
// path it is about to get: the data folder, the name's first 100
// characters and " 20240607100000.oft".
TEST_F(ValidationTest, ATaskTooLargeForTheTaskListIsRefusedBeforeAnythingIsSaved) {
    OpenNew();
    m_pDlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_pDlg.get()));
    const size_t nTemplate = g_strDataDir.size() + 100 + 19;
    const size_t nMostName = 1048576 - 248 - nTemplate;
    Type(1126, std::string(nMostName + 1, 'n'));
    m_pDlg->Sheet().setCurrentWidget(&m_pDlg->GeneralPage());
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(LastIcon(), CMessageBox::MB_ICONWARNING);
    EXPECT_EQ(Told(), CStrings{"The task name is too long, please shorten it."});
    EXPECT_EQ(Current(), &m_pDlg->OtherPage());
    QApplication::processEvents();
    EXPECT_TRUE(Get<QLineEdit>(1126)->hasFocus()) << "the user is sent to the field to shorten it";
    EXPECT_EQ(m_backend.Folder(EMailFolder::Drafts).size(), 1u) << "the draft stays";
    EXPECT_TRUE(g_spCurMailItem);
    for (const auto& e : fs::directory_iterator(m_dir.Path()))
        EXPECT_NE(e.path().extension(), ".oft") << "no template is written";

    // A long attachment list is as much of the record as a long name.
    CArray<std::string> arrEntries;
    arrEntries.Add(std::string(1048576, 'a'));
    m_pDlg->AttachmentsPage().Load(arrEntries);
    Type(1126, "n");
    ExpectStopped("The attachment list is too long, please remove some of the attachments.",
                  &m_pDlg->AttachmentsPage());
    Get<QTreeWidget>(1121)->clear();

    // Exactly the limit is scheduled: a record the reader takes (TaskListFileTest).
    Type(1126, std::string(nMostName, 'n'));
    ASSERT_TRUE(Schedule()) << (m_boxes.m_vecShown.empty() ? "" : m_boxes.m_vecShown.back().strText);
    EXPECT_EQ(CTaskListFile::RecordLength(m_pDlg->GetTask(), *TaskListCodec().Value()), 1048576u);
}
