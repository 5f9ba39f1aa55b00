// What became of each occurrence, seen where the user looks (the Email
// Manager's "Last Result" column, notifications), from the add-in connected
// to a real host that delivers to a loopback SMTP server, ticked by a fixed clock.
#include <QApplication>
#include <QTreeWidget>
#include <filesystem>

#include <gtest/gtest.h>

#include "CAddin.h"
#include "CAddinFolders.h"
#include "CApplication.h"
#include "CBoxRecorder.h"
#include "CEmailManagerDlg.h"
#include "CHostTestBase.h"
#include "CNotifyRecorder.h"
#include "CSendEmailDlg.h"
#include "CSendReporting.h"
#include "CTaskHistoryFile.h"
#include "Contains.h"
#include "IClock.h"
#include "SharedState.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;

namespace {

// 09:00 local time on Monday 7 December 2026.
time_t NineOClock() {
    std::tm tmLocal{};
    tmLocal.tm_year = 2026 - 1900;
    tmLocal.tm_mon = 11;
    tmLocal.tm_mday = 7;
    tmLocal.tm_hour = 9;
    tmLocal.tm_isdst = -1;
    return std::mktime(&tmLocal) + 1;
}

class SendReportingTest : public CHostTestBase {
protected:
    void SetUp() override {
        m_server.Start({.vecRefuse = {"nobody@example.org"}});
        WritePlainAccount(m_server.Port());
        StartHost();
        m_spApp = CApplication::Create(*m_pHost);
        g_pClock = &m_clock;
        CSendReporting::SetNotifierForTests(&m_notes);
        m_spAddin = MakeComObject<CAddin>();
    }
    void TearDown() override {
        Disconnect();
        m_spAddin.Release();
        m_spApp->Shutdown();
        g_spApplication.Release();
        CSendReporting::SetNotifierForTests(nullptr);
        g_pClock = nullptr;
    }
    void Connect() {
        ASSERT_EQ(m_spAddin->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr),
                  S_OK);
        m_bConnected = true;
    }
    void Disconnect() {
        if (m_bConnected) m_spAddin->OnDisconnection(0, nullptr);
        m_bConnected = false;
    }
    // The host program ends and starts again with the same profile and data.
    void Restart() {
        Disconnect();
        m_spAddin.Release();
        m_spApp->Shutdown();
        m_spApp = CApplication::Create(*m_pHost);
        m_spAddin = MakeComObject<CAddin>();
        Connect();
    }
    // A template to strTo, made as the options sheet makes one.
    std::string Template(const std::string& strName, const std::string& strTo) {
        CComPtr<IDispatch> spItem;
        EXPECT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
        CComQIPtr<_MailItem> spMail(spItem.p);
        spMail->put_Subject(strName);
        spMail->put_Body("Body of " + strName + "\n");
        spMail->put_To(strTo);
        const std::string strPath = g_strDataDir + strName + ".oft";
        EXPECT_EQ(spMail->SaveAs(strPath, CVariant(olTemplate)), S_OK);
        return strPath;
    }
    // A task every nMinutes minutes whose next occurrence is nBehind minutes ago.
    CTaskItem Task(const std::string& strName, const std::string& strTemplate, int nMinutes = 60, int nBehind = 0,
                   bool bOverdue = true) {
        CTaskItem t;
        t.m_bActive = 1;
        t.m_strTaskName = strName;
        t.m_strTemplateFile = strTemplate;
        t.m_bSendOverdue = bOverdue;
        t.m_nRecurrence = 1;  // minutely
        t.m_nMinuteInterval = nMinutes;
        t.m_nEndKind = 0;
        const TaskDateTime dt = TaskTime::FromAbsolute(NineOClock() - nBehind * 60);
        t.m_dtStart = dt;
        t.m_dtNextSending = dt;
        return t;
    }
    std::vector<std::string> LastResults() {
        CEmailManagerDlg dlg;
        std::vector<std::string> vec;
        for (int i = 0; i < dlg.List()->topLevelItemCount(); ++i)
            vec.push_back(dlg.List()->topLevelItem(i)->text(CEmailManagerDlg::kLastResultColumn).toStdString());
        return vec;
    }

    CTempDir m_addinDir;
    CAddinFolders m_folders{m_addinDir.Path()};
    CFixedClock m_clock{NineOClock()};
    CNotifyRecorder m_notes;
    CComPtr<CApplication> m_spApp;
    CComPtr<CAddin> m_spAddin;
    bool m_bConnected = false;
};

}  // namespace

TEST_F(SendReportingTest, SentFailedAndMissingTemplateShowInTheManagerAndFailuresAreNotified) {
    Connect();
    g_pTaskList->Add(Task("Accepted", Template("Accepted", "rita@example.com")));
    g_pTaskList->Add(Task("Refused", Template("Refused", "nobody@example.org")));
    g_pTaskList->Add(Task("No template", g_strDataDir + "gone.oft"));
    g_pSendEmailDlg->OnTimer();
    // Handed over, the host's answer still to come.
    EXPECT_EQ(LastResults(),
              (std::vector<std::string>{"Sending since 09:00", "Sending since 09:00", "Template missing"}));
    ASSERT_EQ(m_notes.m_vecShown.size(), 1u);
    EXPECT_EQ(m_notes.m_vecShown[0],
              std::pair(std::string("A scheduled message was not sent"),
                        "No template (2026-12-07 09:00): its template is missing or cannot be read: " + g_strDataDir +
                            "gone.oft"));

    m_clock.Set(NineOClock() + 60);  // the answers come a minute later
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 1));
    ASSERT_TRUE(WaitFor(EHostEvent::Failed, 1));
    const auto vecResults = LastResults();
    ASSERT_EQ(vecResults.size(), 3u);
    EXPECT_EQ(vecResults[0], "Sent 09:01");
    EXPECT_EQ(vecResults[1].rfind("Failed: ", 0), 0u) << vecResults[1];
    EXPECT_TRUE(Contains(vecResults[1], "550 5.1.1 <nobody@example.org>: no such user here"));
    EXPECT_EQ(vecResults[2], "Template missing");
    ASSERT_EQ(m_notes.m_vecShown.size(), 2u);
    EXPECT_EQ(m_notes.m_vecShown[1].first, "A scheduled message failed");
    EXPECT_EQ(m_notes.m_vecShown[1].second.rfind("Refused (2026-12-07 09:00): ", 0), 0u)
        << m_notes.m_vecShown[1].second;
    EXPECT_TRUE(Contains(m_notes.m_vecShown[1].second, "no such user here"));
    // Both are failures: critical, kept on the desktop until dismissed.
    EXPECT_EQ(m_notes.m_vecUrgency, std::vector<INotifier::EUrgency>(2, INotifier::EUrgency::Critical));
    {
        CEmailManagerDlg dlg;
        const std::string strTip =
            dlg.List()->topLevelItem(1)->toolTip(CEmailManagerDlg::kLastResultColumn).toStdString();
        EXPECT_EQ(strTip.rfind("The occurrence of 2026-12-07 09:00 failed for good (2026-12-07 09:01): ", 0), 0u)
            << strTip;
    }

    // The history outlives the connection; a removed task's goes with the next save.
    Restart();
    ASSERT_TRUE(g_pTaskList);
    EXPECT_EQ(LastResults(), vecResults);
    g_pTaskList->RemoveAt(1);
    m_clock.Set(NineOClock() + 3600);
    g_pSendEmailDlg->OnTimer();  // the next hour's occurrences
    CTaskHistoryFile file(g_strDataDir + CTaskHistoryFile::kFileName, m_clock);
    ASSERT_TRUE(file.Load().Ok());
    EXPECT_EQ(file.History().All().size(), 2u);
    EXPECT_TRUE(file.History().Of("Refused.oft").empty());
    EXPECT_EQ(file.History().Of("Accepted.oft").size(), 2u);
}

TEST_F(SendReportingTest, TheCatchUpAfterStartIsNotifiedOnceWithWhatWasSentLateAndSkipped) {
    Connect();
    // Fifteen minutes behind at five-minute intervals: three overdue
    // occurrences each, and the one of this minute, which is on time.
    g_pTaskList->Add(Task("Late sender", Template("Late", "rita@example.com"), 5, 15, true));
    g_pTaskList->Add(Task("Skipper", Template("Skip", "rita@example.com"), 5, 15, false));
    g_pTaskList->Add(Task("On time", Template("OnTime", "rita@example.com"), 60, 0, true));
    for (int i = 0; i < 6; ++i) g_pSendEmailDlg->OnTimer();
    ASSERT_EQ(m_notes.m_vecShown.size(), 1u);
    EXPECT_EQ(m_notes.m_vecShown[0].first, "Messages were due while Mail Host was not running");
    EXPECT_EQ(m_notes.m_vecShown[0].second, "Late sender: 3 sent late\nSkipper: 3 skipped");
    EXPECT_EQ(m_notes.m_vecUrgency[0], INotifier::EUrgency::Normal) << "news, not a failure";
    EXPECT_EQ(LastResults(),
              (std::vector<std::string>{"Sending since 09:00", "Sending since 09:00", "Sending since 09:00"}))
        << "the skipped ones were followed by this minute's occurrence";
    CTaskHistoryFile file(g_strDataDir + CTaskHistoryFile::kFileName, m_clock);
    ASSERT_TRUE(file.Load().Ok());
    std::vector<std::string> vecSkipper;
    for (const auto& o : file.History().Of("Skip.oft")) vecSkipper.push_back(o.ShortText() + " " + o.strOccurrence);
    EXPECT_EQ(vecSkipper,
              (std::vector<std::string>{"Skipped (overdue) 2026-12-07 08:45", "Skipped (overdue) 2026-12-07 08:50",
                                        "Skipped (overdue) 2026-12-07 08:55", "Sending since 09:00 2026-12-07 09:00"}));
    // Later overdue occurrences (a task activated again) are no start-up catch-up.
    m_clock.Set(NineOClock() + 3600);
    for (int i = 0; i < 15; ++i) g_pSendEmailDlg->OnTimer();
    EXPECT_EQ(m_notes.m_vecShown.size(), 1u);
}

TEST_F(SendReportingTest, ADamagedHistoryIsToldKeptAsideAndTheManagerStillWorks) {
    CBoxRecorder boxes;
    fs::create_directories(m_addinDir.Path() + "/roaming/Tarnwick Software/Mail Host/Quillory");
    const std::string strPath = m_addinDir.Path() + "/roaming/Tarnwick Software/Mail Host/Quillory/tasks.json";
    CTempDir::WriteFile(strPath, "{\"version\": 1, \"tasks\": [");
    ::testing::internal::CaptureStderr();
    Connect();
    const std::string strErr = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(g_strDataDir + CTaskHistoryFile::kFileName, strPath);
    EXPECT_TRUE(Contains(strErr, "Quillory: the task history starts empty: " + strPath + ": not JSON"));
    QApplication::processEvents();  // the box waits for the event loop
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0].rfind("The history of sent messages could not be read: " + strPath, 0), 0u);
    g_pTaskList->Add(Task("Accepted", Template("Accepted", "rita@example.com")));
    EXPECT_EQ(LastResults(), std::vector<std::string>{""});
    g_pSendEmailDlg->OnTimer();
    EXPECT_EQ(LastResults(), std::vector<std::string>{"Sending since 09:00"});
    int nKept = 0;
    for (const auto& e : fs::directory_iterator(g_strDataDir))
        if (e.path().filename().string().rfind("tasks.json.damaged-", 0) == 0) {
            ++nKept;
            EXPECT_EQ(CTempDir::ReadFile(e.path()), "{\"version\": 1, \"tasks\": [");
        }
    EXPECT_EQ(nKept, 1);
}

// A message the host cannot store (its Outbox cannot take files) waits
// with the reason in the Email Manager and one notification for the tick,
// is tried again a minute later without a second notification, and goes
// once when the host can take it. A task list that lost that hand-over (a
// stop before the save) hands it over again: the host answers that it
// holds it, nothing is queued twice, and the result stays.
TEST_F(SendReportingTest, AMessageTheHostCannotStoreWaitsToldOnceAndGoesOnceWhenItCan) {
    Connect();
    g_pTaskList->Add(Task("First", Template("First", "rita@example.com")));
    g_pTaskList->Add(Task("Second", Template("Second", "rita@example.com")));
    const CTaskItem firstBefore = g_pTaskList->GetAt(0);
    const std::string strTmp = m_pHost->ProfileDir() + "/Outbox/tmp";
    fs::rename(strTmp, strTmp + ".away");
    CTempDir::WriteFile(strTmp, "");

    g_pSendEmailDlg->OnTimer();
    for (const auto& str : LastResults()) {
        EXPECT_EQ(str.rfind("Not queued yet: ", 0), 0u) << str;
        EXPECT_TRUE(Contains(str, "Not a directory"));
    }
    ASSERT_EQ(m_notes.m_vecShown.size(), 1u) << "one notification for the tick";
    EXPECT_EQ(m_notes.m_vecShown[0].first, "2 scheduled messages wait: the host cannot store them");
    EXPECT_EQ(g_pTaskList->GetAt(0).m_nOccurrenceCount, 0);
    m_clock.Set(NineOClock() + 60);
    g_pSendEmailDlg->OnTimer();  // tried again, the same reason: not told again
    EXPECT_EQ(m_notes.m_vecShown.size(), 1u);
    EXPECT_EQ(g_pTaskHistory->History().Of("First.oft").size(), 1u) << "a try replaces the one before";

    fs::remove(strTmp);
    fs::rename(strTmp + ".away", strTmp);
    m_clock.Set(NineOClock() + 120);
    g_pSendEmailDlg->OnTimer();
    EXPECT_EQ(LastResults(), (std::vector<std::string>{"Sending since 09:02", "Sending since 09:02"}));
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 2));
    EXPECT_EQ(g_pTaskList->GetAt(0).m_nOccurrenceCount, 1);
    EXPECT_EQ(TaskTime::Format(g_pTaskList->GetAt(0).m_dtLastSent), "2026-12-07 09:00") << "sent late, as 09:00's";

    g_pTaskList->SetAt(0, firstBefore);  // as a list saved before the hand-over has it
    m_clock.Set(NineOClock() + 180);
    g_pSendEmailDlg->OnTimer();
    EXPECT_EQ(g_pTaskList->GetAt(0).m_nOccurrenceCount, 1) << "the hand-over counts";
    EXPECT_EQ(LastResults()[0], "Sent 09:02");
    EXPECT_FALSE(WaitFor(EHostEvent::Sent, 3, std::chrono::seconds(3)));
    EXPECT_EQ(m_server.Received().size(), 2u);
    EXPECT_EQ(m_notes.m_vecShown.size(), 1u);
}
