// The whole flow as a user goes through it: the host's windows with the
// add-in connected, a message typed and scheduled every minute through
// "Quillory Options", the Email Manager listing it while the loopback SMTP
// server receives two occurrences, and Disable stopping it. The present is
// a test clock moved by hand; only the one-second ticks run in real time.
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

#include "CAddin.h"
#include "CAddinFolders.h"
#include "CDataExchange.h"
#include "CEmailManagerDlg.h"
#include "CInspectorWindow.h"
#include "COptionsDlg.h"
#include "COptionsIds.h"
#include "CTaskListFile.h"
#include "CUiTestBase.h"
#include "Contains.h"
#include "IClock.h"
#include "ResultValue.h"
#include "SharedState.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;

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

// Runs fn on the modal window that the caller is about to open.
template <class Fn>
void OnModal(QObject& guard, Fn fn) {
    QTimer::singleShot(0, &guard, [fn] {
        QWidget* p = QApplication::activeModalWidget();
        ASSERT_TRUE(p) << "no modal window opened";
        fn(p);
    });
}

}  // namespace

TEST_P(UserFlowTest, ComposeScheduleEveryMinuteListSendTwiceAndDisable) {
    StartWithAddin();
    ASSERT_TRUE(ToolbarAction(m_pWindows->Main(), "Quillory", "Quillory"))
        << "the main window has the add-in's toolbar";
    EXPECT_EQ(ToolbarAction(m_pWindows->Main(), "Quillory", "Quillory")->text(), "Email Manager")
        << "the button is named for the window it opens";

    // Compose in a message window.
    CInspectorWindow* pWindow = ClickNew();
    ASSERT_TRUE(pWindow);
    QTest::keyClicks(pWindow->ToField(), "Rita Receiver <rita@example.com>");
    QTest::keyClicks(pWindow->SubjectField(), "Minute report");
    QTest::keyClicks(pWindow->BodyField(), "The report of the minute.");
    pWindow->activateWindow();
    m_spApp->ActivateInspector(pWindow->Inspector());
    Process();

    // "Quillory Options": every minute, otherwise the sheet's defaults.
    QAction* pOptions = ToolbarAction(*pWindow, "Quillory", "Quillory Options");
    ASSERT_TRUE(pOptions) << "the message window has the options button";
    QObject guard;
    bool bSheetSeen = false;
    OnModal(guard, [&](QWidget* p) {
        ASSERT_TRUE(qobject_cast<COptionsDlg*>(p));
        bSheetSeen = true;
        Click(p, 219);
        qobject_cast<QLineEdit*>(CDataExchange::Find(p, 240, true))->setText("1");
        m_boxes.Expect(QMessageBox::Ok);  // "This email message has been scheduled. ..."
        Click(p, 1002);
        if (p->isVisible()) static_cast<QDialog*>(p)->reject();  // the test fails below, it does not hang
    });
    pOptions->trigger();
    Process();
    ASSERT_TRUE(bSheetSeen);
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
    bool bManagerSeen = false;
    auto fnManager = [&](QWidget* p) {
        auto* pDlg = qobject_cast<CEmailManagerDlg*>(p);
        ASSERT_TRUE(pDlg);
        bManagerSeen = true;
        struct CCloser {
            CEmailManagerDlg* p;
            ~CCloser() {
                if (p->isVisible()) p->reject();
            }
        } closer{pDlg};
        QTreeWidget* pList = pDlg->List();
        ASSERT_EQ(pList->topLevelItemCount(), 1);
        QTreeWidgetItem* pRow = pList->topLevelItem(0);
        EXPECT_EQ(pRow->text(0).toStdString(), "Minute report");
        EXPECT_EQ(pRow->text(1), CEmailManagerDlg::NextSendingText(At(10, 1)));
        EXPECT_EQ(Received(), 0u) << "nothing is due before 10:01";

        m_clock.Set(ValueOf(TaskTime::ToAbsolute(2024, 6, 7, 10, 1, 0)));
        ASSERT_TRUE(WaitForUi([&] { return Received() >= 1; })) << "first occurrence";
        // The one-second refresh shows the next time moving on.
        EXPECT_TRUE(WaitForUi([&] { return pRow->text(1) == CEmailManagerDlg::NextSendingText(At(10, 2)); }))
            << pRow->text(1).toStdString();

        m_clock.Set(ValueOf(TaskTime::ToAbsolute(2024, 6, 7, 10, 2, 0)));
        ASSERT_TRUE(WaitForUi([&] { return Received() >= 2; })) << "second occurrence";
        EXPECT_TRUE(WaitForUi([&] { return pRow->text(1) == CEmailManagerDlg::NextSendingText(At(10, 3)); }))
            << pRow->text(1).toStdString();

        // Disable: saved at once, and nothing more goes out.
        pRow->setSelected(true);
        pList->setCurrentItem(pRow);
        Click(pDlg, CEmailManagerDlg::IDC_DISABLE);
        EXPECT_EQ((*g_pTaskList)[0].m_bActive, 0);
        EXPECT_EQ(SavedList()[0].m_bActive, 0);
        for (int nMinute : {3, 4, 10}) {
            m_clock.Set(ValueOf(TaskTime::ToAbsolute(2024, 6, 7, 10, nMinute, 0)));
            PumpFor(std::chrono::milliseconds(1300));  // more than one tick
        }
        EXPECT_EQ(Received(), 2u);
        Click(pDlg, CEmailManagerDlg::IDC_CLOSE);
        EXPECT_FALSE(pDlg->isVisible());
    };
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
    fnManager(pManager);
    ASSERT_TRUE(bManagerSeen);
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
    } const kCases[] = {
        {"No drops the edit", QMessageBox::No, "Report", 0},
        {"Cancel keeps the window", QMessageBox::Cancel, "Report", 1},
        {"Yes updates the task", QMessageBox::Yes, "Report (Yes updates the task)", 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        m_boxes.Clear();
        CEmailManagerDlg dlg;
        dlg.List()->setCurrentItem(dlg.List()->topLevelItem(0));
        m_boxes.Expect(QMessageBox::Ok);  // press "Quillory Options" after editing
        dlg.OnEditEmailMessage();
        Process();
        CInspectorWindow* pWindow = m_pWindows->WindowOf(m_spApp->ActiveInspector());
        ASSERT_TRUE(pWindow);
        pWindow->SubjectField()->setText(QString("Report (") + c.pszName + ")");
        m_boxes.Expect(c.answer);
        pWindow->CloseAction()->trigger();
        Process();
        ASSERT_EQ(m_boxes.Seen().size(), 2u);
        const auto& asked = m_boxes.Seen()[1];
        EXPECT_TRUE(Contains(asked.strText, "scheduled task \"Weekly report\""));
        EXPECT_EQ(asked.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        EXPECT_EQ(m_pWindows->OpenWindowCount(), c.nWindowsAfter);
        EXPECT_EQ(fnTemplateSubject(), c.pszTemplateAfter);
        EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty()) << "a task's message never goes to Drafts";
        if (m_pWindows->OpenWindowCount() > 0) {
            m_boxes.Expect(QMessageBox::No);
            pWindow->CloseAction()->trigger();
            Process();
        }
    }
    EXPECT_EQ(g_pTaskList->GetSize(), 1);

    // Removed by another window or the tool while the question is open:
    // Yes writes nothing and says why.
    m_boxes.Clear();
    CEmailManagerDlg dlg;
    dlg.List()->setCurrentItem(dlg.List()->topLevelItem(0));
    m_boxes.Expect(QMessageBox::Ok);
    dlg.OnEditEmailMessage();
    Process();
    CInspectorWindow* pWindow = m_pWindows->WindowOf(m_spApp->ActiveInspector());
    ASSERT_TRUE(pWindow);
    pWindow->SubjectField()->setText("Report (for a task gone)");
    m_boxes.WhileNextIsOpen([] { g_pTaskList->RemoveAt(0); });
    m_boxes.Expect(QMessageBox::Yes);
    m_boxes.Expect(QMessageBox::Ok);
    pWindow->CloseAction()->trigger();
    Process();
    ASSERT_EQ(m_boxes.Seen().size(), 3u);
    EXPECT_TRUE(Contains(m_boxes.Seen()[2].strText, "was removed meanwhile"));
    EXPECT_EQ(fnTemplateSubject(), "Report (Yes updates the task)") << "nothing written for a task that is gone";
    m_boxes.Expect(QMessageBox::No);  // now an ordinary message: the host's own question
    pWindow->CloseAction()->trigger();
    Process();

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
    struct {
        const char* pszWindow;
        QWidget* pWindow;
        int nPanel;  // the recurrence shown in the sheet, 0 for other windows
    } const kWindows[] = {
        {"main window", &m_pWindows->Main(), 0},
        {"message window", pMessage, 0},
        {"Email Manager", &manager, 0},
        {"sheet, once", &sheet, COptionsIds::IDC_NO_RECURRENCE},
        {"sheet, every few minutes", &sheet, COptionsIds::IDC_MINUTELY},
        {"sheet, daily", &sheet, COptionsIds::IDC_DAILY},
        {"sheet, weekly", &sheet, COptionsIds::IDC_WEEKLY},
        {"sheet, monthly", &sheet, COptionsIds::IDC_MONTHLY},
        {"sheet, yearly", &sheet, COptionsIds::IDC_YEARLY},
    };
    for (const auto& w : kWindows) {
        SCOPED_TRACE(w.pszWindow);
        if (w.nPanel) Click(&sheet, w.nPanel);
        Process();
        EXPECT_EQ(KeyboardProblems(w.pWindow), "");
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
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        for (EMailFolder folder : {EMailFolder::Drafts, EMailFolder::DeletedItems})
            for (const std::string& strId : m_pHost->ListFolder(folder)) (void)m_pHost->DeleteMessage(folder, strId);
        m_boxes.Clear();
        CInspectorWindow* pWindow = ClickNew();
        ASSERT_TRUE(pWindow);
        QTest::keyClicks(pWindow->ToField(), "rita@example.com");
        QTest::keyClicks(pWindow->SubjectField(), "Report");
        QTest::keyClicks(pWindow->BodyField(), "Text.");
        if (c.bSaveBefore) {
            ASSERT_TRUE(pWindow->OnSave());
        }
        QTest::keyClicks(pWindow->BodyField(), " More.");
        m_spApp->ActivateInspector(pWindow->Inspector());
        Process();
        QAction* pOptions = ToolbarAction(*pWindow, "Quillory", "Quillory Options");
        ASSERT_TRUE(pOptions);
        QObject guard;
        bool bSheetSeen = false;
        OnModal(guard, [&](QWidget* p) {
            bSheetSeen = qobject_cast<COptionsDlg*>(p) != nullptr;
            static_cast<QDialog*>(p)->reject();  // Cancel
        });
        pOptions->trigger();
        Process();
        ASSERT_TRUE(bSheetSeen);
        EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), 1u) << "stored for the sheet";
        if (c.bSaveAfter) {
            ASSERT_TRUE(pWindow->OnSave());
        }
        QTest::keyClicks(pWindow->BodyField(), " Last words.");
        m_boxes.Expect(c.answer);
        pWindow->CloseAction()->trigger();
        Process();
        ASSERT_EQ(m_boxes.Seen().size(), 1u);
        EXPECT_TRUE(Contains(m_boxes.Seen()[0].strText, "in Drafts?"));
        EXPECT_EQ(m_pWindows->OpenWindowCount(), 0u);
        EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), c.nDrafts);
        EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::DeletedItems).empty()) << "gone for good, not to the bin";
    }
    EXPECT_EQ(g_pTaskList->GetSize(), 0);

    // A message the host cannot store is refused naming the host's reason,
    // as Save to Drafts does.
    for (const std::string& strId : m_pHost->ListFolder(EMailFolder::Drafts))
        (void)m_pHost->DeleteMessage(EMailFolder::Drafts, strId);
    m_boxes.Clear();
    CInspectorWindow* pWindow = ClickNew();
    ASSERT_TRUE(pWindow);
    QTest::keyClicks(pWindow->ToField(), "not-an-address");
    QTest::keyClicks(pWindow->SubjectField(), "Report");
    QTest::keyClicks(pWindow->BodyField(), "Text.");
    m_spApp->ActivateInspector(pWindow->Inspector());
    Process();
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
    m_boxes.Expect(QMessageBox::No);
    pWindow->CloseAction()->trigger();
    Process();
}

INSTANTIATE_TEST_SUITE_P(Zones, UserFlowTest, TestZones("Europe/Berlin", "America/New_York"),
                         [](const auto& info) { return ZoneTestName(info.param); });
