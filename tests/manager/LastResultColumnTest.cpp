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
// local time with the whole story, newest first, in the tooltip.
TEST_F(LastResultColumnTest, TheResultInShortWordsWithTheWholeStoryInTheTooltip) {
    struct CRow {
        const char* pszKind;
        const char* pszText;
        std::string strShown;  // with %T for the local time of the result
    };
    const CRow rows[] = {
        {"sent", "to 1 recipient(s)", "Sent %T"},
        {"failed", "550 5.1.1 no such user", "Failed: 550 5.1.1 no such user"},
    };
    std::string strJson = "{\"version\": 1, \"tasks\": {";
    for (size_t i = 0; i < std::size(rows); ++i) {
        AddTask("Task " + std::to_string(i), "t" + std::to_string(i) + ".oft");
        strJson += std::string(i ? ", " : "") + "\"t" + std::to_string(i) + ".oft\": [" +
                   Entry("sent", "", "2026-12-06 09:00") + ", " + Entry(rows[i].pszKind, rows[i].pszText) + "]";
    }
    AddTask("Never sent", "never.oft");
    CTempDir::WriteFile(g_strDataDir + "history.json", strJson + "}}");
    CTaskHistoryFile file(g_strDataDir + "history.json", m_clock);
    ASSERT_TRUE(file.Load().Ok());
    g_pTaskHistory = &file;

    for (const char* pszZone : {"UTC", "America/New_York", "Asia/Kolkata"}) {
        SCOPED_TRACE(pszZone);
        const CZoneGuard zone(pszZone);
        CEmailManagerDlg dlg;
        EXPECT_EQ(dlg.List()->headerItem()->text(CEmailManagerDlg::kLastResultColumn).toStdString(), "Last Result");
        for (size_t i = 0; i < std::size(rows); ++i) {
            std::string strShown = rows[i].strShown;
            if (const size_t n = strShown.find("%T"); n != std::string::npos) strShown.replace(n, 2, LocalClock());
            const QTreeWidgetItem* pItem = dlg.List()->topLevelItem(static_cast<int>(i));
            EXPECT_EQ(pItem->text(CEmailManagerDlg::kLastResultColumn).toStdString(), strShown) << rows[i].pszKind;
            // Newest first: this occurrence's account, then the day before's.
            const QStringList tip = pItem->toolTip(CEmailManagerDlg::kLastResultColumn).split('\n');
            ASSERT_EQ(tip.size(), 2);
            EXPECT_TRUE(tip[0].startsWith("The occurrence of 2026-12-07 09:00 ")) << tip[0].toStdString();
            EXPECT_TRUE(tip[0].contains(rows[i].pszText)) << tip[0].toStdString();
            EXPECT_TRUE(tip[1].startsWith("The occurrence of 2026-12-06 09:00 was sent")) << tip[1].toStdString();
        }
        const QTreeWidgetItem* pNever = dlg.List()->topLevelItem(static_cast<int>(std::size(rows)));
        EXPECT_EQ(pNever->text(CEmailManagerDlg::kLastResultColumn), "");
        EXPECT_EQ(pNever->toolTip(CEmailManagerDlg::kLastResultColumn), "");
    }
}

TEST_F(LastResultColumnTest, ANewResultShowsAtTheNextRefreshAndFollowsItsTaskWhenMoved) {
    AddTask("First", "a.oft");
    AddTask("Second", "b.oft");
    CTaskHistoryFile file(g_strDataDir + "history.json", m_clock);
    g_pTaskHistory = &file;
    CEmailManagerDlg dlg;
    EXPECT_EQ(dlg.List()->topLevelItem(1)->text(CEmailManagerDlg::kLastResultColumn), "");
    CTaskOutcome o;
    o.kind = CTaskOutcome::EKind::Failed;
    o.strOccurrence = "2026-12-07 09:00";
    o.strText = "554 rejected";
    file.History().Record("b.oft", o);
    m_list.MoveUp(1);
    dlg.OnTimer();
    EXPECT_EQ(dlg.List()->topLevelItem(0)->text(CEmailManagerDlg::kLastResultColumn), "Failed: 554 rejected");
    EXPECT_EQ(dlg.List()->topLevelItem(1)->text(CEmailManagerDlg::kLastResultColumn), "");
}

// The green tick marks only a task that will still send: not a disabled
// one, not one with nothing left, not one whose last occurrence failed.
TEST_F(LastResultColumnTest, TheActiveTickMarksOnlyATaskThatWillSend) {
    using ERowMark = CEmailManagerDlg::ERowMark;
    const struct {
        const char* pszName;
        int32_t bActive;
        bool bNext;           // a next sending time is left
        const char* pszLast;  // the last result's kind, "" for none
        ERowMark mark;
    } kRows[] = {
        {"active", 1, true, "sent", ERowMark::Active},
        {"never sent", 1, true, "", ERowMark::Active},
        {"retrying", 1, true, "retrying", ERowMark::Active},
        {"disabled", 0, true, "sent", ERowMark::Inactive},
        {"completed", 1, false, "sent", ERowMark::Completed},
        {"failed", 1, true, "failed", ERowMark::Failed},
        {"failed and completed", 1, false, "failed", ERowMark::Failed},
        {"template missing", 1, true, "template-missing", ERowMark::Failed},
        {"disabled after a failure", 0, true, "failed", ERowMark::Inactive},
    };
    std::string strJson = "{\"version\": 1, \"tasks\": {";
    bool bFirst = true;
    for (size_t i = 0; i < std::size(kRows); ++i) {
        AddTask(kRows[i].pszName, "m" + std::to_string(i) + ".oft");
        m_list[static_cast<int>(i)].m_bActive = kRows[i].bActive;
        if (!kRows[i].bNext) m_list[static_cast<int>(i)].m_dtNextSending.Empty();
        if (!*kRows[i].pszLast) continue;
        strJson += std::string(bFirst ? "" : ", ") + "\"m" + std::to_string(i) + ".oft\": [" +
                   Entry(kRows[i].pszLast, "why") + "]";
        bFirst = false;
    }
    CTempDir::WriteFile(g_strDataDir + "history.json", strJson + "}}");
    CTaskHistoryFile file(g_strDataDir + "history.json", m_clock);
    ASSERT_TRUE(file.Load().Ok());
    g_pTaskHistory = &file;
    CEmailManagerDlg dlg;
    const QImage tick = dlg.List()->topLevelItem(0)->icon(0).pixmap(16).toImage();
    for (size_t i = 0; i < std::size(kRows); ++i) {
        const QTreeWidgetItem* pItem = dlg.List()->topLevelItem(static_cast<int>(i));
        EXPECT_EQ(pItem->data(0, CEmailManagerDlg::kMarkRole).toInt(), static_cast<int>(kRows[i].mark))
            << kRows[i].pszName;
        EXPECT_EQ(pItem->icon(0).pixmap(16).toImage() == tick, kRows[i].mark == ERowMark::Active) << kRows[i].pszName;
    }
}

// A last sending time that cannot be read is told in the column and its
// tooltip, not only on the journal, with or without a history; without a
// history the column is otherwise empty.
TEST_F(LastResultColumnTest, AnUnreadableLastSendingTimeIsShown) {
    AddTask("Damaged", "a.oft");
    m_list[0].m_dtLastSent = {2026, 13, 7, 2, 9, 0, 1};  // month 13
    AddTask("Sound", "b.oft");
    m_list[1].m_dtLastSent = {2026, 12, 7, 2, 9, 0, 1};
    AddTask("Never sent", "c.oft");
    CEmailManagerDlg dlg;
    const auto* pDamaged = dlg.List()->topLevelItem(0);
    EXPECT_EQ(pDamaged->text(CEmailManagerDlg::kLastResultColumn), "Last sending time unreadable");
    EXPECT_TRUE(
        pDamaged->toolTip(CEmailManagerDlg::kLastResultColumn).startsWith("Its last sending time cannot be read ("))
        << pDamaged->toolTip(CEmailManagerDlg::kLastResultColumn).toStdString();
    EXPECT_TRUE(
        pDamaged->toolTip(CEmailManagerDlg::kLastResultColumn).endsWith("; it is sent by its next time all the same."));
    EXPECT_EQ(dlg.List()->topLevelItem(1)->text(CEmailManagerDlg::kLastResultColumn), "");
    EXPECT_EQ(dlg.List()->topLevelItem(2)->text(CEmailManagerDlg::kLastResultColumn), "");
}
