// The whole flow as a user goes through it, in the host's windows with the
// add-in connected and a loopback SMTP server. The present is a test clock
// moved by hand; only the one-second ticks run in real time.
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <map>
#include <optional>

#include "CAddin.h"
#include "CAddinFolders.h"
#include "CDataExchange.h"
#include "CEmailManagerDlg.h"
#include "CGeneralPage.h"
#include "CInspectorWindow.h"
#include "COptionsDlg.h"
#include "CTaskListFile.h"
#include "CUiTestBase.h"
#include "Contains.h"
#include "IClock.h"
#include "ResultValue.h"
#include "SharedState.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "ZoneGuard.h"

namespace {

class UserFlowTest : public CUiTestBase, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        m_zone.emplace(GetParam());
        m_folders.emplace(m_dir.Path());
        m_clock.Set(ValueOf(TaskTime::ToAbsolute(2024, 6, 7, 10, 0, 0)));
        g_pClock = &m_clock;
    }
    void TearDown() override {
        if (m_spAddin) m_spAddin->OnDisconnection(0, nullptr);
        m_spAddin.Release();
        CUiTestBase::TearDown();
        g_spApplication.Release();
        g_pClock = nullptr;
        m_folders.reset();
        m_zone.reset();
    }
    // The host's windows up, then the add-in connected as the host connects it.
    void StartWithAddin() {
        StartUi();
        m_spAddin = MakeComObject<CAddin>();
        ASSERT_EQ(m_spAddin->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr),
                  S_OK);
        Process();
    }
    // Lets the event loop (and so the sender's ticks) run for a while.
    static void PumpFor(std::chrono::milliseconds span) {
        const auto tEnd = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < tEnd) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    static void Click(QWidget* pRoot, int nId) {
        auto* p = qobject_cast<QAbstractButton*>(CDataExchange::Find(pRoot, nId, true));
        ASSERT_TRUE(p) << "control " << nId;
        p->click();
    }
    CTaskList SavedList() const {
        CTaskList list;
        (void)CTaskListFile::LoadTaskList(TaskListPath(), list,
                                          *TaskListCodec().Value());  // callers compare what was read
        return list;
    }
    // 7 June 2024 at that time, as the task stores it (second 1).
    static TaskDateTime At(int nHour, int nMinute) {
        TaskDateTime dt = TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(2024, 6, 7, nHour, nMinute, 0)));
        dt.nSecond = 1;
        return dt;
    }
    size_t Received() const { return m_server.Received().size(); }
    // The test clock at 7 June 2024, 10:nMinute.
    void SetMinute(int nMinute) { m_clock.Set(ValueOf(TaskTime::ToAbsolute(2024, 6, 7, 10, nMinute, 0))); }
    // A message typed into a new message window, which is then the active one.
    CInspectorWindow* TypeNew(const char* pszTo, const char* pszSubject, const char* pszBody) {
        CInspectorWindow* pWindow = ClickNew();
        if (!pWindow) return nullptr;
        QTest::keyClicks(pWindow->ToField(), pszTo);
        QTest::keyClicks(pWindow->SubjectField(), pszSubject);
        QTest::keyClicks(pWindow->BodyField(), pszBody);
        pWindow->activateWindow();
        m_spApp->ActivateInspector(pWindow->Inspector());
        Process();
        return pWindow;
    }
    // The task's message opened by the Email Manager's Edit Email Message.
    CInspectorWindow* EditTaskMessage() {
        CEmailManagerDlg dlg;
        dlg.List()->setCurrentItem(dlg.List()->topLevelItem(0));
        m_boxes.Expect(QMessageBox::Ok);  // press "Quillory Options" after editing
        dlg.OnEditEmailMessage();
        Process();
        return m_pWindows->WindowOf(m_spApp->ActiveInspector());
    }
    // Presses the window's "Quillory Options" and runs fn on the sheet it
    // opens, which fn must close; false when no sheet came.
    bool OnSheet(QMainWindow& window, const std::function<void(QDialog&)>& fn) {
        QAction* pOptions = ToolbarAction(window, "Quillory", "Quillory Options");
        if (!pOptions) return false;
        QObject guard;
        bool bSeen = false;
        QTimer::singleShot(0, &guard, [&] {
            auto* pSheet = qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
            bSeen = pSheet != nullptr;
            if (!pSheet) return;
            fn(*pSheet);
            if (pSheet->isVisible()) pSheet->reject();  // a test that fails does not hang
        });
        pOptions->trigger();
        Process();
        return bSeen;
    }
    void CloseAnswering(CInspectorWindow* pWindow, QMessageBox::StandardButton answer) {
        m_boxes.Expect(answer);
        pWindow->CloseAction()->trigger();
        Process();
    }

    std::optional<CZoneGuard> m_zone;
    std::optional<CAddinFolders> m_folders;
    CFixedClock m_clock{0};
    CComPtr<CAddin> m_spAddin;
};

// The Email Manager that is shown, if any.
CEmailManagerDlg* OpenManager() {
    for (QWidget* p : QApplication::topLevelWidgets())
        if (auto* pDlg = qobject_cast<CEmailManagerDlg*>(p); pDlg && pDlg->isVisible()) return pDlg;
    return nullptr;
}

// The letter after the single '&' of a text ("Co&py": 'p'), else none.
QChar MnemonicOf(const QString& str) {
    for (qsizetype i = 0; i + 1 < str.size(); ++i) {
        if (str[i] != '&') continue;
        if (str[i + 1] != '&') return str[i + 1].toLower();
        ++i;
    }
    return {};
}

// What a keyboard user meets in a window: each scope (the window itself,
// each of its menus) must give every command its own mnemonic. The result
// names every command without one and every letter used twice; empty when
// all is well.
std::string KeyboardProblems(QWidget* pWindow) {
    std::string strProblems;
    // Commands must have a mnemonic; tick boxes and tabs (Tab and Ctrl+Tab
    // reach them) must only not take another's.
    auto fnScope = [&](const std::string& strScope, const std::vector<std::pair<QString, bool>>& vecTexts) {
        std::map<QChar, QString> mapUsed;
        for (const auto& [str, bCommand] : vecTexts) {
            const QChar c = MnemonicOf(str);
            if (c.isNull() && bCommand) strProblems += strScope + ": \"" + str.toStdString() + "\" has no mnemonic\n";
            else if (c.isNull()) continue;
            else if (auto [it, bNew] = mapUsed.emplace(c, str); !bNew)
                strProblems += strScope + ": \"" + it->second.toStdString() + "\" and \"" + str.toStdString() +
                               "\" share Alt+" + QString(c).toStdString() + "\n";
        }
    };
    std::vector<std::pair<QString, bool>> vecWindow;
    for (QAbstractButton* p : pWindow->findChildren<QAbstractButton*>())
        if (p->isVisibleTo(pWindow) && !p->text().isEmpty() && !qobject_cast<QToolButton*>(p))
            vecWindow.emplace_back(p->text(), !qobject_cast<QCheckBox*>(p));
    for (QTabBar* pTabs : pWindow->findChildren<QTabBar*>())
        for (int i = 0; i < pTabs->count(); ++i) vecWindow.emplace_back(pTabs->tabText(i), false);
    for (QMenuBar* pBar : pWindow->findChildren<QMenuBar*>()) {
        for (QAction* pMenu : pBar->actions()) {
            vecWindow.emplace_back(pMenu->text(), true);
            if (!pMenu->menu()) continue;
            std::vector<std::pair<QString, bool>> vecMenu;
            for (QAction* p : pMenu->menu()->actions())
                if (!p->isSeparator() && p->isVisible()) vecMenu.emplace_back(p->text(), true);
            fnScope(pMenu->text().toStdString(), vecMenu);
        }
    }
    fnScope("window", vecWindow);
    return strProblems;
}

}  // namespace

TEST_P(UserFlowTest, ComposeScheduleEveryMinuteListSendTwiceAndDisable) {
    StartWithAddin();
    ASSERT_TRUE(ToolbarAction(m_pWindows->Main(), "Quillory", "Quillory"))
        << "the main window has the add-in's toolbar";
    EXPECT_EQ(ToolbarAction(m_pWindows->Main(), "Quillory", "Quillory")->text(), "Email Manager")
        << "the button is named for the window it opens";

    CInspectorWindow* pWindow =
        TypeNew("Rita Receiver <rita@example.com>", "Minute report", "The report of the minute.");
    ASSERT_TRUE(pWindow);

    // "Quillory Options": every minute, otherwise the sheet's defaults.
    ASSERT_TRUE(OnSheet(*pWindow, [&](QDialog& sheet) {
        Click(&sheet, 219);
        qobject_cast<QLineEdit*>(CDataExchange::Find(&sheet, 240, true))->setText("1");
        m_boxes.Expect(QMessageBox::Ok);  // "This email message has been scheduled. ..."
        Click(&sheet, 1002);
    })) << "the message window has the options button, which opens the sheet";
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_TRUE(Contains(m_boxes.Seen()[0].strText, "This email message has been scheduled."));
    EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u) << "the message window closed";
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty()) << "the draft became the task's template";

    ASSERT_EQ(g_pTaskList->GetSize(), 1);
    const CTaskItem task = (*g_pTaskList)[0];
    EXPECT_EQ(task.m_strTaskName, "Minute report");
    EXPECT_EQ(task.m_nRecurrence, 1);
    EXPECT_EQ(task.m_nMinuteInterval, 1);
    EXPECT_EQ(task.m_dtNextSending, At(10, 1));
    ASSERT_EQ(SavedList().GetSize(), 1);
    EXPECT_EQ(SavedList()[0].m_strTemplateFile, task.m_strTemplateFile);

    // The Email Manager lists it; two occurrences go out while it is open.
    // It opens beside the main window, which stays usable.
    // Toolbars are rebuilt whenever the command bars change: look the button up afresh.
    QAction* pManagerButton = ToolbarAction(m_pWindows->Main(), "Quillory", "Quillory");
    ASSERT_TRUE(pManagerButton);
    pManagerButton->trigger();
    Process();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the manager does not block the host";
    CEmailManagerDlg* pManager = OpenManager();
    ASSERT_TRUE(pManager);
    // A second click brings up the same window rather than another one.
    ToolbarAction(m_pWindows->Main(), "Quillory", "Quillory")->trigger();
    Process();
    EXPECT_EQ(OpenManager(), pManager);
    {
        struct CCloser {
            CEmailManagerDlg* p;
            ~CCloser() {
                if (p->isVisible()) p->reject();
            }
        } closer{pManager};
        QTreeWidget* pList = pManager->List();
        ASSERT_EQ(pList->topLevelItemCount(), 1);
        QTreeWidgetItem* pRow = pList->topLevelItem(0);
        EXPECT_EQ(pRow->text(0).toStdString(), "Minute report");
        EXPECT_EQ(pRow->text(1), CEmailManagerDlg::NextSendingText(At(10, 1)));
        EXPECT_EQ(Received(), 0u) << "nothing is due before 10:01";
        for (int nMinute : {1, 2}) {
            SCOPED_TRACE(nMinute);
            SetMinute(nMinute);
            ASSERT_TRUE(WaitForUi([&] { return Received() >= static_cast<size_t>(nMinute); }));
            // The one-second refresh shows the next time moving on.
            EXPECT_TRUE(WaitForUi([&] {
                return pRow->text(1) == CEmailManagerDlg::NextSendingText(At(10, nMinute + 1));
            })) << pRow->text(1).toStdString();
        }

        // Disable: saved at once, and nothing more goes out.
        pRow->setSelected(true);
        pList->setCurrentItem(pRow);
        Click(pManager, CEmailManagerDlg::IDC_DISABLE);
        EXPECT_EQ((*g_pTaskList)[0].m_bActive, 0);
        EXPECT_EQ(SavedList()[0].m_bActive, 0);
        for (int nMinute : {3, 4, 10}) {
            SetMinute(nMinute);
            PumpFor(std::chrono::milliseconds(1300));  // more than one tick
        }
        EXPECT_EQ(Received(), 2u);
        Click(pManager, CEmailManagerDlg::IDC_CLOSE);
        EXPECT_FALSE(pManager->isVisible());
    }
    Process();
    EXPECT_EQ(OpenManager(), nullptr) << "closed, it is gone";

    const auto vecReceived = m_server.Received();
    ASSERT_EQ(vecReceived.size(), 2u);
    for (const auto& r : vecReceived) {
        EXPECT_TRUE(Contains(r.strData, "Subject: Minute report"));
        EXPECT_TRUE(Contains(r.strData, "The report of the minute."));
        EXPECT_EQ(r.vecRcpt, std::vector<std::string>{"rita@example.com"});
    }
    const CTaskList saved = SavedList();
    ASSERT_EQ(saved.GetSize(), 1);
    EXPECT_EQ(saved[0].m_nOccurrenceCount, 2);
    EXPECT_EQ(saved[0].m_dtLastSent, At(10, 2));
    EXPECT_EQ(saved[0].m_bActive, 0);
}

// A message window that shows a task's message (Email Manager, Edit Email
// Message) asks on close whether to update the task, never offers Drafts:
// Yes writes the template, No drops the edit, Cancel keeps the window.
TEST_P(UserFlowTest, ClosingAnEditedTaskMessageUpdatesTheTaskOrDropsTheEditAndEveryCommandHasAMnemonic) {
    StartWithAddin();
    const std::string strTemplate = g_strDataDir + "Report.oft";
    {
        CComPtr<IDispatch> spItem;
        ASSERT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
        CComQIPtr<_MailItem> spMail(spItem.p);
        spMail->put_To("rita@example.com");
        spMail->put_Subject("Report");
        spMail->put_Body("The report.");
        ASSERT_EQ(spMail->SaveAs(strTemplate, CVariant(olTemplate)), S_OK);
    }
    CTaskItem task;
    task.m_strTaskName = "Weekly report";
    task.m_strTemplateFile = strTemplate;
    g_pTaskList->Add(task);
    auto fnTemplateSubject = [&] {
        CComPtr<IDispatch> spItem;
        std::string str;
        if (SUCCEEDED(m_spApp->CreateItemFromTemplate(strTemplate, vtMissing, &spItem)))
            CComQIPtr<_MailItem>(spItem.p)->get_Subject(&str);
        return str;
    };
    struct {
        const char* pszName;
        QMessageBox::StandardButton answer;
        const char* pszTemplateAfter;
        size_t nWindowsAfter;
        bool bGone = false;  // removed by another window or the tool while asked
    } const kCases[] = {
        {"No drops the edit", QMessageBox::No, "Report", 0},
        {"Cancel keeps the window", QMessageBox::Cancel, "Report", 1},
        {"Yes updates the task", QMessageBox::Yes, "Report (Yes updates the task)", 0},
        // Yes then writes nothing and says why; the window stays, now with an ordinary message.
        {"for a task gone", QMessageBox::Yes, "Report (Yes updates the task)", 1, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(g_pTaskList->GetSize(), 1);
        m_boxes.Clear();
        CInspectorWindow* pWindow = EditTaskMessage();
        ASSERT_TRUE(pWindow);
        pWindow->SubjectField()->setText(QString("Report (") + c.pszName + ")");
        if (c.bGone) {
            m_boxes.WhileNextIsOpen([] { g_pTaskList->RemoveAt(0); });
            m_boxes.Expect(c.answer);
        }
        CloseAnswering(pWindow, c.bGone ? QMessageBox::Ok : c.answer);
        ASSERT_EQ(m_boxes.Seen().size(), c.bGone ? 3u : 2u);
        const auto& asked = m_boxes.Seen()[1];
        EXPECT_TRUE(Contains(asked.strText, "scheduled task \"Weekly report\""));
        EXPECT_EQ(asked.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (c.bGone) {
            EXPECT_TRUE(Contains(m_boxes.Seen()[2].strText, "was removed meanwhile"));
        }
        EXPECT_EQ(m_pWindows->OpenWindowCount(), c.nWindowsAfter);
        EXPECT_EQ(fnTemplateSubject(), c.pszTemplateAfter);
        EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty()) << "a task's message never goes to Drafts";
        if (m_pWindows->OpenWindowCount() > 0) CloseAnswering(pWindow, QMessageBox::No);
    }

    // Every command of every window with the add-in in it is reachable from
    // the keyboard: each has a mnemonic, none is used twice in one window or
    // menu, and the add-in's buttons on the message window are in its menu too.
    CInspectorWindow* pMessage = ClickNew();
    ASSERT_TRUE(pMessage);
    Process();
    QAction* pOptions = nullptr;
    for (QAction* p : pMessage->menuBar()->actions().front()->menu()->actions())
        if (p->text() == "&Quillory Options") pOptions = p;
    ASSERT_TRUE(pOptions) << "the message window's menu holds the add-in's button";
    CEmailManagerDlg manager;
    manager.show();
    COptionsDlg sheet(nullptr, m_clock);
    sheet.show();
    Process();
    for (QWidget* p : std::initializer_list<QWidget*>{&m_pWindows->Main(), pMessage, &manager}) {
        SCOPED_TRACE(p->metaObject()->className());
        EXPECT_EQ(KeyboardProblems(p), "");
    }
    // The sheet with each recurrence's panel shown, then with each other page.
    for (int nPanel : CGeneralPage::kRecurrenceIds) {
        SCOPED_TRACE(nPanel);
        Click(&sheet, nPanel);
        Process();
        EXPECT_EQ(KeyboardProblems(&sheet), "");
    }
    for (int nPage = 1; nPage < sheet.Sheet().count(); ++nPage) {
        sheet.Sheet().setCurrentIndex(nPage);
        Process();
        SCOPED_TRACE(sheet.Sheet().tabText(nPage).toStdString());
        EXPECT_EQ(KeyboardProblems(&sheet), "");
    }
    sheet.reject();
    manager.close();
    pMessage->CloseAction()->trigger();  // nothing was typed: nothing to ask
    Process();
}

// "Quillory Options" stores the message to read it; when the sheet is
// cancelled and the user then refuses to keep the message, that copy goes
// for good (neither Drafts nor Deleted Items holds it). A message the user
// kept (saved before or after) stays in Drafts; one the host cannot store
// is refused.
TEST_P(UserFlowTest, ARefusedMessageLeavesNoDraftAfterTheSheetIsCancelled) {
    StartWithAddin();
    struct {
        const char* pszName;
        bool bSaveBefore, bSaveAfter;        // the user's Save to Drafts around the sheet
        QMessageBox::StandardButton answer;  // to "save the changes ... in Drafts?"
        size_t nDrafts;
    } const kCases[] = {
        {"No refuses it", false, false, QMessageBox::No, 0},
        {"Yes keeps it", false, false, QMessageBox::Yes, 1},
        {"saved before, No keeps the saved one", true, false, QMessageBox::No, 1},
        {"saved after, No keeps the saved one", false, true, QMessageBox::No, 1},
    };
    auto fnEmptyFolders = [&] {
        for (EMailFolder folder : {EMailFolder::Drafts, EMailFolder::DeletedItems})
            for (const std::string& strId : m_pHost->ListFolder(folder)) (void)m_pHost->DeleteMessage(folder, strId);
        m_boxes.Clear();
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        fnEmptyFolders();
        CInspectorWindow* pWindow = TypeNew("rita@example.com", "Report", "Text.");
        ASSERT_TRUE(pWindow);
        if (c.bSaveBefore) {
            ASSERT_TRUE(pWindow->OnSave());
        }
        QTest::keyClicks(pWindow->BodyField(), " More.");
        ASSERT_TRUE(OnSheet(*pWindow, [](QDialog& sheet) { sheet.reject(); }));  // Cancel
        EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), 1u) << "stored for the sheet";
        if (c.bSaveAfter) {
            ASSERT_TRUE(pWindow->OnSave());
        }
        QTest::keyClicks(pWindow->BodyField(), " Last words.");
        CloseAnswering(pWindow, c.answer);
        ASSERT_EQ(m_boxes.Seen().size(), 1u);
        EXPECT_TRUE(Contains(m_boxes.Seen()[0].strText, "in Drafts?"));
        EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u);
        EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), c.nDrafts);
        EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::DeletedItems).empty()) << "gone for good, not to the bin";
    }
    EXPECT_EQ(g_pTaskList->GetSize(), 0);

    // A message the host cannot store is refused naming the host's reason,
    // as Save to Drafts does.
    fnEmptyFolders();
    CInspectorWindow* pWindow = TypeNew("not-an-address", "Report", "Text.");
    ASSERT_TRUE(pWindow);
    QAction* pOptions = ToolbarAction(*pWindow, "Quillory", "Quillory Options");
    ASSERT_TRUE(pOptions);
    m_boxes.Expect(QMessageBox::Ok);
    pOptions->trigger();
    Process();
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    const std::string strText = m_boxes.Seen()[0].strText;
    EXPECT_EQ(strText.rfind("Failed to save the email!\n", 0), 0u) << strText;
    EXPECT_TRUE(Contains(strText, "not-an-address"));
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty());
    CloseAnswering(pWindow, QMessageBox::No);
}

INSTANTIATE_TEST_SUITE_P(Zones, UserFlowTest, TestZones("Europe/Berlin", "America/New_York"),
                         [](const auto& info) { return ZoneTestName(info.param); });
