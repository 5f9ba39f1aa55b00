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
#include <filesystem>
#include <fstream>
#include <functional>
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
#include "ResultValue.h"
#include "SharedState.h"
#include "TaskNames.h"
#include "TaskTime.h"

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
    // Presses the button with this control id (1002 "Schedule", 1063
    // "Cancel") of the options sheet that is open; false when there is none.
    static bool PressSheetButton(int nControlId) {
        QWidget* pSheet = QApplication::activeModalWidget();
        if (!pSheet) return false;
        for (QPushButton* p : pSheet->findChildren<QPushButton*>())
            if (p->property("controlId").toInt() == nControlId) {
                p->click();
                return true;
            }
        return false;
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
    // A left button released at pt in the About window.
    static void ReleaseAt(CAboutDlg& dlg, const QPoint& pt) {
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(pt), QPointF(dlg.mapToGlobal(pt)), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &up);
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

}  // namespace

TEST_F(EmailManagerTest, RowsShowNamesMarksAndNextSendingTimes) {
    m_list[1].m_dtNextSending.Empty();
    m_list[2].m_bActive = 0;
    CEmailManagerDlg dlg;
    ASSERT_EQ(dlg.List()->topLevelItemCount(), 3);
    EXPECT_EQ(Cell(dlg, 0, 1), "Tuesday, May 7, 2013 09:05");
    EXPECT_EQ(Cell(dlg, 1, 1), "Completed");
    EXPECT_EQ(dlg.List()->topLevelItem(2)->data(0, Qt::UserRole).toInt(), 0);
    // A disabled task says so instead of a time it will not be sent at.
    EXPECT_EQ(Cell(dlg, 2, 1), "Disabled");
    EXPECT_EQ(Tip(dlg, 2, 1), "Not sent until activated; its stored next time is Thursday, May 9, 2013 09:05");
    EXPECT_EQ(dlg.List()->currentItem(), dlg.List()->topLevelItem(0));
    // The refresh shows what the scheduler changed meanwhile.
    m_list[0].m_dtNextSending = {2013, 5, 14, 3, 9, 5, 1};
    m_list[2].m_bActive = 1;
    dlg.OnTimer();
    EXPECT_EQ(Cell(dlg, 0, 1), "Tuesday, May 14, 2013 09:05");
    EXPECT_EQ(Cell(dlg, 2, 1), "Thursday, May 9, 2013 09:05");
    EXPECT_TRUE(dlg.List()->topLevelItem(2)->toolTip(1).isEmpty());
}

TEST_F(EmailManagerTest, CommandsNeedASelection) {
    m_list.RemoveAll();
    CBoxRecorder boxes;
    CEmailManagerDlg dlg;
    for (int nId : {CEmailManagerDlg::IDC_REMOVE, CEmailManagerDlg::IDC_COPY, CEmailManagerDlg::IDC_EDIT_SCHEDULE,
                    CEmailManagerDlg::IDC_EDIT_EMAIL})
        Click(dlg, nId);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>(4, "Please select an email message item."));
    EXPECT_EQ(boxes.Flags(), std::vector<unsigned>(4, CMessageBox::MB_OK | CMessageBox::MB_ICONWARNING));
    // Without a task there is no state to change and no place to move from.
    for (int nId : {CEmailManagerDlg::IDC_ACTIVATE, CEmailManagerDlg::IDC_DISABLE, CEmailManagerDlg::IDC_MOVE_UP,
                    CEmailManagerDlg::IDC_MOVE_DOWN})
        EXPECT_FALSE(dlg.Control(nId)->isEnabled()) << nId;
    EXPECT_FALSE(fs::exists(g_strDataDir + "emails.dat"));
}

TEST_F(EmailManagerTest, MovingReordersListRowsAndFile) {
    CEmailManagerDlg dlg;
    Select(dlg, 0);
    Click(dlg, CEmailManagerDlg::IDC_MOVE_UP);  // first row: nothing, nothing written
    EXPECT_FALSE(fs::exists(g_strDataDir + "emails.dat"));
    Click(dlg, CEmailManagerDlg::IDC_MOVE_DOWN);
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 2", "Task 1", "Task 3"}));
    EXPECT_EQ(dlg.List()->currentItem(), dlg.List()->topLevelItem(1));  // the selection follows the task
    Click(dlg, CEmailManagerDlg::IDC_MOVE_DOWN);
    Click(dlg, CEmailManagerDlg::IDC_MOVE_DOWN);  // now last: nothing
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Task 2", "Task 3", "Task 1"}));
}

// Remove names the task, defaults to No, keeps the template, and Undo
// Remove puts the task back where it stood, once.
TEST_F(EmailManagerTest, RemoveNamesTheTaskDefaultsToNoAndCanBeUndone) {
    CBoxRecorder boxes;
    CEmailManagerDlg dlg;
    QWidget* pUndo = dlg.Control(CEmailManagerDlg::IDC_UNDO_REMOVE);
    ASSERT_TRUE(pUndo);
    EXPECT_FALSE(pUndo->isEnabled()) << "nothing to undo yet";
    Select(dlg, 1);
    boxes.m_nYesNoAnswer = CMessageBox::IDNO;
    Click(dlg, CEmailManagerDlg::IDC_REMOVE);
    EXPECT_EQ(m_list.GetSize(), 3);
    EXPECT_FALSE(fs::exists(g_strDataDir + "emails.dat"));
    boxes.m_nYesNoAnswer = CMessageBox::IDYES;
    Click(dlg, CEmailManagerDlg::IDC_REMOVE);
    EXPECT_EQ(boxes.Texts().back(), kRemoveQuestion("Task 2"));
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
// missing is not copied, and the user is told why.
TEST_F(EmailManagerTest, ACopyWithoutATemplateIsRefusedAndSaysWhy) {
    CBoxRecorder boxes;
    CEmailManagerDlg dlg;
    fs::remove(g_strDataDir + "t2.oft");
    Select(dlg, 1);
    Click(dlg, CEmailManagerDlg::IDC_COPY);
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 1", "Task 2", "Task 3"}));
    EXPECT_EQ(m_list.GetSize(), 3);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(
        boxes.Texts()[0].rfind("Failed to copy the task.\n\ntemplateFile: cannot copy " + g_strDataDir + "t2.oft", 0),
        0u)
        << boxes.Texts()[0];
    EXPECT_EQ(boxes.Flags()[0], CMessageBox::MB_OK | CMessageBox::MB_ICONERROR);
    EXPECT_FALSE(fs::exists(g_strDataDir + "emails.dat")) << "nothing changed, nothing written";
}

TEST_F(EmailManagerTest, NewEmailOpensAMessageWindowForANewTask) {
    CBoxRecorder boxes;
    g_nCurTaskIndex = 2;
    CEmailManagerDlg dlg;
    Click(dlg, CEmailManagerDlg::IDC_NEW_EMAIL);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0],
              "Please click on \"Quillory Options\" button after composing the email message.\n\nThe button is on the "
              "\"Quillory\" toolbar of the message window.");
    EXPECT_EQ(boxes.Flags()[0], CMessageBox::MB_OK | CMessageBox::MB_ICONINFORMATION);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(g_nCurTaskIndex, -1);
    EXPECT_EQ(m_spApp->OpenInspectors().size(), 1u);
}

TEST_F(EmailManagerTest, EditEmailMessageChecksTheTemplate) {
    CBoxRecorder boxes;
    m_list[0].m_strTemplateFile.clear();
    fs::remove(g_strDataDir + "t2.oft");
    CEmailManagerDlg dlg;
    Select(dlg, 0);
    Click(dlg, CEmailManagerDlg::IDC_EDIT_EMAIL);
    Select(dlg, 1);
    Click(dlg, CEmailManagerDlg::IDC_EDIT_EMAIL);
    Select(dlg, 2);
    Click(dlg, CEmailManagerDlg::IDC_EDIT_EMAIL);  // readable, but the host cannot read it as a message
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{"The path of the template is empty!", "Failed to read the template file!",
                                        "Failed to open the email message!"}));
    EXPECT_EQ(boxes.Flags(), std::vector<unsigned>(3, CMessageBox::MB_OK | CMessageBox::MB_ICONERROR));
    EXPECT_EQ(dlg.result(), 0);
    // A template the host wrote opens in a message window for that task.
    CMailMessage msg;
    msg.strSubject = "Task 3";
    msg.vecTo = {"a@example.com"};
    ASSERT_EQ(m_backend.SaveTemplate(m_list[2].m_strTemplateFile, msg).Problem(), "");
    Click(dlg, CEmailManagerDlg::IDC_EDIT_EMAIL);
    EXPECT_EQ(boxes.Texts().back(),
              "Please click on \"Quillory Options\" button after editing the email message.\n\nThe button is on the "
              "\"Quillory\" toolbar of the message window.");
    EXPECT_EQ(boxes.Flags().back(), CMessageBox::MB_OK | CMessageBox::MB_ICONINFORMATION);
    EXPECT_EQ(g_nCurTaskIndex, 2);
    EXPECT_EQ(m_spApp->OpenInspectors().size(), 1u);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
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
    ASSERT_EQ(urls.m_vecUrls.size(), 2u);
    EXPECT_TRUE(urls.m_vecUrls[0].startsWith("https://"));
    EXPECT_TRUE(urls.m_vecUrls[1].contains("support"));
    // A link without a scheme is taken as a web address; nothing is no link.
    EXPECT_EQ(OpenUrl("www.example.com"), 1);
    EXPECT_EQ(urls.m_vecUrls.back(), "http://www.example.com");
    EXPECT_EQ(OpenUrl(""), 0);
    urls.m_vecUrls.clear();

    CAboutDlg dlg;
    dlg.show();
    QApplication::processEvents();
    const QRect rc = dlg.LinkRect(CAboutDlg::IDC_WEB_LINK);
    ASSERT_FALSE(rc.isEmpty());
    EXPECT_EQ(dlg.LinkAt(QPoint(rc.left(), rc.center().y())), 0);  // on the border
    EXPECT_EQ(dlg.LinkAt(QPoint(rc.left() + 1, rc.center().y())), CAboutDlg::IDC_WEB_LINK);
    EXPECT_EQ(dlg.LinkAt(QPoint(rc.center().x(), rc.bottom() + 1)), 0);
    auto release = [&](int nId) { ReleaseAt(dlg, dlg.LinkRect(nId).center()); };
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
    // border and off the links the arrow is back and the mouse is free.
    auto move = [&](const QPoint& pt) {
        QMouseEvent ev(QEvent::MouseMove, QPointF(pt), QPointF(dlg.mapToGlobal(pt)), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(&dlg, &ev);
    };
    const QRect rcLicence = dlg.LinkRect(CAboutDlg::IDC_LICENSE_LINK);
    move(QPoint(rcLicence.left() + 1, rcLicence.center().y()));
    EXPECT_EQ(dlg.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(QWidget::mouseGrabber(), &dlg);
    move(QPoint(rcLicence.right() - 1, rcLicence.bottom()));  // the last pixel row inside
    EXPECT_EQ(dlg.cursor().shape(), Qt::PointingHandCursor);
    move(QPoint(rcLicence.left(), rcLicence.center().y()));
    EXPECT_EQ(dlg.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
    // Closed while over a link, the dialog lets the mouse go.
    move(rcLicence.center());
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
// centred over it; after "Schedule" the row and the file hold the edited
// task, and its template is kept. Either way it leaves no task position
// behind: left at 1, the next message window opened in the host would
// become an edit of this task.
TEST_F(EmailManagerTest, EditScheduleStoresTheSheetsTaskAndCancelLeavesNoCurrentTask) {
    CBoxRecorder boxes;
    MakeSecondTaskDaily();
    CEmailManagerDlg dlg;
    dlg.move(40, 30);
    dlg.show();
    for (const int nButton : {1063, 1002}) {  // Cancel, then Schedule
        SCOPED_TRACE(nButton);
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
            PressSheetButton(nButton);
        });
        Click(dlg, CEmailManagerDlg::IDC_EDIT_SCHEDULE);
        EXPECT_EQ(pOwner, &dlg);
        EXPECT_LE(ptOffset.manhattanLength(), 2) << ptOffset.x() << "," << ptOffset.y();
        EXPECT_EQ(nSeenIndex, 1);
        EXPECT_EQ(g_nCurTaskIndex, -1);
        EXPECT_EQ(g_nCurTaskId, CTaskList::kNoId);
    }
    EXPECT_EQ(m_list[1].m_strTemplateFile, g_strDataDir + "t2.oft");
    EXPECT_EQ(m_list[1].m_dtNextSending.nYear, 2031);
    EXPECT_EQ(Cell(dlg, 1, 1), "Tuesday, May 6, 2031 09:05");
    EXPECT_EQ(SavedNames().size(), 3u);
    ASSERT_EQ(boxes.Texts().size(), 1u) << "Cancel stores nothing and says nothing";
    EXPECT_EQ(boxes.Texts().back().rfind("This email message has been scheduled.", 0), 0u);
}

// The Rules page opens on what the store keeps for the task; what it
// leaves after "Schedule" is kept there under the task's key, and the row
// shows the marker and the rules in words. A page the rules cannot be read
// from stops the sheet on it, storing nothing.
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

// While the sheet is open the list can change under it (the sheet's event
// loop runs the scheduler and the host): its result goes to the same task,
// which it does not mistake for another when checking the name, and comes
// back as a task of its own when it was removed meanwhile.
TEST_F(EmailManagerTest, EditScheduleFollowsItsTaskWhileTheSheetIsOpen) {
    CBoxRecorder boxes;
    MakeSecondTaskDaily();
    CEmailManagerDlg dlg;
    for (const bool bRemove : {false, true}) {
        SCOPED_TRACE(bRemove ? "removed" : "moved");
        Select(dlg, 1);
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(QApplication::activeModalWidget());
            if (bRemove) m_list.RemoveAt(1);
            else m_list.MoveDown(1);  // Task 1, Task 3, Task 2
            EXPECT_TRUE(PressSheetButton(1002));
        });
        Click(dlg, CEmailManagerDlg::IDC_EDIT_SCHEDULE);
        ASSERT_EQ(m_list.GetSize(), 3);
        EXPECT_EQ(m_list[1].m_strTaskName, "Task 3");
        EXPECT_EQ(m_list[1].m_dtNextSending.nYear, 2013) << "the neighbour is not written over";
        EXPECT_EQ(m_list[2].m_strTaskName, "Task 2");
        EXPECT_EQ(m_list[2].m_dtNextSending.nYear, 2031);
        if (!bRemove) {
            EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Task 1", "Task 3", "Task 2"}));
            m_list.MoveUp(2);  // back for the second round: Task 1, Task 2, Task 3
        }
    }
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Task 1", "Task 3", "Task 2"}));
    for (const std::string& str : boxes.Texts())
        EXPECT_EQ(str.rfind("This email message has been scheduled.", 0), 0u) << str;
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

// A task the scheduler completed because its schedule could not move on
// reads so in its row, with the reason as the tip.
TEST_F(EmailManagerTest, AStalledTaskSaysWhyItIsCompleted) {
    for (int i = 0; i < 3; ++i) m_list.GetAt(i).m_bActive = 0;  // not for the scheduler
    CTaskItem t;
    t.m_bActive = 1;
    t.m_strTaskName = "No day";
    t.m_bSendOverdue = 1;
    t.m_nRecurrence = 3;
    t.m_nWeeklyInterval = 1;
    t.m_nEndKind = 0;
    for (int& b : t.m_bWeekDays) b = 0;
    t.m_dtStart = TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(2026, 3, 1, 9, 0)));
    t.m_dtNextSending = TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(2026, 3, 2, 9, 0)));
    m_list.Add(t);
    CFixedClock clock(ValueOf(TaskTime::ToAbsolute(2026, 3, 2, 9, 0, 30)));
    CSendContext ctx;
    ctx.fnTaskList = [] { return g_pTaskList; };
    ctx.pClock = &clock;
    CSendEmailDlg sender(ctx);
    g_pSendEmailDlg = &sender;
    CEmailManagerDlg dlg;
    ::testing::internal::CaptureStderr();
    sender.OnTimer();
    (void)::testing::internal::GetCapturedStderr();  // the journal line is the sender's test
    dlg.OnTimer();
    g_pSendEmailDlg = nullptr;
    QTreeWidgetItem* pRow = dlg.List()->topLevelItem(3);
    EXPECT_EQ(pRow->text(1).toStdString(), "Completed (the schedule cannot move on)");
    EXPECT_EQ(pRow->toolTip(1).toStdString(), "a weekly task with no day ticked");
    // The other rows keep their own words: these tasks were disabled.
    EXPECT_EQ(Cell(dlg, 0, 1), "Disabled");
    EXPECT_EQ(Tip(dlg, 0, 1), "Not sent until activated; its stored next time is Tuesday, May 7, 2013 09:05");
}

TEST_F(EmailManagerTest, EachRowSaysItsScheduleInWords) {
    CTaskItem& weekly = m_list.GetAt(0);
    weekly.m_nRecurrence = CodeOf(ERecurrence::Weekly);
    weekly.m_nWeeklyInterval = 2;
    for (int32_t& b : weekly.m_bWeekDays) b = 0;
    weekly.m_bWeekDays[1] = weekly.m_bWeekDays[4] = 1;
    weekly.m_dtStart = {2013, 5, 6, 2, 9, 0, 0};
    weekly.m_nEndKind = CodeOf(EEndKind::AfterCount);
    weekly.m_nEndAfterCount = 3;
    CTaskItem& monthly = m_list.GetAt(1);
    monthly.m_nRecurrence = CodeOf(ERecurrence::Monthly);
    monthly.m_nMonthlyMode = CodeOf(EMonthlyMode::OrdinalDay);
    monthly.m_nMonthlyOrdinal = CodeOf(EOrdinal::Last);
    monthly.m_nMonthlyDayKind = CodeOf(EDayKind::Weekday);
    monthly.m_nMonthlyInterval2 = 1;
    monthly.m_dtStart = {2013, 5, 31, 6, 17, 30, 0};
    monthly.m_nEndKind = CodeOf(EEndKind::NoEnd);

    CEmailManagerDlg dlg;
    EXPECT_EQ(dlg.List()->headerItem()->text(CEmailManagerDlg::kScheduleColumn).toStdString(), "Schedule");
    EXPECT_EQ(Cell(dlg, 0, CEmailManagerDlg::kScheduleColumn),
              "Every 2 weeks on Monday and Thursday at 09:00, 3 times");
    EXPECT_EQ(Cell(dlg, 1, CEmailManagerDlg::kScheduleColumn), "Last weekday of every month at 17:30");

    EXPECT_EQ(Tip(dlg, 1, CEmailManagerDlg::kNameColumn), "Last weekday of every month at 17:30");
    // A change made elsewhere shows at the next refresh.
    monthly.m_nMonthlyInterval2 = 2;
    dlg.OnTimer();
    EXPECT_EQ(Cell(dlg, 1, CEmailManagerDlg::kScheduleColumn), "Last weekday of every 2 months at 17:30");
}

namespace {

// Which of Activate, Disable, Move Up and Move Down can be pressed, in that
// order, as the rules give it for the selected row of the list.
std::vector<bool> ExpectedStates(const std::vector<int>& vecActive, int nRow) {
    if (nRow < 0) return {false, false, false, false};
    const bool bActive = vecActive[static_cast<size_t>(nRow)] != 0;
    return {!bActive, bActive, nRow > 0, nRow + 1 < static_cast<int>(vecActive.size())};
}

std::vector<bool> ShownStates(const CEmailManagerDlg& dlg) {
    std::vector<bool> vec;
    for (int nId : {CEmailManagerDlg::IDC_ACTIVATE, CEmailManagerDlg::IDC_DISABLE, CEmailManagerDlg::IDC_MOVE_UP,
                    CEmailManagerDlg::IDC_MOVE_DOWN})
        vec.push_back(dlg.Control(nId)->isEnabled());
    return vec;
}

}  // namespace

TEST_F(EmailManagerTest, ButtonStatesFollowTheSelectedTask) {
    m_list[2].m_bActive = 0;
    CEmailManagerDlg dlg;
    std::vector<int> vecActive = {1, 1, 0};
    for (int nRow : {0, 1, 2}) {
        Select(dlg, nRow);
        EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, nRow)) << "row " << nRow;
    }
    // The state follows the commands and what the refresh finds (what the
    // commands change: TaskListEditTest.EnableDisableTouchOnlyTheFlag...).
    Click(dlg, CEmailManagerDlg::IDC_ACTIVATE);
    vecActive[2] = 1;
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, 2));
    EXPECT_EQ(m_list[2].m_bActive, 1);
    Click(dlg, CEmailManagerDlg::IDC_DISABLE);
    EXPECT_EQ(dlg.List()->topLevelItem(2)->data(0, Qt::UserRole).toInt(), 0);
    Click(dlg, CEmailManagerDlg::IDC_ACTIVATE);
    Click(dlg, CEmailManagerDlg::IDC_MOVE_UP);
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, 1));
    m_list[1].m_bActive = 0;
    vecActive[1] = 0;
    dlg.OnTimer();
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, 1));
    dlg.List()->clearSelection();
    EXPECT_EQ(ShownStates(dlg), ExpectedStates(vecActive, -1));
}

TEST_F(EmailManagerTest, DoubleClickOrEnterEditsTheScheduleAndDeleteAsksToRemove) {
    CBoxRecorder boxes;
    MakeSecondTaskDaily();
    CEmailManagerDlg dlg;
    dlg.show();
    Select(dlg, 1);
    bool bSheetSeen = false;
    QTimer::singleShot(0, [&] { bSheetSeen = PressSheetButton(1002); });
    // On the task's name: the whole row is wider than the visible list.
    const QPoint ptName(40, dlg.List()->visualItemRect(dlg.List()->topLevelItem(1)).center().y());
    QTest::mouseClick(dlg.List()->viewport(), Qt::LeftButton, Qt::NoModifier, ptName);
    QTest::mouseDClick(dlg.List()->viewport(), Qt::LeftButton, Qt::NoModifier, ptName);
    EXPECT_TRUE(bSheetSeen);
    bSheetSeen = false;
    QTimer::singleShot(0, [&] { bSheetSeen = PressSheetButton(1063); });
    QTest::keyClick(dlg.List(), Qt::Key_Return);
    EXPECT_TRUE(bSheetSeen) << "Enter on a row edits its schedule";
    EXPECT_EQ(m_list[1].m_dtNextSending.nYear, 2031);

    // The question and its No: RemoveNamesTheTaskDefaultsToNoAndCanBeUndone.
    boxes.m_vecShown.clear();
    QTest::keyClick(dlg.List(), Qt::Key_Delete);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{kRemoveQuestion("Task 2")});
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 1", "Task 3"}));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Task 1", "Task 3"}));
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

TEST_F(EmailManagerTest, ContextMenuOffersTheButtonsAsTheyStand) {
    CEmailManagerDlg dlg;
    auto* pCommands = dlg.findChild<CManagerCommands*>();
    ASSERT_TRUE(pCommands);
    Select(dlg, 0);
    const std::unique_ptr<QMenu> pMenu = pCommands->ContextMenu();
    std::vector<int> vecIds;
    QAction* pCopy = nullptr;
    for (QAction* pAction : pMenu->actions()) {
        const int nId = pAction->property("controlId").toInt();
        vecIds.push_back(nId);
        const QWidget* pButton = dlg.Control(nId);
        ASSERT_TRUE(pButton) << nId;
        EXPECT_EQ(pAction->text(), qobject_cast<const QPushButton*>(pButton)->text());
        EXPECT_EQ(pAction->isEnabled(), pButton->isEnabled()) << nId;
        if (nId == CEmailManagerDlg::IDC_COPY) pCopy = pAction;
    }
    std::vector<int> vecSorted = vecIds;
    std::sort(vecSorted.begin(), vecSorted.end());
    EXPECT_EQ(vecSorted, (std::vector<int>{203, 204, 205, 206, 207, 208, 209, 213, 214}));
    ASSERT_TRUE(pCopy);
    pCopy->trigger();
    EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Task 1", "Task 2", "Task 3", "Copy of Task 1"}));
    EXPECT_EQ(dlg.List()->currentItem(), dlg.List()->topLevelItem(3));
    // On the last row Move Down is offered but cannot be chosen.
    const std::unique_ptr<QMenu> pLastRowMenu = pCommands->ContextMenu();
    for (QAction* pAction : pLastRowMenu->actions()) {
        if (pAction->property("controlId").toInt() == CEmailManagerDlg::IDC_MOVE_DOWN) {
            EXPECT_FALSE(pAction->isEnabled());
        }
    }
}

#include "EmailManagerTest.moc"
