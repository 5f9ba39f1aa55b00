// The Email Manager and About window driven through their widgets, on the
// add-in's shared task list and a real data directory.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "CAboutDlg.h"
#include "CAddinIcon.h"
#include "CAddinSettings.h"
#include "CApplication.h"
#include "CBoxRecorder.h"
#include "CEmailManagerDlg.h"
#include "CEnvScope.h"
#include "CManagerCommands.h"
#include "CMemoryMailBackend.h"
#include "CMessageBox.h"
#include "COptionsDlg.h"
#include "CRulesPage.h"
#include "CSendEmailDlg.h"
#include "CSendingHold.h"
#include "CTaskHistoryFile.h"
#include "CTaskJson.h"
#include "CTaskListEdit.h"
#include "CTaskListFile.h"
#include "CTempDir.h"
#include "Contains.h"
#include "IClock.h"
#include "OpenUrl.h"
#include "PressSheetButton.h"
#include "ResultValue.h"
#include "SharedState.h"
#include "TaskAt.h"
#include "TaskNames.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

// Catches the links the windows open instead of starting a browser.
class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    CUrlCatcher() {
        for (const char* psz : {"http", "https", "mailto", "file"}) QDesktopServices::setUrlHandler(psz, this, "Open");
    }
    ~CUrlCatcher() override {
        for (const char* psz : {"http", "https", "mailto", "file"}) QDesktopServices::unsetUrlHandler(psz);
    }
    std::vector<QString> m_vecUrls;
public slots:
    void Open(const QUrl& url) { m_vecUrls.push_back(url.toString()); }
};

std::string kRemoveQuestion(const std::string& strName) {
    return "Remove the task \"" + strName +
           "\"?\n\nIt will not be sent again. Undo Remove brings it back while this window is open.";
}

class EmailManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_strDataDir = m_dir.string() + "/";
        g_strInstallDir = m_dir.string() + "/install/";
        fs::create_directories(g_strInstallDir);
        g_pTaskList = &m_list;
        FakeDefaultProgram("writer.desktop");
        m_spApp = CApplication::Create(m_backend);
        g_spApplication = static_cast<_Application*>(m_spApp.p);
        for (int i = 0; i < 3; ++i) {
            CTaskItem t;
            t.m_bActive = 1;
            t.m_strTaskName = "Task " + std::to_string(i + 1);
            t.m_strTemplateFile = g_strDataDir + "t" + std::to_string(i + 1) + ".oft";
            t.m_dtNextSending = {2013, 5, 7 + i, 3 + i, 9, 5, 1};
            std::ofstream(t.m_strTemplateFile) << "Subject: " << t.m_strTaskName << "\n\nbody\n";
            m_list.Add(t);
        }
    }
    void TearDown() override {
        g_spApplication = nullptr;
        m_spApp->Shutdown();
        g_pTaskList = nullptr;
        g_nCurTaskIndex = -1;
        g_nCurTaskId = CTaskList::kNoId;
    }
    void Click(CEmailManagerDlg& dlg, int nId) {
        auto* pButton = qobject_cast<QPushButton*>(dlg.Control(nId));
        ASSERT_TRUE(pButton) << nId;
        pButton->click();
    }
    void Select(CEmailManagerDlg& dlg, int nRow) { dlg.List()->setCurrentItem(dlg.List()->topLevelItem(nRow)); }
    // Task 2 becomes a daily task from Tuesday 6 May 2031 09:05 without end.
    void MakeSecondTaskDaily() {
        m_list[1].m_nRecurrence = 2;
        m_list[1].m_nDailyInterval = 1;
        m_list[1].m_nEndKind = 0;
        m_list[1].m_dtStart = {2031, 5, 6, 3, 9, 5, 1};
    }
    std::vector<std::string> SavedNames() { return TaskNamesInFile(g_strDataDir + "emails.dat"); }
    // Task 2 alone for the scheduler, due on Tuesday 6 May 2031 at 09:05,
    // and a scheduler that notes each occurrence it sends, running fnDuring
    // inside the send as a send's event loop would.
    CSendContext SendingSecondTask(const CFixedClock& clock, std::vector<std::string>& vecSent,
                                   std::function<void()> fnDuring) {
        MakeSecondTaskDaily();
        m_list[0].m_bActive = m_list[2].m_bActive = 0;
        m_list[1].m_bSendOverdue = 1;
        m_list[1].m_dtNextSending = {2031, 5, 6, 2, 9, 5, 1};
        CSendContext ctx;
        ctx.fnTaskList = [] { return g_pTaskList; };
        ctx.pClock = &clock;
        ctx.fnSend = [&vecSent, fnDuring](const CTaskItem& t) {
            vecSent.push_back(TaskTime::Format(t.m_dtNextSending));
            if (fnDuring) fnDuring();
            return CSendVerdict(true);
        };
        return ctx;
    }
    // What the desktop names as the program for a document's kind (a
    // stand-in for xdg-mime on PATH); "" for none.
    void FakeDefaultProgram(const std::string& strProgram) {
        CTempDir::WriteFile(m_strBin + "/xdg-mime", "#!/bin/sh\necho '" + strProgram + "'\n");
        fs::permissions(m_strBin + "/xdg-mime", fs::perms::owner_all);
    }
    // A row's text or tooltip in a column.
    static std::string Cell(CEmailManagerDlg& dlg, int nRow, int nColumn) {
        return dlg.List()->topLevelItem(nRow)->text(nColumn).toStdString();
    }
    static std::string Tip(CEmailManagerDlg& dlg, int nRow, int nColumn) {
        return dlg.List()->topLevelItem(nRow)->toolTip(nColumn).toStdString();
    }
    std::vector<std::string> Rows(CEmailManagerDlg& dlg) {
        std::vector<std::string> vec;
        for (int i = 0; i < dlg.List()->topLevelItemCount(); ++i) vec.push_back(Cell(dlg, i, 0));
        return vec;
    }

    CTempDir m_tmp;
    const fs::path m_dir{m_tmp.Path()};
    const std::string m_strBin = (fs::create_directories(m_dir / "bin"), (m_dir / "bin").string());
    const CEnvScope m_path{"PATH", (m_strBin + ":" + (getenv("PATH") ? getenv("PATH") : "")).c_str()};
    CTaskList m_list;
    CMemoryMailBackend m_backend;
    CComPtr<CApplication> m_spApp;
};

// Which of Activate, Disable, Move Up and Move Down can be pressed, in that
// order, as the rules give it for the selected row of the list.
std::vector<bool> ExpectedStates(const std::vector<int>& vecActive, int nRow) {
    if (nRow < 0) return {false, false, false, false};
    const bool bActive = vecActive[static_cast<size_t>(nRow)] != 0;
    return {!bActive, bActive, nRow > 0, nRow + 1 < static_cast<int>(vecActive.size())};
}

// The same four as the window shows them; on the way, the context menu must
// offer every command by the button's words and as it stands.
std::vector<bool> ShownStates(const CEmailManagerDlg& dlg) {
    std::vector<bool> vec;
    for (int nId : {CEmailManagerDlg::IDC_ACTIVATE, CEmailManagerDlg::IDC_DISABLE, CEmailManagerDlg::IDC_MOVE_UP,
                    CEmailManagerDlg::IDC_MOVE_DOWN})
        vec.push_back(dlg.Control(nId)->isEnabled());
    const std::unique_ptr<QMenu> pMenu = dlg.findChild<CManagerCommands*>()->ContextMenu();
    std::vector<int> vecIds;
    for (QAction* pAction : pMenu->actions()) {
        const int nId = pAction->property("controlId").toInt();
        vecIds.push_back(nId);
        const auto* pButton = qobject_cast<const QPushButton*>(dlg.Control(nId));
        EXPECT_EQ(pAction->text(), pButton ? pButton->text() : QString("no button")) << nId;
        EXPECT_EQ(pAction->isEnabled(), pButton && pButton->isEnabled()) << nId;
    }
    std::sort(vecIds.begin(), vecIds.end());
    EXPECT_EQ(vecIds, (std::vector<int>{203, 204, 205, 206, 207, 208, 209, 213, 214}));
    return vec;
}

}  // namespace

// Each row: its next sending time, or why there is none, and its schedule in
// words; the refresh shows what the scheduler or the tool changed meanwhile.
TEST_F(EmailManagerTest, EachRowSaysWhenAndHowItsTaskSends) {
    CTaskItem& monthly = m_list.GetAt(1);
    monthly.m_nRecurrence = CodeOf(ERecurrence::Monthly);
    monthly.m_nMonthlyMode = CodeOf(EMonthlyMode::OrdinalDay);
    monthly.m_nMonthlyOrdinal = CodeOf(EOrdinal::Last);
    monthly.m_nMonthlyDayKind = CodeOf(EDayKind::Weekday);
    monthly.m_nMonthlyInterval2 = 1;
    monthly.m_dtStart = {2013, 5, 31, 6, 17, 30, 0};
    monthly.m_nEndKind = CodeOf(EEndKind::AfterCount);
    monthly.m_nEndAfterCount = 3;
    monthly.m_dtNextSending.Empty();
    m_list[2].m_bActive = 0;

    CEmailManagerDlg dlg;
    ASSERT_EQ(dlg.List()->topLevelItemCount(), 3);
    EXPECT_EQ(dlg.List()->currentItem(), dlg.List()->topLevelItem(0));
    EXPECT_EQ(dlg.List()->headerItem()->text(CEmailManagerDlg::kScheduleColumn).toStdString(), "Schedule");
    EXPECT_EQ(Cell(dlg, 0, 1), "Tuesday, May 7, 2013 09:05");
    EXPECT_EQ(Cell(dlg, 1, 1), "Completed");
    // The words of each rule are RecurrenceTextTest's; here they come with the end.
    EXPECT_EQ(Cell(dlg, 1, CEmailManagerDlg::kScheduleColumn), "Last weekday of every month at 17:30, 3 times");
    EXPECT_EQ(Tip(dlg, 1, CEmailManagerDlg::kNameColumn), Cell(dlg, 1, CEmailManagerDlg::kScheduleColumn));
    // A disabled task says so instead of a time it will not be sent at.
    EXPECT_EQ(dlg.List()->topLevelItem(2)->data(0, Qt::UserRole).toInt(), 0);
    EXPECT_EQ(Cell(dlg, 2, 1), "Disabled");
    EXPECT_EQ(Tip(dlg, 2, 1), "Not sent until activated; its stored next time is Thursday, May 9, 2013 09:05");

    m_list[0].m_dtNextSending = {2013, 5, 14, 3, 9, 5, 1};
    monthly.m_nMonthlyInterval2 = 2;
    m_list[2].m_bActive = 1;
    dlg.OnTimer();
    EXPECT_EQ(Cell(dlg, 0, 1), "Tuesday, May 14, 2013 09:05");
    EXPECT_EQ(Cell(dlg, 1, CEmailManagerDlg::kScheduleColumn), "Last weekday of every 2 months at 17:30, 3 times");
    EXPECT_EQ(Cell(dlg, 2, 1), "Thursday, May 9, 2013 09:05");
    EXPECT_TRUE(Tip(dlg, 2, 1).empty());

    // A task the scheduler completed because its schedule could not move on
    // says so, with the reason as the tip; the others were disabled first.
    for (int i = 0; i < 3; ++i) m_list.GetAt(i).m_bActive = 0;
    CTaskItem t;
    t.m_bActive = 1;
    t.m_strTaskName = "No day";
    t.m_bSendOverdue = 1;
    t.m_nRecurrence = 3;
    t.m_nWeeklyInterval = 1;
    t.m_nEndKind = 0;
    for (int& b : t.m_bWeekDays) b = 0;
    t.m_dtStart = At(2026, 3, 1, 9, 0);
    t.m_dtNextSending = At(2026, 3, 2, 9, 0);
    m_list.Add(t);
    CFixedClock clock(ValueOf(TaskTime::ToAbsolute(2026, 3, 2, 9, 0, 30)));
    CSendContext ctx;
    ctx.fnTaskList = [] { return g_pTaskList; };
    ctx.pClock = &clock;
    CSendEmailDlg sender(ctx);
    g_pSendEmailDlg = &sender;
    ::testing::internal::CaptureStderr();
    sender.OnTimer();
    (void)::testing::internal::GetCapturedStderr();  // the journal line is the sender's test
    dlg.OnTimer();
    g_pSendEmailDlg = nullptr;
    EXPECT_EQ(Cell(dlg, 3, 1), "Completed (the schedule cannot move on)");
    EXPECT_EQ(Tip(dlg, 3, 1), "a weekly task with no day ticked");
    EXPECT_EQ(Cell(dlg, 0, 1), "Disabled");
    EXPECT_EQ(Tip(dlg, 0, 1), "Not sent until activated; its stored next time is Tuesday, May 14, 2013 09:05");
}

// Activate, Disable, Move Up and Move Down can be pressed as the selected
// task allows, in the buttons and the context menu alike; a move or a copy
// takes the selection along, and a command without one asks for it.
TEST_F(EmailManagerTest, CommandsFollowTheSelectedTaskAndNeedOne) {
    CBoxRecorder boxes;
    m_list[2].m_bActive = 0;
    CEmailManagerDlg dlg;
    std::vector<int> vecActive = {1, 1, 0};
    for (int nRow : {0, 1, 2}) {
        Select(dlg, nRow);
        EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, nRow)) << "row " << nRow;
    }
    // (What the commands change: TaskListEditTest.EnableDisableTouchOnlyTheFlag...)
    Click(dlg, CEmailManagerDlg::IDC_ACTIVATE);
    vecActive[2] = 1;
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, 2));
    EXPECT_EQ(m_list[2].m_bActive, 1);
    Click(dlg, CEmailManagerDlg::IDC_DISABLE);
    EXPECT_EQ(dlg.List()->topLevelItem(2)->data(0, Qt::UserRole).toInt(), 0);
    Click(dlg, CEmailManagerDlg::IDC_ACTIVATE);
    Click(dlg, CEmailManagerDlg::IDC_MOVE_UP);
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 1", "Task 3", "Task 2"}));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Task 1", "Task 3", "Task 2"}));
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, 1));
    m_list[1].m_bActive = 0;
    vecActive[1] = 0;
    dlg.OnTimer();
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, 1));

    // Copy from the menu: the copy comes last and is selected; on the last row
    // Move Down is offered but cannot be chosen.
    const std::unique_ptr<QMenu> pMenu = dlg.findChild<CManagerCommands*>()->ContextMenu();
    for (QAction* pAction : pMenu->actions())
        if (pAction->property("controlId").toInt() == CEmailManagerDlg::IDC_COPY) pAction->trigger();
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 1", "Task 3", "Task 2", "Copy of Task 3"}));
    vecActive.push_back(0);
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, 3));

    const std::vector<std::string> vecSaved = SavedNames();
    dlg.List()->clearSelection();
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, -1));
    for (int nId : {CEmailManagerDlg::IDC_REMOVE, CEmailManagerDlg::IDC_COPY, CEmailManagerDlg::IDC_EDIT_SCHEDULE,
                    CEmailManagerDlg::IDC_EDIT_EMAIL})
        Click(dlg, nId);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>(4, "Please select an email message item."));
    EXPECT_EQ(boxes.Flags(), std::vector<unsigned>(4, CMessageBox::MB_OK | CMessageBox::MB_ICONWARNING));
    EXPECT_EQ(SavedNames(), vecSaved);
}

// A double click or Enter on a row edits its schedule; Remove (or Delete)
// names the task, defaults to No, keeps the template, and Undo Remove puts
// the task back where it stood, once.
TEST_F(EmailManagerTest, RowKeysEditOrRemoveAndARemoveCanBeUndoneOnce) {
    CBoxRecorder boxes;
    MakeSecondTaskDaily();
    CEmailManagerDlg dlg;
    dlg.show();
    QWidget* pUndo = dlg.Control(CEmailManagerDlg::IDC_UNDO_REMOVE);
    ASSERT_TRUE(pUndo);
    EXPECT_FALSE(pUndo->isEnabled()) << "nothing to undo yet";
    Select(dlg, 1);
    boxes.m_nYesNoAnswer = CMessageBox::IDNO;
    Click(dlg, CEmailManagerDlg::IDC_REMOVE);
    EXPECT_EQ(m_list.GetSize(), 3);
    EXPECT_FALSE(fs::exists(g_strDataDir + "emails.dat"));

    bool bSheetSeen = false;
    QTimer::singleShot(0, [&] { bSheetSeen = PressSheetButton(1002); });
    // On the task's name: the whole row is wider than the visible list.
    const QPoint ptName(40, dlg.List()->visualItemRect(dlg.List()->topLevelItem(1)).center().y());
    QTest::mouseClick(dlg.List()->viewport(), Qt::LeftButton, Qt::NoModifier, ptName);
    QTest::mouseDClick(dlg.List()->viewport(), Qt::LeftButton, Qt::NoModifier, ptName);
    EXPECT_TRUE(bSheetSeen);
    EXPECT_EQ(m_list[1].m_dtNextSending.nYear, 2031);
    bSheetSeen = false;
    QTimer::singleShot(0, [&] { bSheetSeen = PressSheetButton(1063); });
    QTest::keyClick(dlg.List(), Qt::Key_Return);
    EXPECT_TRUE(bSheetSeen) << "Enter on a row edits its schedule";

    boxes.m_vecShown.clear();
    boxes.m_nYesNoAnswer = CMessageBox::IDYES;
    QTest::keyClick(dlg.List(), Qt::Key_Delete);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kRemoveQuestion("Task 2")});
    EXPECT_EQ(boxes.Flags().back(), CMessageBox::MB_YESNO | CMessageBox::MB_ICONQUESTION | CMessageBox::MB_DEFBUTTON2);
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 1", "Task 3"}));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Task 1", "Task 3"}));
    EXPECT_TRUE(fs::exists(g_strDataDir + "t2.oft"));

    ASSERT_TRUE(pUndo->isEnabled());
    Click(dlg, CEmailManagerDlg::IDC_UNDO_REMOVE);
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 1", "Task 2", "Task 3"}));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Task 1", "Task 2", "Task 3"}));
    EXPECT_EQ(m_list[1].m_strTemplateFile, g_strDataDir + "t2.oft");
    EXPECT_EQ(dlg.List()->currentItem(), dlg.List()->topLevelItem(1)) << "the task is selected again";
    EXPECT_FALSE(pUndo->isEnabled()) << "one undo per remove";

    // Removed from the end, while another went meanwhile: back at the end.
    Select(dlg, 2);
    Click(dlg, CEmailManagerDlg::IDC_REMOVE);
    m_list.RemoveAt(0);
    Click(dlg, CEmailManagerDlg::IDC_UNDO_REMOVE);
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 2", "Task 3"}));
}

// The manager, the tool (writing the file, no host running) and the host
// protocol (the tool's requests, applied to a list as the add-in does) make
// each edit by the same rules: the same tasks, in the same order, with
// templates of the same names and contents, in each data folder.
TEST_F(EmailManagerTest, EveryWriterMakesTheSameEdit) {
    CBoxRecorder boxes;  // answers Yes to the remove question
    const CEnvScope codePage{"QUILLORY_CODEPAGE", "UTF-8"};
    const CTextCodec codec = CTextCodec::Open("UTF-8").Value();
    ASSERT_EQ(SaveSharedTaskList().Problem(), "");
    // A stranger's file where the second task's copy would go by its name.
    CTempDir::WriteFile(g_strDataDir + "t2.oft.oft", "not a template of this list");
    // The tool's folder and the protocol's start as copies of it, each list
    // naming the templates in its own folder.
    auto fnTwin = [&](const fs::path& dir) {
        fs::create_directories(dir);
        for (const auto& entry : fs::directory_iterator(m_dir))
            if (entry.is_regular_file()) fs::copy_file(entry.path(), dir / entry.path().filename());
        CTaskList twin = m_list;
        for (int i = 0; i < twin.GetSize(); ++i)
            twin[i].m_strTemplateFile = (dir / fs::path(m_list[i].m_strTemplateFile).filename()).string();
        EXPECT_EQ(CTaskListFile::SaveTaskList((dir / "emails.dat").string(), twin, codec).Problem(), "");
        return twin;
    };
    const fs::path toolDir = m_dir / "tool", protocolDir = m_dir / "protocol";
    (void)fnTwin(toolDir);  // the tool reads it from the file
    CTaskList protocolList = fnTwin(protocolDir);
    const std::string strToolFile = (toolDir / "emails.dat").string();
    const CEnvScope runtime{"XDG_RUNTIME_DIR", m_dir.c_str()};  // no host serves either file

    CEmailManagerDlg dlg;
    const struct {
        const char* pszName;
        int nRow;             // the manager's selected row
        int nButton;          // and its button
        std::string strTool;  // the tool's command line after --file
    } steps[] = {
        {"copy", 0, CEmailManagerDlg::IDC_COPY, "copy 1"},
        {"copy again", 0, CEmailManagerDlg::IDC_COPY, "copy 1"},
        {"copy over a stranger's file", 1, CEmailManagerDlg::IDC_COPY, "copy 2"},
        {"disable", 1, CEmailManagerDlg::IDC_DISABLE, "disable 2"},
        {"enable", 1, CEmailManagerDlg::IDC_ACTIVATE, "enable 2"},
        {"move up", 2, CEmailManagerDlg::IDC_MOVE_UP, "move 3 up"},
        {"move down", 0, CEmailManagerDlg::IDC_MOVE_DOWN, "move 1 down"},
        {"remove", 3, CEmailManagerDlg::IDC_REMOVE, "remove 4"},
    };
    // A list as its folder holds it: each task with its template's file
    // name and contents in place of its path.
    auto fnShape = [&](const fs::path& dir) {
        CTaskList list;
        EXPECT_EQ(CTaskListFile::LoadTaskList((dir / "emails.dat").string(), list, codec).Problem(), "");
        std::vector<std::string> vec;
        for (const CTaskItem& t : list) {
            const fs::path file(t.m_strTemplateFile);
            EXPECT_EQ(file.parent_path(), dir) << t.m_strTaskName;
            CTaskItem shown = t;
            shown.m_strTemplateFile = file.filename().string();
            vec.push_back(CTaskJson::ToJson(shown).dump() + " | " + CTempDir::ReadFile(file.string()));
        }
        return vec;
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.pszName);
        Select(dlg, step.nRow);
        Click(dlg, step.nButton);
        const std::string strCommand = std::string(QUILLORY_CLI) + " --codepage UTF-8 --file '" + strToolFile + "' " +
                                       step.strTool + " >/dev/null";
        ASSERT_EQ(std::system(strCommand.c_str()), 0) << strCommand;
        std::istringstream words(step.strTool);
        std::string strVerb, strTask, strTo;
        words >> strVerb >> strTask >> strTo;
        json jRequest = {{"command", strVerb}, {"task", strTask}};
        if (!strTo.empty()) jRequest["to"] = strTo;
        const CTaskListEdit::CContext ctx{protocolDir.string() + "/", 0, &codec, {}};
        const auto rDone = CTaskListEdit::ApplyAndSave(protocolList, jRequest, ctx, [&] {
            return CTaskListFile::SaveTaskList((protocolDir / "emails.dat").string(), protocolList, codec);
        });
        ASSERT_TRUE(rDone) << rDone.Problem();
        const auto vecManager = fnShape(m_dir);
        EXPECT_EQ(vecManager, fnShape(toolDir));
        EXPECT_EQ(vecManager, fnShape(protocolDir));
    }
    EXPECT_EQ(TaskNames(m_list),
              (std::vector<std::string>{"Task 3", "Task 1", "Task 2", "Copy of Task 1 (2)", "Copy of Task 2"}));
    EXPECT_EQ(CTempDir::ReadFile(g_strDataDir + "t2.oft.oft"), "not a template of this list");
    EXPECT_EQ(fs::path(m_list[4].m_strTemplateFile).filename(), "t2.oft (2).oft");
    EXPECT_EQ(fs::path(m_list[3].m_strTemplateFile).filename(), "t1.oft (2).oft") << "never the first copy's";
    EXPECT_TRUE(fs::exists(g_strDataDir + "t1.oft.oft")) << "a removed task's template stays";
}

// Copy never shares or replaces a template: a task whose template is

// Edit Email Message opens a message window only on a template the host can
// read; Copy never shares or replaces a template, so a task whose template is
// missing is not copied; New Email opens a window for a new task.
TEST_F(EmailManagerTest, MessageCommandsCheckTheTemplateAndOpenAMessageWindow) {
    CBoxRecorder boxes;
    m_list[0].m_strTemplateFile.clear();
    fs::remove(g_strDataDir + "t2.oft");
    CEmailManagerDlg dlg;
    Select(dlg, 1);
    Click(dlg, CEmailManagerDlg::IDC_COPY);
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 1", "Task 2", "Task 3"}));
    EXPECT_EQ(m_list.GetSize(), 3);
    const std::vector<std::string> vecTold = boxes.Told();
    ASSERT_EQ(vecTold.size(), 1u);
    EXPECT_EQ(vecTold[0].rfind("Failed to copy the task.\n\ntemplateFile: cannot copy " + g_strDataDir + "t2.oft", 0),
              0u)
        << vecTold[0];
    for (int nRow : {0, 1, 2}) {  // the last readable, but the host cannot read it as a message
        Select(dlg, nRow);
        Click(dlg, CEmailManagerDlg::IDC_EDIT_EMAIL);
    }
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{"The path of the template is empty!", "Failed to read the template file!",
                                        "Failed to open the email message!"}));
    EXPECT_EQ(boxes.Flags(), std::vector<unsigned>(3, CMessageBox::MB_OK | CMessageBox::MB_ICONERROR));
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_FALSE(fs::exists(g_strDataDir + "emails.dat")) << "nothing changed, nothing written";

    CMailMessage msg;
    msg.strSubject = "Task 3";
    msg.vecTo = {"a@example.com"};
    ASSERT_EQ(m_backend.SaveTemplate(m_list[2].m_strTemplateFile, msg).Problem(), "");
    Click(dlg, CEmailManagerDlg::IDC_EDIT_EMAIL);
    const std::string strWhere =
        " the email message.\n\nThe button is on the \"Quillory\" toolbar of the message window.";
    EXPECT_EQ(boxes.Texts().back(), "Please click on \"Quillory Options\" button after editing" + strWhere);
    EXPECT_EQ(boxes.Flags().back(), CMessageBox::MB_OK | CMessageBox::MB_ICONINFORMATION);
    EXPECT_EQ(g_nCurTaskIndex, 2);
    EXPECT_EQ(m_spApp->OpenInspectors().size(), 1u);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    CEmailManagerDlg again;
    Click(again, CEmailManagerDlg::IDC_NEW_EMAIL);
    EXPECT_EQ(boxes.Texts().back(), "Please click on \"Quillory Options\" button after composing" + strWhere);
    EXPECT_EQ(boxes.Flags().back(), CMessageBox::MB_OK | CMessageBox::MB_ICONINFORMATION);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(g_nCurTaskIndex, -1);
    EXPECT_EQ(m_spApp->OpenInspectors().size(), 2u);
}

// The menu's and the About window's links open their pages; About's are
// hit strictly inside, hold the mouse with the hand over them, and a
// licence nothing can open is reported with its place.
TEST_F(EmailManagerTest, LinksOpenTheirPagesAndAboutsAreHitStrictlyInside) {
    CUrlCatcher urls;
    CBoxRecorder boxes;
    CEmailManagerDlg manager;
    manager.OnWebSite();
    manager.OnSupport();
    // A link without a scheme is taken as a web address; nothing is no link.
    EXPECT_EQ(OpenUrl("www.example.com"), 1);
    EXPECT_EQ(OpenUrl(""), 0);
    ASSERT_EQ(urls.m_vecUrls.size(), 3u);
    EXPECT_TRUE(urls.m_vecUrls[0].startsWith("https://"));
    EXPECT_TRUE(urls.m_vecUrls[1].contains("support"));
    EXPECT_EQ(urls.m_vecUrls[2], "http://www.example.com");
    urls.m_vecUrls.clear();

    CAboutDlg dlg;
    dlg.show();
    QApplication::processEvents();
    auto mouse = [&](QEvent::Type type, const QPoint& pt) {
        QMouseEvent ev(type, QPointF(pt), QPointF(dlg.mapToGlobal(pt)),
                       type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &ev);
    };
    auto release = [&](int nId) { mouse(QEvent::MouseButtonRelease, dlg.LinkRect(nId).center()); };
    const QRect rc = dlg.LinkRect(CAboutDlg::IDC_WEB_LINK);
    ASSERT_FALSE(rc.isEmpty());
    EXPECT_EQ(dlg.LinkAt(QPoint(rc.left(), rc.center().y())), 0);  // on the border
    EXPECT_EQ(dlg.LinkAt(QPoint(rc.left() + 1, rc.center().y())), CAboutDlg::IDC_WEB_LINK);
    EXPECT_EQ(dlg.LinkAt(QPoint(rc.center().x(), rc.bottom() + 1)), 0);
    release(CAboutDlg::IDC_WEB_LINK);
    release(CAboutDlg::IDC_MAIL_LINK);
    ASSERT_EQ(urls.m_vecUrls.size(), 2u);
    EXPECT_TRUE(urls.m_vecUrls[1].startsWith("mailto:"));
    release(CAboutDlg::IDC_LICENSE_LINK);  // no document yet
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_TRUE(Contains(boxes.Texts()[0], "license.rtf"));
    // No program for the document's kind: the desktop's opener says yes
    // either way, so xdg-mime (a stand-in on PATH) is asked for the program.
    std::ofstream(g_strInstallDir + "license.rtf") << "{\\rtf1 licence}";
    FakeDefaultProgram("");
    release(CAboutDlg::IDC_LICENSE_LINK);
    EXPECT_EQ(urls.m_vecUrls.size(), 2u);
    ASSERT_EQ(boxes.Texts().size(), 2u);
    EXPECT_EQ(boxes.Texts()[1], "No program could open the licence document. You can open it yourself: it is \"" +
                                    g_strInstallDir + "license.rtf\".");
    EXPECT_EQ(boxes.Flags()[1], CMessageBox::MB_OK | CMessageBox::MB_ICONERROR);
    FakeDefaultProgram("writer.desktop");
    release(CAboutDlg::IDC_LICENSE_LINK);
    ASSERT_EQ(urls.m_vecUrls.size(), 3u);
    EXPECT_TRUE(urls.m_vecUrls[2].endsWith("license.rtf"));
    EXPECT_EQ(boxes.Texts().size(), 2u);

    // Over a link the hand shows and the dialog holds the mouse; on the
    // border the arrow is back and the mouse is free.
    const QRect rcLicence = dlg.LinkRect(CAboutDlg::IDC_LICENSE_LINK);
    const struct {
        QPoint pt;
        bool bOver;
    } kMoves[] = {{{rcLicence.left() + 1, rcLicence.center().y()}, true},
                  {{rcLicence.right() - 1, rcLicence.bottom()}, true},  // the last pixel row inside
                  {{rcLicence.left(), rcLicence.center().y()}, false}};
    for (const auto& move : kMoves) {
        mouse(QEvent::MouseMove, move.pt);
        EXPECT_EQ(dlg.cursor().shape(), move.bOver ? Qt::PointingHandCursor : Qt::ArrowCursor) << move.pt.y();
        EXPECT_EQ(QWidget::mouseGrabber(), move.bOver ? &dlg : nullptr) << move.pt.y();
    }
    // Closed while over a link, the dialog lets the mouse go.
    mouse(QEvent::MouseMove, rcLicence.center());
    dlg.close();
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    // The add-in's own picture, not a stock one, and the host by its own name.
    auto* pIcon = dlg.findChild<QLabel*>("addinIcon");
    ASSERT_TRUE(pIcon);
    EXPECT_EQ(pIcon->pixmap().toImage(), CAddinIcon::Pixmap(32).toImage());
    std::vector<std::string> vecTexts;
    for (const QLabel* p : dlg.findChildren<QLabel*>()) vecTexts.push_back(p->text().toStdString());
    EXPECT_NE(std::find(vecTexts.begin(), vecTexts.end(), "Quillory Using Mail Host"), vecTexts.end());
}

// The sheet opens on the selected task's schedule, owned by the manager and
// centred over it, and leaves no task position behind (left at 1, the next
// message window opened in the host would become an edit of this task).
// While it is open the list can change under it (its event loop runs the
// scheduler and the host): "Schedule" stores its task, keeping the template,
// wherever it moved, never over the neighbour now in its row, and as a task
// of its own when it was removed meanwhile; Cancel stores nothing.
TEST_F(EmailManagerTest, EditScheduleStoresItsOwnTaskWhateverTheListDidMeanwhile) {
    CBoxRecorder boxes;
    MakeSecondTaskDaily();
    CEmailManagerDlg dlg;
    dlg.move(40, 30);
    dlg.show();
    const std::vector<std::string> vecKept = {"Task 1", "Task 2", "Task 3"}, vecMoved = {"Task 1", "Task 3", "Task 2"};
    const struct {
        const char* pszName;
        int nButton;
        std::function<void()> fnMeanwhile;
        std::vector<std::string> vecNames;
    } kRounds[] = {
        {"cancelled", 1063, {}, vecKept},
        {"scheduled", 1002, {}, vecKept},
        {"moved meanwhile", 1002, [&] { m_list.MoveDown(1); }, vecMoved},
        {"removed meanwhile", 1002, [&] { m_list.RemoveAt(1); }, vecMoved},
    };
    size_t nScheduled = 0;
    for (const auto& round : kRounds) {
        SCOPED_TRACE(round.pszName);
        if (m_list[1].m_strTaskName != "Task 2") m_list.MoveUp(2);
        m_list[1].m_dtNextSending = {2013, 5, 8, 4, 9, 5, 1};
        dlg.OnTimer();
        g_nCurTaskIndex = 0;  // a stale position from before
        Select(dlg, 1);
        QWidget* pOwner = nullptr;
        QPoint ptOffset(999, 999);
        int nSeenIndex = -2;
        QTimer::singleShot(0, [&] {
            QWidget* pSheet = QApplication::activeModalWidget();
            if (!pSheet) return;
            pOwner = pSheet->parentWidget();
            ptOffset = pSheet->frameGeometry().center() - dlg.frameGeometry().center();
            nSeenIndex = g_nCurTaskIndex;
            if (round.fnMeanwhile) round.fnMeanwhile();
            PressSheetButton(round.nButton);
        });
        Click(dlg, CEmailManagerDlg::IDC_EDIT_SCHEDULE);
        EXPECT_EQ(pOwner, &dlg);
        EXPECT_LE(ptOffset.manhattanLength(), 2) << ptOffset.x() << "," << ptOffset.y();
        EXPECT_EQ(nSeenIndex, 1);
        EXPECT_EQ(g_nCurTaskIndex, -1);
        EXPECT_EQ(g_nCurTaskId, CTaskList::kNoId);
        const bool bStored = round.nButton == 1002;
        nScheduled += bStored;
        EXPECT_EQ(TaskNames(m_list), round.vecNames);
        EXPECT_EQ(SavedNames(), nScheduled ? round.vecNames : std::vector<std::string>{});
        for (int i = 0; i < m_list.GetSize(); ++i) {
            const bool bEdited = m_list[i].m_strTaskName == "Task 2";
            EXPECT_EQ(m_list[i].m_dtNextSending.nYear, bEdited && bStored ? 2031 : 2013) << m_list[i].m_strTaskName;
            EXPECT_EQ(m_list[i].m_strTemplateFile, g_strDataDir + "t" + m_list[i].m_strTaskName.back() + ".oft");
        }
        ASSERT_EQ(boxes.Texts().size(), nScheduled) << "Cancel stores nothing and says nothing";
        for (const std::string& str : boxes.Texts())
            EXPECT_EQ(str.rfind("This email message has been scheduled.", 0), 0u) << str;
    }
    EXPECT_EQ(Cell(dlg, 2, 1), "Tuesday, May 6, 2031 09:05");
}
TEST_F(EmailManagerTest, TheRulesPageKeepsItsRulesBesideTheTaskAndTheRowShowsThem) {
    CBoxRecorder boxes;
    MakeSecondTaskDaily();
    CFixedClock clock(ValueOf(TaskTime::ToAbsolute(2031, 5, 1, 12, 0)));
    CTaskHistoryFile store(g_strDataDir + CTaskHistoryFile::kFileName, clock);
    g_pTaskHistory = &store;
    const std::string strKey = CTaskHistory::KeyOf(m_list[1].m_strTemplateFile);
    store.SetSettings(strKey, {{"rules", {{"missed", "latest"}}}});
    CEmailManagerDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.List()->topLevelItem(1)->data(CEmailManagerDlg::kScheduleColumn, CEmailManagerDlg::kRulesRole), true);
    EXPECT_EQ(dlg.List()->topLevelItem(0)->data(CEmailManagerDlg::kScheduleColumn, CEmailManagerDlg::kRulesRole),
              false);
    struct {
        std::string strZone;
        std::string strStopped;  // the box that stops the sheet; empty: stored
    } arrSteps[] = {{"Mars/Olympus_Mons", "Time zone: \"Mars/Olympus_Mons\" is not a zone"}, {"Asia/Tokyo", ""}};
    for (const auto& step : arrSteps) {
        SCOPED_TRACE(step.strZone);
        const size_t nBoxes = boxes.Texts().size();
        Select(dlg, 1);
        std::string strSeenMissed;
        QTimer::singleShot(0, [&] {
            auto* pSheet = qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
            if (!pSheet) return;
            CRulesPage& page = pSheet->RulesPage();
            strSeenMissed = page.Missed().currentText().toStdString();
            page.WorkingDay(1)->setChecked(true);  // Sunday
            page.OnDayOff().setCurrentIndex(1);    // before
            page.Zone().setCurrentText(QString::fromStdString(step.strZone));
            PressSheetButton(1002);
            if (!step.strStopped.empty()) PressSheetButton(1063);
        });
        Click(dlg, CEmailManagerDlg::IDC_EDIT_SCHEDULE);
        EXPECT_EQ(strSeenMissed, "Send only the latest");
        if (!step.strStopped.empty()) {
            ASSERT_GT(boxes.Texts().size(), nBoxes);
            EXPECT_EQ(boxes.Texts()[nBoxes].rfind(step.strStopped, 0), 0u) << boxes.Texts()[nBoxes];
            EXPECT_EQ(store.SettingsOf(strKey)["rules"], (nlohmann::json{{"missed", "latest"}}));
            continue;
        }
        EXPECT_EQ(
            store.SettingsOf(strKey)["rules"],
            (nlohmann::json{
                {"missed", "latest"}, {"onHoliday", "before"}, {"workingDays", "sun-fri"}, {"zone", "Asia/Tokyo"}}));
    }
    EXPECT_EQ(Cell(dlg, 1, CEmailManagerDlg::kScheduleColumn),
              "Every day at 09:05 (Working days, before a holiday; in Asia/Tokyo; only the latest missed)");

    // Undo Remove brings back the same task: its identity, results and rules, in memory and on disk.
    CTaskOutcome sent;
    sent.kind = CTaskOutcome::EKind::Sent;
    sent.strOccurrence = "2031-04-30 09:05";
    store.History().Record(strKey, sent);
    const std::string strId = store.IdOf(strKey);
    const CTaskHistoryFile::CKept kept = store.Kept(strKey);
    boxes.m_nYesNoAnswer = CMessageBox::IDYES;
    Select(dlg, 1);
    Click(dlg, CEmailManagerDlg::IDC_REMOVE);
    EXPECT_TRUE(store.SettingsOf(strKey).empty()) << "a removed task's entry goes with the save";
    Click(dlg, CEmailManagerDlg::IDC_UNDO_REMOVE);
    const auto rOnDisk = CTaskHistoryFile::ReadBeside(g_strDataDir + "emails.dat");
    ASSERT_TRUE(rOnDisk) << rOnDisk.Problem();
    const auto& diskResults = rOnDisk->history.Of(strKey);
    const std::pair<const char*, CTaskHistoryFile::CKept> arrBack[] = {
        {"in memory", store.Kept(strKey)},
        {"on disk", {rOnDisk->mapEntries.at(strKey), {diskResults.begin(), diskResults.end()}}}};
    for (const auto& [pszWhere, back] : arrBack) {
        EXPECT_EQ(back.entry, kept.entry) << pszWhere;
        EXPECT_EQ(back.entry.strId, strId) << pszWhere;
        ASSERT_EQ(back.results.size(), 1u) << pszWhere;
        EXPECT_EQ(back.results[0].strOccurrence, sent.strOccurrence) << pszWhere;
    }
    EXPECT_EQ(Cell(dlg, 1, CEmailManagerDlg::kScheduleColumn),
              "Every day at 09:05 (Working days, before a holiday; in Asia/Tokyo; only the latest missed)");
    g_pTaskHistory = nullptr;
}

// The sheet stores what it worked out when Schedule was pressed: a sending
// made while it (or its notice) was still open would be undone and made
// again. The task it edits is left alone until it is gone, then sent once.
TEST_F(EmailManagerTest, ATaskIsNotSentWhileItsSheetIsOpenAndOnceAfter) {
    CFixedClock clock(ValueOf(TaskTime::ToAbsolute(2031, 5, 6, 9, 4, 50)));
    g_pClock = &clock;
    std::vector<std::string> vecSent;
    CSendContext ctx = SendingSecondTask(clock, vecSent, {});
    ctx.fnHeld = CSendingHold::IsHeld;
    CSendEmailDlg sender(ctx);
    // The notice after Schedule comes at 09:05:10, and the scheduler ticks under it.
    CMessageBox::SetHandler([&](const std::string&, const std::string&, unsigned) {
        clock.Set(ValueOf(TaskTime::ToAbsolute(2031, 5, 6, 9, 5, 10)));
        sender.OnTimer();
        return CMessageBox::IDOK;
    });
    CEmailManagerDlg dlg;
    Select(dlg, 1);
    QTimer::singleShot(0, [&] { EXPECT_TRUE(PressSheetButton(1002)); });
    Click(dlg, CEmailManagerDlg::IDC_EDIT_SCHEDULE);
    CMessageBox::SetHandler({});
    EXPECT_TRUE(vecSent.empty()) << "sent while the sheet was open";
    for (int i = 0; i < 3; ++i) sender.OnTimer();
    EXPECT_EQ(vecSent, std::vector<std::string>{"2031-05-06 09:05"});
    EXPECT_EQ(TaskTime::Format(m_list[1].m_dtNextSending), "2031-05-07 09:05");
    g_pClock = nullptr;
}

// Removed while its message was being sent (a send runs the event loop),
// then brought back: it comes back past the occurrence that went out.
TEST_F(EmailManagerTest, ATaskRemovedDuringItsSendComesBackPastIt) {
    CBoxRecorder boxes;  // Remove's question answered Yes
    CFixedClock clock(ValueOf(TaskTime::ToAbsolute(2031, 5, 6, 9, 5, 10)));
    CEmailManagerDlg dlg;
    std::vector<std::string> vecSent;
    CSendEmailDlg sender(SendingSecondTask(clock, vecSent, [&] {
        if (vecSent.size() > 1) return;
        Select(dlg, 1);
        Click(dlg, CEmailManagerDlg::IDC_REMOVE);
    }));
    g_pSendEmailDlg = &sender;
    sender.OnTimer();
    ASSERT_EQ(m_list.GetSize(), 2) << "removed during the send";
    Click(dlg, CEmailManagerDlg::IDC_UNDO_REMOVE);
    for (int i = 0; i < 3; ++i) sender.OnTimer();
    g_pSendEmailDlg = nullptr;
    EXPECT_EQ(vecSent, std::vector<std::string>{"2031-05-06 09:05"});
    ASSERT_EQ(m_list.GetSize(), 3);
    EXPECT_EQ(TaskTime::Format(m_list[1].m_dtNextSending), "2031-05-07 09:05");
    EXPECT_EQ(m_list[1].m_nOccurrenceCount, 1);
}

// The tool may change the list while the window is open: a command acts on
// the task its row shows, before the rows are refreshed and after, and on
// none when that task is gone.
TEST_F(EmailManagerTest, CommandsActOnTheTaskTheRowShowsWhateverTheListDidMeanwhile) {
    CBoxRecorder boxes;
    CEmailManagerDlg dlg;
    Select(dlg, 1);      // Task 2
    m_list.RemoveAt(0);  // Task 2, Task 3: not refreshed yet
    Click(dlg, CEmailManagerDlg::IDC_DISABLE);
    EXPECT_EQ(m_list[0].m_bActive, 0) << "Task 2";
    EXPECT_EQ(m_list[1].m_bActive, 1) << "Task 3";
    m_list.MoveDown(0);  // Task 3, Task 2
    dlg.OnTimer();
    Click(dlg, CEmailManagerDlg::IDC_ACTIVATE);
    EXPECT_EQ(m_list[1].m_bActive, 1) << "the selection followed Task 2";
    m_list.RemoveAt(1);
    Click(dlg, CEmailManagerDlg::IDC_DISABLE);
    EXPECT_EQ(m_list[0].m_bActive, 1) << "Task 3 is not taken for the task that went";
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Please select an email message item."});
}

// The list saved, the store beside it not: the change stands, and the user is told.
TEST_F(EmailManagerTest, AStoreThatCannotBeSavedAfterTheListIsTold) {
    CBoxRecorder boxes;  // Remove's question answered Yes
    const CFixedClock clock(0);
    CTaskHistoryFile store(g_strDataDir + CTaskHistoryFile::kFileName, clock);
    g_pTaskHistory = &store;
    fs::create_directory(g_strDataDir + CTaskHistoryFile::kFileName);  // cannot be replaced
    CEmailManagerDlg dlg;
    Select(dlg, 0);
    Click(dlg, CEmailManagerDlg::IDC_REMOVE);
    g_pTaskHistory = nullptr;
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Task 2", "Task 3"}));
    ASSERT_EQ(boxes.Texts().size(), 2u);
    EXPECT_TRUE(
        Contains(boxes.Texts()[1], "The task list is saved, but what is kept beside it (results, rules) is not: "))
        << boxes.Texts()[1];
}

// At its default size the four key columns are all in view, a text too
// long for its column is whole in the tooltip; the user's size and column
// widths are there again next time; rows of tasks removed elsewhere go.
TEST_F(EmailManagerTest, KeyColumnsFitTheDefaultSizeAndTheUsersLayoutIsKept) {
    m_list[0].m_strTaskName = "A task whose name is much longer than any column would ever be made for it";
    {
        CEmailManagerDlg dlg;
        dlg.show();
        QCoreApplication::processEvents();
        EXPECT_LT(dlg.minimumWidth(), dlg.maximumWidth()) << "resizable";
        QHeaderView* pHeader = dlg.List()->header();
        const int nViewport = dlg.List()->viewport()->width();
        for (int nColumn : {CEmailManagerDlg::kNameColumn, CEmailManagerDlg::kNextSendingColumn,
                            CEmailManagerDlg::kLastResultColumn, CEmailManagerDlg::kScheduleColumn}) {
            SCOPED_TRACE(nColumn);
            EXPECT_GE(pHeader->sectionViewportPosition(nColumn), 0);
            EXPECT_LE(pHeader->sectionViewportPosition(nColumn) + pHeader->sectionSize(nColumn), nViewport);
            EXPECT_GE(pHeader->sectionSize(nColumn), 100);
        }
        const QString strNext = dlg.List()->topLevelItem(1)->text(CEmailManagerDlg::kNextSendingColumn);
        EXPECT_LE(dlg.List()->fontMetrics().horizontalAdvance(strNext) + 8,
                  pHeader->sectionSize(CEmailManagerDlg::kNextSendingColumn))
            << "a date is never cut";
        EXPECT_EQ(dlg.List()->topLevelItem(0)->toolTip(CEmailManagerDlg::kScheduleColumn),
                  dlg.List()->topLevelItem(0)->text(CEmailManagerDlg::kScheduleColumn));
        dlg.resize(1234, 567);
        dlg.List()->setColumnWidth(CEmailManagerDlg::kNameColumn, 321);
        m_list.RemoveAt(2);
        dlg.OnTimer();
        EXPECT_EQ(Rows(dlg).size(), 2u);
        dlg.close();
    }
    CEmailManagerDlg again;
    EXPECT_EQ(again.size(), QSize(1234, 567));
    EXPECT_EQ(again.List()->columnWidth(CEmailManagerDlg::kNameColumn), 321);
    ASSERT_TRUE(fs::exists(CAddinSettings::Path()));
    EXPECT_EQ(fs::status(CAddinSettings::Path()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << "the user's own";

    // A FIFO in its place is neither read (which would stall the window) nor written.
    fs::remove(CAddinSettings::Path());
    ASSERT_EQ(::mkfifo(CAddinSettings::Path().c_str(), 0600), 0);
    {
        CEmailManagerDlg withFifo;
        withFifo.show();
        QCoreApplication::processEvents();
        withFifo.close();
    }
    EXPECT_TRUE(fs::is_fifo(CAddinSettings::Path()));
    fs::remove(CAddinSettings::Path());
}

// The Email Manager's commands run from inside a send, as a nested event
// loop (receiving first, a host prompt) would deliver them: whatever the
// user does, no task is lost or doubled, the user's edits stay, and the sent
// task is advanced exactly once, or not at all when it was removed or
// rescheduled meanwhile. The expected list is kept by the test's own rules.
namespace {

TaskDateTime At(time_t t) { return TaskTime::FromAbsolute(t); }

// What the test expects of one task; tag is its template path, which no
// command here changes, so the test can tell tasks apart however renamed.
struct CExpected {
    std::string strTag;
    std::string strName;
    int32_t bActive = 1;
    int32_t nCount = 0;
    TaskDateTime dtLast, dtNext;
    bool SameSchedule(const CExpected& o) const {
        return nCount == o.nCount && dtLast == o.dtLast && dtNext == o.dtNext;
    }
};

class NestedEditsTest : public ::testing::TestWithParam<const char*> {
protected:
    NestedEditsTest() : m_zone(GetParam()) {
        g_strDataDir = m_dir.string() + "/";
        g_pTaskList = &m_list;
    }
    ~NestedEditsTest() override { g_pTaskList = nullptr; }

    CZoneGuard m_zone;
    CBoxRecorder m_boxes;  // every question answered Yes
    CTempDir m_tmp;
    const fs::path m_dir{m_tmp.Path()};
    CTaskList m_list;
};

TEST_P(NestedEditsTest, CommandsDuringASendNeverLoseDoubleOrUndo) {
    const time_t tTen = ValueOf(TaskTime::ToAbsolute(2026, 3, 2, 10, 0));
    for (unsigned nSeed = 1; nSeed <= 60; ++nSeed) {
        SCOPED_TRACE("seed " + std::to_string(nSeed));
        std::mt19937 rng(nSeed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        m_list.RemoveAll();
        std::vector<CExpected> vecModel;
        int nTags = 0;
        for (int i = 0; i < pick(2, 7); ++i) {
            CTaskItem t;
            t.m_bActive = 1;
            t.m_strTaskName = "task " + std::to_string(i);
            t.m_strTemplateFile = g_strDataDir + "tag" + std::to_string(nTags++);
            CTempDir::WriteFile(t.m_strTemplateFile, "Subject: " + t.m_strTaskName + "\n\nbody\n");
            t.m_nRecurrence = 1;
            t.m_nMinuteInterval = 5;
            t.m_nEndKind = 0;
            t.m_bSendOverdue = 1;
            t.m_dtStart = At(tTen - 3600);
            t.m_dtLastSent = At(tTen - 300);
            t.m_dtNextSending = At(pick(0, 2) ? tTen : tTen + 300);
            m_list.Add(t);
            vecModel.push_back({t.m_strTemplateFile, t.m_strTaskName, 1, 0, t.m_dtLastSent, t.m_dtNextSending});
        }
        auto find = [&](const std::string& strTag) {
            const auto it = std::find_if(vecModel.begin(), vecModel.end(), [&](auto& e) { return e.strTag == strTag; });
            return it == vecModel.end() ? -1 : static_cast<int>(it - vecModel.begin());
        };

        CEmailManagerDlg dlg;
        // The advance the scheduler owes the task being sent, settled once
        // its send is over: only when its schedule is still what it was.
        std::string strPendingTag;
        CExpected pendingBefore;
        auto settle = [&] {
            if (strPendingTag.empty()) return;
            const int k = find(strPendingTag);
            if (k >= 0 && vecModel[k].SameSchedule(pendingBefore)) {
                CExpected& e = vecModel[k];
                e.nCount += 1;
                e.dtLast = e.dtNext;
                e.dtNext = At(ValueOf(TaskTime::ToAbsolute(e.dtNext)) + 300);
            }
            strPendingTag.clear();
        };
        std::set<std::string> setSent;  // tag and occurrence: each goes out once

        CFixedClock clock(tTen + 10);
        CSendContext ctx;
        ctx.fnTaskList = [] { return g_pTaskList; };
        ctx.pClock = &clock;
        ctx.fnSend = [&](const CTaskItem& t) {
            settle();
            EXPECT_TRUE(setSent.insert(t.m_strTemplateFile + "@" + TaskTime::Format(t.m_dtNextSending)).second)
                << "sent twice: " << t.m_strTaskName;
            const int kSent = find(t.m_strTemplateFile);
            EXPECT_GE(kSent, 0) << "a task that is not in the list was sent";
            if (kSent < 0) return true;
            strPendingTag = t.m_strTemplateFile;
            pendingBefore = vecModel[kSent];
            const int kButtons[] = {CEmailManagerDlg::IDC_MOVE_UP, CEmailManagerDlg::IDC_MOVE_DOWN,
                                    CEmailManagerDlg::IDC_REMOVE,  CEmailManagerDlg::IDC_ACTIVATE,
                                    CEmailManagerDlg::IDC_DISABLE, CEmailManagerDlg::IDC_COPY};
            for (int nOps = pick(1, 3); nOps > 0 && !vecModel.empty(); --nOps) {
                const int r = pick(0, static_cast<int>(vecModel.size()) - 1);
                const int nOp = pick(0, 7);
                if (nOp < 6) {
                    dlg.OnTimer();
                    dlg.List()->setCurrentItem(dlg.List()->topLevelItem(r));
                    qobject_cast<QPushButton*>(dlg.Control(kButtons[nOp]))->click();
                }
                switch (nOp) {
                    case 0:
                        if (r > 0) std::swap(vecModel[r], vecModel[r - 1]);
                        break;
                    case 1:
                        if (r + 1 < static_cast<int>(vecModel.size())) std::swap(vecModel[r], vecModel[r + 1]);
                        break;
                    case 2: vecModel.erase(vecModel.begin() + r); break;
                    case 3:
                    case 4: vecModel[r].bActive = nOp == 3; break;
                    case 5: {
                        CExpected copy = vecModel[r];
                        // Names stay unique: " (2)", " (3)", ... where "Copy of" it is taken.
                        const std::string strBase = "Copy of " + copy.strName;
                        copy.strName = strBase;
                        for (int n = 2; std::any_of(vecModel.begin(), vecModel.end(),
                                                    [&](const CExpected& e) { return e.strName == copy.strName; });
                             ++n)
                            copy.strName = strBase + " (" + std::to_string(n) + ")";
                        copy.strTag = g_strDataDir + "tag" + std::to_string(nTags++);
                        CTempDir::WriteFile(copy.strTag, "Subject: copy\n\nbody\n");
                        vecModel.push_back(copy);
                        // Its own tag, for the test's bookkeeping only.
                        CTaskItem t = static_cast<const CTaskList&>(m_list)[m_list.GetSize() - 1];
                        EXPECT_EQ(t.m_strTaskName, copy.strName);
                        t.m_strTemplateFile = copy.strTag;
                        m_list.SetAt(m_list.GetSize() - 1, t);
                        break;
                    }
                    case 6: {  // what "Edit Schedule Options..." writes back: a new schedule
                        CTaskItem t = static_cast<const CTaskList&>(m_list)[r];
                        t.m_nOccurrenceCount = 0;
                        t.m_dtLastSent.Empty();
                        t.m_dtNextSending = At(tTen + 7200);
                        m_list.SetAt(r, t);
                        vecModel[r].nCount = 0;
                        vecModel[r].dtLast = {};
                        vecModel[r].dtNext = t.m_dtNextSending;
                        break;
                    }
                    default: {  // a rename, schedule untouched
                        CTaskItem t = static_cast<const CTaskList&>(m_list)[r];
                        t.m_strTaskName += "'";
                        m_list.SetAt(r, t);
                        vecModel[r].strName = t.m_strTaskName;
                    }
                }
            }
            return true;
        };
        CSendEmailDlg sender(ctx);
        for (int nTick = 0; nTick < 3; ++nTick) {
            sender.OnTimer();
            settle();
        }
        ASSERT_EQ(m_list.GetSize(), static_cast<int>(vecModel.size()));
        for (int k = 0; k < m_list.GetSize(); ++k) {
            const CTaskItem& t = m_list[k];
            const CExpected& e = vecModel[k];
            SCOPED_TRACE("row " + std::to_string(k) + " " + e.strName);
            EXPECT_EQ(t.m_strTemplateFile, e.strTag);
            EXPECT_EQ(t.m_strTaskName, e.strName);
            EXPECT_EQ(t.m_bActive, e.bActive);
            EXPECT_EQ(t.m_nOccurrenceCount, e.nCount);
            EXPECT_EQ(TaskTime::Format(t.m_dtLastSent), TaskTime::Format(e.dtLast));
            EXPECT_EQ(TaskTime::Format(t.m_dtNextSending), TaskTime::Format(e.dtNext));
        }
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, NestedEditsTest, ::testing::Values("UTC", "Europe/Berlin", "Australia/Lord_Howe"),
                         [](const auto& info) { return ZoneTestName(info.param); });

}  // namespace

#include "EmailManagerTest.moc"
