// The Email Manager's "Last Result" column, read from a history file as the
// add-in keeps it, in several time zones.
#include <QTreeWidget>
#include <ctime>

#include <gtest/gtest.h>

#include "CEmailManagerDlg.h"
#include "CTaskHistoryFile.h"
#include "CTempDir.h"
#include "IClock.h"
#include "SharedState.h"
#include "ZoneGuard.h"

namespace {

constexpr int64_t kWhen = 1796634000;  // 2026-12-07 09:00 UTC

// The local "HH:MM" of kWhen, from the C library rather than the code under test.
std::string LocalClock() {
    const time_t t = static_cast<time_t>(kWhen);
    std::tm tmLocal{};
    localtime_r(&t, &tmLocal);
    char sz[8];
    std::strftime(sz, sizeof sz, "%H:%M", &tmLocal);
    return sz;
}

class LastResultColumnTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_strDataDir = m_dir.Path() + "/";
        g_pTaskList = &m_list;
    }
    void TearDown() override {
        g_pTaskHistory = nullptr;
        g_pTaskList = nullptr;
    }
    void AddTask(const std::string& strName, const std::string& strTemplate) {
        CTaskItem t;
        t.m_bActive = 1;
        t.m_strTaskName = strName;
        t.m_strTemplateFile = g_strDataDir + strTemplate;
        t.m_dtNextSending = {2026, 12, 8, 3, 9, 0, 1};
        m_list.Add(t);
    }
    static std::string Entry(const char* pszKind, const char* pszText, const char* pszOccurrence = "2026-12-07 09:00") {
        return std::string("{\"kind\": \"") + pszKind + "\", \"occurrence\": \"" + pszOccurrence +
               "\", \"messageId\": \"<1@x>\", \"text\": \"" + pszText + "\", \"when\": " + std::to_string(kWhen) + "}";
    }

    CTempDir m_dir;
    CTaskList m_list;
    CFixedClock m_clock{kWhen};
};

}  // namespace

// Each kind's words are TaskHistoryTest's rows; the column shows them in
// local time with the whole story, newest first, in the tooltip. The green
// tick marks only a task that will still send: not a disabled one, not one
// with nothing left, not one whose last occurrence failed.
TEST_F(LastResultColumnTest, TheResultInShortWordsTheWholeStoryInTheTooltipAndTheTickOnlyWhereItWillSend) {
    using ERowMark = CEmailManagerDlg::ERowMark;
    const struct {
        const char* pszName;
        int32_t bActive;
        bool bNext;            // a next sending time is left
        const char* pszLast;   // the last result's kind, "" for none
        const char* pszText;   // its account
        const char* pszShown;  // with %T for the local time of the result; nullptr: other kinds' words
        ERowMark mark;
    } kRows[] = {
        {"sent", 1, true, "sent", "to 1 recipient(s)", "Sent %T", ERowMark::Active},
        {"never sent", 1, true, "", "", "", ERowMark::Active},
        {"retrying", 1, true, "retrying", "why", nullptr, ERowMark::Active},
        {"disabled", 0, true, "sent", "why", nullptr, ERowMark::Inactive},
        {"completed", 1, false, "sent", "why", nullptr, ERowMark::Completed},
        {"failed", 1, true, "failed", "550 5.1.1 no such user", "Failed: 550 5.1.1 no such user", ERowMark::Failed},
        {"failed and completed", 1, false, "failed", "why", nullptr, ERowMark::Failed},
        {"template missing", 1, true, "template-missing", "why", nullptr, ERowMark::Failed},
        {"disabled after a failure", 0, true, "failed", "why", nullptr, ERowMark::Inactive},
    };
    std::string strJson;
    for (size_t i = 0; i < std::size(kRows); ++i) {
        AddTask(kRows[i].pszName, "m" + std::to_string(i) + ".oft");
        m_list[static_cast<int>(i)].m_bActive = kRows[i].bActive;
        if (!kRows[i].bNext) m_list[static_cast<int>(i)].m_dtNextSending.Empty();
        if (!*kRows[i].pszLast) continue;
        strJson += std::string(strJson.empty() ? "" : ", ") + "\"m" + std::to_string(i) + ".oft\": [" +
                   Entry("sent", "", "2026-12-06 09:00") + ", " + Entry(kRows[i].pszLast, kRows[i].pszText) + "]";
    }
    CTempDir::WriteFile(g_strDataDir + "history.json", "{\"version\": 1, \"tasks\": {" + strJson + "}}");
    CTaskHistoryFile file(g_strDataDir + "history.json", m_clock);
    ASSERT_TRUE(file.Load().Ok());
    g_pTaskHistory = &file;

    for (const char* pszZone : {"UTC", "America/New_York", "Asia/Kolkata"}) {
        SCOPED_TRACE(pszZone);
        const CZoneGuard zone(pszZone);
        CEmailManagerDlg dlg;
        EXPECT_EQ(dlg.List()->headerItem()->text(CEmailManagerDlg::kLastResultColumn).toStdString(), "Last Result");
        const QImage tick = dlg.List()->topLevelItem(0)->icon(0).pixmap(16).toImage();
        for (size_t i = 0; i < std::size(kRows); ++i) {
            SCOPED_TRACE(kRows[i].pszName);
            const QTreeWidgetItem* pItem = dlg.List()->topLevelItem(static_cast<int>(i));
            EXPECT_EQ(pItem->data(0, CEmailManagerDlg::kMarkRole).toInt(), static_cast<int>(kRows[i].mark));
            EXPECT_EQ(pItem->icon(0).pixmap(16).toImage() == tick, kRows[i].mark == ERowMark::Active);
            if (kRows[i].pszShown) {
                std::string strShown = kRows[i].pszShown;
                if (const size_t n = strShown.find("%T"); n != std::string::npos) strShown.replace(n, 2, LocalClock());
                EXPECT_EQ(pItem->text(CEmailManagerDlg::kLastResultColumn).toStdString(), strShown);
            }
            const QStringList tip = pItem->toolTip(CEmailManagerDlg::kLastResultColumn).split('\n');
            if (!*kRows[i].pszLast) {
                EXPECT_EQ(pItem->toolTip(CEmailManagerDlg::kLastResultColumn), "");
                continue;
            }
            // Newest first: this occurrence's account, then the day before's.
            ASSERT_EQ(tip.size(), 2);
            EXPECT_TRUE(tip[0].startsWith("The occurrence of 2026-12-07 09:00 ")) << tip[0].toStdString();
            EXPECT_TRUE(tip[0].contains(kRows[i].pszText)) << tip[0].toStdString();
            EXPECT_TRUE(tip[1].startsWith("The occurrence of 2026-12-06 09:00 was sent")) << tip[1].toStdString();
        }
    }
}

// A last sending time that cannot be read is told in the column and its
// tooltip, not only on the journal; without a history the column is
// otherwise empty. A new result shows at the next refresh, on its task's row
// wherever the task moved.
TEST_F(LastResultColumnTest, AnUnreadableLastSendingTimeIsShownAndANewResultFollowsItsTask) {
    AddTask("Damaged", "a.oft");
    m_list[0].m_dtLastSent = {2026, 13, 7, 2, 9, 0, 1};  // month 13
    AddTask("Sound", "b.oft");
    m_list[1].m_dtLastSent = {2026, 12, 7, 2, 9, 0, 1};
    AddTask("Never sent", "c.oft");
    CEmailManagerDlg dlg;
    auto result = [&](int nRow) { return dlg.List()->topLevelItem(nRow)->text(CEmailManagerDlg::kLastResultColumn); };
    const QString strTip = dlg.List()->topLevelItem(0)->toolTip(CEmailManagerDlg::kLastResultColumn);
    EXPECT_EQ(result(0), "Last sending time unreadable");
    EXPECT_TRUE(strTip.startsWith("Its last sending time cannot be read (")) << strTip.toStdString();
    EXPECT_TRUE(strTip.endsWith("; it is sent by its next time all the same.")) << strTip.toStdString();
    EXPECT_EQ(result(1), "");
    EXPECT_EQ(result(2), "");

    CTaskHistoryFile file(g_strDataDir + "history.json", m_clock);
    g_pTaskHistory = &file;
    CTaskOutcome o;
    o.kind = CTaskOutcome::EKind::Failed;
    o.strOccurrence = "2026-12-07 09:00";
    o.strText = "554 rejected";
    file.History().Record("c.oft", o);
    m_list.MoveUp(2);
    dlg.OnTimer();
    EXPECT_EQ(result(1), "Failed: 554 rejected");
    EXPECT_EQ(result(2), "");
}
