// Compose, schedule through the real options sheet, then the headless host
// with the add-in sends it: the template and the folder-and-mask
// attachments (including a file added after scheduling) reach a loopback
// SMTP server, and editing the schedule first keeps the template.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <optional>

#include "CApplication.h"
#include "CAttachmentOptionsDlg.h"
#include "CBoxRecorder.h"
#include "CDataExchange.h"
#include "CHeadlessTestBase.h"
#include "CMailHost.h"
#include "COptionsDlg.h"
#include "CSharedStateScope.h"
#include "IClock.h"
#include "ResultValue.h"
#include "SharedState.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;

namespace {

class ScheduleAndSendTest : public CHeadlessTestBase, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        // The zone outlives the shared state: the host started after the sheet runs in it too.
        m_zone.emplace(GetParam());
        CHostOptions opts;
        opts.strProfileDir = m_dir / "compose-profile";
        m_pBackend = std::make_unique<CMailHost>(opts);
        ASSERT_EQ(m_pBackend->Start().Problem(), "");
        m_pScope = std::make_unique<CSharedStateScope>(*m_pBackend, DataDir(), m_list, GetParam());
        m_spApp = m_pScope->App();
        m_clock.Set(ValueOf(TaskTime::ToAbsolute(2024, 6, 7, 10, 0, 0)));
    }
    void TearDown() override {
        ReleaseSharedState();
        m_zone.reset();
    }
    // What disconnecting the add-in does to the state the sheet used.
    void ReleaseSharedState() {
        m_spApp.Release();
        m_pScope.reset();
    }
    static QWidget* Control(QWidget* pRoot, int nId) { return CDataExchange::Find(pRoot, nId, true); }
    static void Click(QWidget* pRoot, int nId) { qobject_cast<QAbstractButton*>(Control(pRoot, nId))->click(); }

    std::optional<CZoneGuard> m_zone;
    CFixedClock m_clock{0};
    CTaskList m_list;
    std::unique_ptr<CMailHost> m_pBackend;
    std::unique_ptr<CSharedStateScope> m_pScope;
    CComPtr<CApplication> m_spApp;
    CBoxRecorder m_boxes;
};

}  // namespace

TEST_P(ScheduleAndSendTest, AScheduledMessageGoesOutFromTheHeadlessHostWithItsFolderAttachments) {
    const std::string strMask = MakeAttachmentFolder();

    // The message window's part: a composed, saved draft.
    CComPtr<IDispatch> spItem;
    ASSERT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
    CComQIPtr<_MailItem> spMail(spItem.p);
    spMail->put_Subject("Monthly files");
    spMail->put_Body("The files of the month.\n");
    spMail->put_To("Rita Receiver <rita@example.com>");
    spMail->Save();
    ASSERT_EQ(m_pBackend->ListFolder(EMailFolder::Drafts).size(), 1u);
    g_spCurMailItem = spMail;

    COptionsDlg dlg(nullptr, m_clock);
    dlg.m_bNewTask = 1;
    dlg.m_nMode = COptionsDlg::kModeNewMessage;
    dlg.show();
    Click(&dlg, 1107);  // monthly, day 15
    qobject_cast<QLineEdit*>(Control(&dlg, 1055))->setText("15");
    QObject guard;
    QTimer::singleShot(0, &guard, [&] {
        QWidget* p = QApplication::activeModalWidget();
        ASSERT_TRUE(qobject_cast<CAttachmentOptionsDlg*>(p));
        qobject_cast<QLineEdit*>(Control(p, 1145))->setText(QString::fromStdString(strMask));
        Click(p, 1);
    });
    Click(&dlg, 1022);
    qobject_cast<QLineEdit*>(Control(&dlg, 1126))->setText("Monthly files");
    Click(&dlg, 1002);
    ASSERT_EQ(dlg.result(), COptionsDlg::kResultOK)
        << (m_boxes.m_vecShown.empty() ? "" : m_boxes.m_vecShown.front().strText);

    CTaskItem task = dlg.GetTask();
    EXPECT_EQ(task.m_dtNextSending, (TaskDateTime{2024, 6, 15, 7, 10, 1, 1}));
    ASSERT_EQ(task.m_arrAttachments.GetSize(), 1);
    EXPECT_EQ(task.m_arrAttachments[0], strMask);
    ASSERT_TRUE(fs::is_regular_file(task.m_strTemplateFile));
    EXPECT_EQ(fs::path(task.m_strTemplateFile).parent_path(), fs::path(DataDir()).parent_path());
    // The draft left the mailbox altogether.
    EXPECT_TRUE(m_pBackend->ListFolder(EMailFolder::Drafts).empty());
    EXPECT_TRUE(m_pBackend->ListFolder(EMailFolder::DeletedItems).empty());
    m_list.Add(task);

    // Editing the schedule (now ending after one occurrence) keeps the
    // template as it is.
    const std::string strTemplate = CTempDir::ReadFile(task.m_strTemplateFile);
    COptionsDlg edit(nullptr, m_clock);
    edit.m_nMode = COptionsDlg::kModeSchedule;
    edit.m_nEditIndex = 0;
    edit.SetTask(task);
    edit.show();
    Click(&edit, 1040);
    qobject_cast<QLineEdit*>(Control(&edit, 1042))->setText("1");
    Click(&edit, 1002);
    ASSERT_EQ(edit.result(), COptionsDlg::kResultOK);
    task = edit.GetTask();  // that it ends after one shows below: the task completes
    EXPECT_EQ(task.m_dtNextSending, dlg.GetTask().m_dtNextSending);
    EXPECT_EQ(task.m_strTemplateFile, dlg.GetTask().m_strTemplateFile);
    EXPECT_EQ(CTempDir::ReadFile(task.m_strTemplateFile), strTemplate);
    m_list.SetAt(0, task);
    ASSERT_EQ(SaveSharedTaskList().Problem(), "");
    ReleaseSharedState();

    // A file that appears in the folder after scheduling goes out too. The
    // host runs on the real clock, so the occurrence is long overdue and,
    // with "send overdue" on (a new task's default), goes out at once; it is
    // the only one, so the task is then completed.
    CTempDir::WriteFile(m_dir / "attach/d.txt", "delta\n");
    StartHost();
    ASSERT_TRUE(WaitForMessages(1, std::chrono::seconds(60))) << CTempDir::ReadFile(m_dir / "host.log");
    ExpectOneMessage("Monthly files", "The files of the month.", {"a.txt", "b.txt", "d.txt"}, "rita@example.com");
    if (HasFailure()) return;

    // The stored task is completed and kept its template.
    const nlohmann::json j = Export();
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_EQ(j[0]["templateFile"], task.m_strTemplateFile);
    EXPECT_EQ(j[0]["nextSending"]["year"], 0);
    EXPECT_EQ(j[0]["lastSent"]["day"], 15);
    EXPECT_TRUE(fs::is_regular_file(task.m_strTemplateFile));
}

INSTANTIATE_TEST_SUITE_P(Zones, ScheduleAndSendTest, TestZones("Europe/Berlin", "Australia/Lord_Howe"),
                         [](const auto& info) { return ZoneTestName(info.param); });
