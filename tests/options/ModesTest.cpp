// The sheet's three modes: what each loads, writes and leaves alone, the
// template file and the removal of the draft.
#include "CAddinSettings.h"
#include "COptionsTestBase.h"
#include "CTemplateName.h"
#include "Contains.h"

namespace fs = std::filesystem;

namespace {

const TaskDateTime kStamp{2013, 5, 7, 3, 9, 5, 3};

// What a template that cannot be saved shows.
const CStrings kSaveFailed = {
    "Failed to save the email template.\n\nPlease close the email and then open it and try again."};

class ModesTest : public COptionsTestBase {
protected:
    // A weekly task sent twice already, as the list holds it.
    CTaskItem StoredTask() {
        CTaskItem t;
        t.m_strTaskName = "Report";
        t.m_strTemplateFile = g_strDataDir + "Report 20240101090000.oft";
        CTempDir::WriteFile(t.m_strTemplateFile, "old template");
        t.m_bActive = 1;
        t.m_bReceiveBeforeSending = 1;
        t.m_arrAttachments.Add("/srv/reports/*.pdf");
        t.m_arrAttachments.Add(" /tmp/x.txt ");
        t.m_dtStart = {2024, 5, 6, 2, 9, 0, 0};  // Monday 6 May 2024 09:00
        t.m_nRecurrence = 3;
        t.m_nWeeklyInterval = 1;
        t.m_bWeekDays[1] = 1;
        t.m_nEndKind = 1;
        t.m_nEndAfterCount = 10;
        t.m_nOccurrenceCount = 2;
        t.m_dtLastSent = {2024, 5, 13, 2, 9, 0, 1};
        t.m_dtNextSending = {2024, 5, 20, 2, 9, 0, 1};
        return t;
    }
    std::vector<std::string> DataFiles() const {
        std::vector<std::string> vec;
        for (const auto& e : fs::directory_iterator(m_dir.Path())) vec.push_back(e.path().filename().string());
        std::sort(vec.begin(), vec.end());
        return vec;
    }
};

}  // namespace

TEST_F(ModesTest, NewMessageWritesATemplateAndRemovesTheDraft) {
    CMailMessage deleted;
    deleted.strSubject = "deleted earlier";
    m_backend.Put(EMailFolder::DeletedItems, deleted);
    OpenNew("Weekly report: sales");
    EXPECT_EQ(Text(1126), "Weekly report: sales");
    ExpectTicked({1004, 1039, 1128, 1029}, {1027});
    EXPECT_FALSE(Enabled(1042));
    EXPECT_FALSE(Enabled(1036));
    EXPECT_EQ(Text(1042), "1");
    EXPECT_EQ(Get<QDateEdit>(1036)->date(), QDate(2024, 6, 8));  // a day and a minute after the present
    EXPECT_EQ(Get<QTimeEdit>(1038)->time().toString("HH:mm").toStdString(), "10:01");
    EXPECT_EQ(&m_pDlg->GeneralPage(), m_pDlg->Sheet().currentWidget());

    ASSERT_TRUE(Schedule());
    const CTaskItem task = m_pDlg->GetTask();
    EXPECT_EQ(task.m_strTemplateFile, g_strDataDir + "Weekly report sales 20240607100000.oft");
    EXPECT_EQ(task.m_strTaskName, "Weekly report: sales");  // cleaned for the file only
    EXPECT_TRUE(Contains(CTempDir::ReadFile(task.m_strTemplateFile), "Subject: Weekly report: sales"));
    EXPECT_EQ(task.m_dtNextSending, (TaskDateTime{2024, 6, 7, 6, 10, 1, 1}));
    // The draft is gone for good; other deleted items stay.
    EXPECT_TRUE(m_backend.Folder(EMailFolder::Drafts).empty());
    ASSERT_EQ(m_backend.Folder(EMailFolder::DeletedItems).size(), 1u);
    EXPECT_EQ(m_backend.Folder(EMailFolder::DeletedItems)[0].strSubject, "deleted earlier");
    EXPECT_FALSE(g_spCurMailItem);
    EXPECT_EQ(m_list.GetSize(), 0);  // the caller stores the task, not the sheet
    EXPECT_EQ(DataFiles(), CStrings{"Weekly report sales 20240607100000.oft"});
}

// The sheet's texts name the program the add-in runs in, by the name the
// host gives; with no host connected they say "the mail host". The notice
// after Schedule stays away once the user ticked "Do not show again".
TEST_F(ModesTest, EditingTheScheduleLoadsTheTaskTouchesNoMessageAndNamesTheHost) {
    const auto OverdueText = [this] {
        return Get<QAbstractButton>(COptionsIds::IDC_SEND_OVERDUE)->text().toStdString();
    };
    const CTaskItem stored = StoredTask();
    m_list.Add(stored);
    m_boxes.m_bTickDontShowAgain = true;
    Open(0, COptionsDlg::kModeSchedule, 0, &stored);
    EXPECT_EQ(OverdueText(), "Send overdue email messages on Mail Host startup");
    EXPECT_EQ(Text(1126), "Report");
    ExpectTicked({1027, 1106, 1216, 1040}, {1128});
    EXPECT_TRUE(m_pDlg->GeneralPage().Panel(3)->isVisibleTo(&m_pDlg->GeneralPage()));
    EXPECT_FALSE(m_pDlg->GeneralPage().Panel(0)->isVisibleTo(&m_pDlg->GeneralPage()));
    EXPECT_EQ(Text(1042), "10");
    EXPECT_TRUE(Enabled(1042));
    EXPECT_EQ(Get<QDateEdit>(1037)->date(), QDate(2024, 5, 6));
    ASSERT_TRUE(m_boxes.m_vecShown.empty());

    // The start lies in the past: it stays, and the next time moves past now
    // (Friday 7 June 10:00) occurrence by occurrence.
    ASSERT_TRUE(Schedule());
    CTaskItem task = m_pDlg->GetTask();
    EXPECT_EQ(task.m_dtStart, stored.m_dtStart);
    EXPECT_EQ(task.m_dtNextSending, (TaskDateTime{2024, 6, 10, 2, 9, 0, 1}));
    EXPECT_EQ(task.m_nOccurrenceCount, 2);
    EXPECT_EQ(task.m_strTemplateFile, stored.m_strTemplateFile);
    EXPECT_EQ(CTempDir::ReadFile(stored.m_strTemplateFile), "old template");
    EXPECT_EQ(task.m_arrAttachments, stored.m_arrAttachments);  // rows unchanged, blanks kept
    // Keeping its own name is no duplicate.
    EXPECT_EQ(task.m_strTaskName, "Report");
    ASSERT_EQ(m_boxes.m_vecShown.size(), 1u);
    EXPECT_TRUE(m_boxes.m_vecShown[0].nFlags & CMessageBox::MB_DONTSHOWAGAIN);
    EXPECT_EQ(Told(), CStrings{kScheduled});

    const CComPtr<_Application> spHost = g_spApplication;
    g_spApplication = nullptr;
    Open(0, COptionsDlg::kModeSchedule, 0, &stored);
    EXPECT_EQ(OverdueText(), "Send overdue email messages on the mail host startup");
    g_spApplication = spHost;
    // A stored name of any length is kept whole.
    CTaskItem named = stored;
    named.m_strTaskName = std::string(40000, 'n') + "/end";
    m_list.SetAt(0, named);
    Open(0, COptionsDlg::kModeSchedule, 0, &named);
    ASSERT_TRUE(Schedule());
    EXPECT_EQ(m_pDlg->GetTask().m_strTaskName, named.m_strTaskName);
    EXPECT_TRUE(Texts().empty()) << "the notice was turned off";
    EXPECT_TRUE(CAddinSettings::IsNoticeOff(COptionsDlg::kScheduledNoticeKey));
}

TEST_F(ModesTest, AnInactiveTaskWithAFutureStartIsScheduledWithWordThatItWaitsAndAPassedOnceTaskEnds) {
    CTaskItem future = StoredTask();
    future.m_dtStart = {2024, 6, 12, 4, 9, 0, 0};
    m_list.Add(future);
    Open(0, COptionsDlg::kModeSchedule, 0, &future);
    Click(COptionsIds::IDC_ACTIVE);
    ASSERT_TRUE(Schedule());
    EXPECT_EQ(m_pDlg->GetTask().m_dtNextSending, (TaskDateTime{2024, 6, 17, 2, 9, 0, 1}));
    EXPECT_EQ(m_pDlg->GetTask().m_bActive, 0);
    EXPECT_EQ(Told(), CStrings{"This email message has been scheduled.\n\nThe task is not active: it will not be sent "
                               "until you activate it in the Email Manager."});

    CTaskItem once = future;
    once.m_nRecurrence = 0;
    Open(0, COptionsDlg::kModeSchedule, 0, &once);
    ASSERT_TRUE(Schedule());
    EXPECT_EQ(m_pDlg->GetTask().m_dtLastSent, once.m_dtLastSent);
    EXPECT_EQ(m_pDlg->GetTask().m_dtNextSending, (TaskDateTime{2024, 6, 12, 4, 9, 0, 1}));

    // A one-time task whose time has passed is stored without a next time.
    once.m_dtStart = StoredTask().m_dtStart;
    Open(0, COptionsDlg::kModeSchedule, 0, &once);
    ASSERT_TRUE(Schedule());
    EXPECT_FALSE(m_pDlg->GetTask().m_dtNextSending.IsSet());
}

TEST_F(ModesTest, AFailedTemplateSaveKeepsTheOldTemplateAndTheDraftThenTheMessageIsRewrittenInPlace) {
    const CTaskItem stored = StoredTask();
    m_list.Add(stored);
    Compose("New words");
    m_backend.m_bFailTemplates = true;
    Open(0, COptionsDlg::kModeMessage, 0, &stored);
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(Told(), kSaveFailed);
    EXPECT_EQ(CTempDir::ReadFile(stored.m_strTemplateFile), "old template");
    EXPECT_EQ(DataFiles(), CStrings{"Report 20240101090000.oft"});
    EXPECT_EQ(m_backend.Folder(EMailFolder::Drafts).size(), 1u);
    EXPECT_TRUE(g_spCurMailItem);
    EXPECT_EQ(m_pDlg->GetTask(), stored);
    // The host recovers; the next attempt goes through.
    m_backend.m_bFailTemplates = false;
    ASSERT_TRUE(Schedule());
    // The message is rewritten under the template's own path.
    EXPECT_EQ(m_pDlg->GetTask().m_strTemplateFile, stored.m_strTemplateFile);
    EXPECT_TRUE(Contains(CTempDir::ReadFile(stored.m_strTemplateFile), "Subject: New words"));
    EXPECT_EQ(DataFiles(), CStrings{"Report 20240101090000.oft"});
    EXPECT_TRUE(m_backend.Folder(EMailFolder::Drafts).empty());
    EXPECT_TRUE(m_backend.Folder(EMailFolder::DeletedItems).empty());
}

TEST_F(ModesTest, EnterNeverCommitsAndMessageModesNeedTheCurrentMessageAndAFolderOrShowTheDefaultTask) {
    OpenNew();
    Type(1126, "Typed");
    QTest::keyClick(Get<QLineEdit>(1126), Qt::Key_Return);
    EXPECT_EQ(m_pDlg->result(), 0);
    EXPECT_TRUE(m_boxes.m_vecShown.empty());
    EXPECT_TRUE(m_pDlg->isVisible());

    g_spCurMailItem.Release();
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(LastIcon(), CMessageBox::MB_ICONERROR);
    EXPECT_EQ(Told(), CStrings{"Failed to read the current email message!"});
    EXPECT_TRUE(DataFiles().empty());
    // A folder that cannot be looked into fails the save instead of hanging.
    Compose();
    fs::create_symlink("loop", m_dir.Path() + "/loop");
    g_strDataDir = m_dir.Path() + "/loop/";
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(Told(), kSaveFailed);
    EXPECT_TRUE(g_spCurMailItem);
    // Without a data directory no template is written anywhere.
    g_strDataDir.clear();
    EXPECT_FALSE(Schedule());
    EXPECT_EQ(Told(), kSaveFailed);
    EXPECT_TRUE(g_spCurMailItem);
    EXPECT_EQ(m_backend.Folder(EMailFolder::Drafts).size(), 2u);

    // A message window still pointing at an index the list no longer has
    // shows the default task without a report.
    Open(0, COptionsDlg::kModeMessage, 3, nullptr);
    EXPECT_TRUE(m_boxes.m_vecShown.empty());
    EXPECT_EQ(Get<QDateEdit>(1037)->date(), QDate(1980, 1, 1));
}

TEST_F(ModesTest, TemplatesNeverLeaveTheDataDirectoryNorReplaceAnotherTasksFile) {
    // Names that differ only in removed characters, saved in the same second.
    CTaskItem other;
    other.m_strTaskName = "a/b";
    other.m_strTemplateFile = g_strDataDir + "ab 20240607100000.oft";
    m_list.Add(other);
    OpenNew("a:b");
    ASSERT_TRUE(Schedule());
    EXPECT_EQ(m_pDlg->GetTask().m_strTemplateFile, g_strDataDir + "ab 20240607100000 (2).oft");

    // A hand-edited task pointing elsewhere gets a new file of its own; the
    // file it named is not touched.
    CTempDir outside;
    CTaskItem damaged = StoredTask();
    damaged.m_strTemplateFile = outside.Path() + "/victim.oft";
    CTempDir::WriteFile(damaged.m_strTemplateFile, "keep me");
    m_list.Add(damaged);
    Compose();
    Open(0, COptionsDlg::kModeMessage, 1, &damaged);
    ASSERT_TRUE(Schedule());
    EXPECT_EQ(CTempDir::ReadFile(damaged.m_strTemplateFile), "keep me");
    EXPECT_EQ(m_pDlg->GetTask().m_strTemplateFile, g_strDataDir + "Report 20240607100000.oft");

    // A template path another task also uses (a copied task) is not
    // written over either.
    CTaskItem twin = StoredTask();
    twin.m_strTaskName = "Twin";
    twin.m_strTemplateFile = m_list[0].m_strTemplateFile;
    m_list.Add(twin);
    Compose();
    Open(0, COptionsDlg::kModeMessage, 2, &twin);
    ASSERT_TRUE(Schedule());
    EXPECT_EQ(m_pDlg->GetTask().m_strTemplateFile, g_strDataDir + "Twin 20240607100000.oft");
}

TEST_F(ModesTest, OutOfRangeStoredValuesAreShownClampedAndReported) {
    CTaskItem t = StoredTask();
    t.m_dtStart = {2024, 13, 40, 0, 25, 70, 0};
    t.m_nRecurrence = 4;
    t.m_nMonthlyMode = 1;
    t.m_nMonthlyOrdinal = 9;
    t.m_nMonthlyDayKind = -3;
    t.m_nMonthlyInterval2 = 0;
    t.m_nEndAfterCount = 5000000;
    m_list.Add(t);
    Open(0, COptionsDlg::kModeSchedule, 0, &t);
    ASSERT_EQ(m_boxes.m_vecShown.size(), 1u);
    EXPECT_EQ(LastIcon(), CMessageBox::MB_ICONWARNING);
    const std::string& str = m_boxes.m_vecShown[0].strText;
    for (const char* psz :
         {"start month: 13 is shown as 12", "start day: 40 is shown as 31", "start hour: 25", "monthly ordinal: item 9",
          "monthly day kind: item -3", "months: 0 is shown as 1", "occurrences: 5000000 is shown as 999999"})
        EXPECT_TRUE(Contains(str, psz)) << psz << " in " << str;
    EXPECT_EQ(Get<QDateEdit>(1037)->date(), QDate(2024, 12, 31));
    EXPECT_EQ(Selected(1057), 4);
    EXPECT_EQ(Selected(1058), 0);
    EXPECT_EQ(Text(1215), "1");
    // A recurrence type that does not exist shows as none.
    t.m_nRecurrence = 42;
    t.m_nEndKind = 9;
    m_boxes.m_vecShown.clear();
    Open(0, COptionsDlg::kModeSchedule, 0, &t);
    ExpectTicked({1004, 1039});
    ASSERT_FALSE(m_boxes.m_vecShown.empty());
    EXPECT_TRUE(Contains(m_boxes.m_vecShown[0].strText, "recurrence: type 42"));
    EXPECT_TRUE(Contains(m_boxes.m_vecShown[0].strText, "end: kind 9"));
}

// Template file names from task names: cleaned, cut, stamped, and kept
// inside the data directory without clashing.
TEST(TemplateNameTest, NamesLoseWhatCouldLeaveTheFolderOrHideTheFileAreCutAndStamped) {
    std::string strWide;  // 100 characters of three bytes each would not fit a file name
    for (int i = 0; i < 120; ++i) strWide += "\xE2\x82\xAC";  // the euro sign
    const struct {
        const char* pszName;
        std::string strTask, strClean;
    } kCases[] = {
        {"the nine characters go", "Weekly report: sales", "Weekly report sales"},
        {"only the nine", "\\/:*?\"<>|", ""},
        {"blanks stay", "  spaced  ", "  spaced  "},
        {"no way up", "../../etc/passwd", "etcpasswd"},
        {"no parent", "..", ""},
        {"not hidden", "...hidden", "hidden"},
        {"no control characters",
         "tab\there\nnew\x7F"
         "line\x01",
         "tabherenewline"},
        {"an inner dot stays", "a.b", "a.b"},
        {"cut at 100 characters", std::string(150, 'x'), std::string(100, 'x')},
        {"cut within 200 bytes, never in a character", strWide, strWide.substr(0, 198)},
        {"a character past 200 bytes goes whole", std::string(99, 'y') + "\xC3\xA9\xC3\xA9",
         std::string(99, 'y') + "\xC3\xA9"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(CTemplateName::CleanName(c.strTask), c.strClean) << c.pszName;
        EXPECT_EQ(CTemplateName::FileName(c.strTask, kStamp), c.strClean + " 20130507090503.oft") << c.pszName;
    }
}

TEST(TemplateNameTest, TakenPathsGetACounterAndAFolderThatCannotBeLookedIntoGivesNoPath) {
    CTempDir dir;
    const std::string strDir = dir.Path() + "/";
    EXPECT_EQ(ValueOf(CTemplateName::UniquePath(strDir, "a 1.oft", {})), strDir + "a 1.oft");
    CTempDir::WriteFile(strDir + "a 1.oft", "x");
    fs::create_symlink("/nonexistent", strDir + "a 1 (2).oft");  // a dangling link is taken too
    auto fnTaken = [&](const std::string& str) { return str == strDir + "a 1 (3).oft"; };
    EXPECT_EQ(ValueOf(CTemplateName::UniquePath(strDir, "a 1.oft", fnTaken)), strDir + "a 1 (4).oft");

    fs::create_symlink("loop", strDir + "loop");
    EXPECT_EQ(CTemplateName::UniquePath(strDir + "loop/", "a 1.oft", {}).Problem(),
              strDir + "loop/: cannot be looked into");
    EXPECT_FALSE(CTemplateName::UniquePath(strDir, std::string(300, 'n') + ".oft", {}).Ok());
    auto fnAllTaken = [](const std::string&) { return true; };
    EXPECT_EQ(CTemplateName::UniquePath(strDir, "a 1.oft", fnAllTaken).Problem(),
              "a 1.oft: every name up to (10000) is taken");
}

TEST(TemplateNameTest, InsideMeansDirectlyInTheDataDirectory) {
    for (const char* psz : {"/d/q/x.oft", "/d/q/./x.oft"}) EXPECT_TRUE(CTemplateName::IsInside("/d/q/", psz)) << psz;
    for (const char* psz : {"/d/q/../x.oft", "/d/q/sub/x.oft", "/d/q/", "/etc/passwd", ""})
        EXPECT_FALSE(CTemplateName::IsInside("/d/q/", psz)) << psz;
    // Only a template may be written into or removed as one, whatever a record names.
    for (const char* psz : {"/d/q/Report 20261207.oft", "/d/q/old.OFT", "/d/q/./x.oft"})
        EXPECT_TRUE(CTemplateName::IsOwnTemplate("/d/q/", psz)) << psz;
    for (const char* psz : {"/d/q/tasks.json", "/d/q/emails.dat", "/d/q/emails.dat.lock", "/d/q/.quillory-new-7.oft",
                            "/d/q/.oft", "/d/q/sub/x.oft", "/d/q/../x.oft", "/d/q/notes.eml"})
        EXPECT_FALSE(CTemplateName::IsOwnTemplate("/d/q/", psz)) << psz;
}
