// The Email Manager's commands run from inside a send, as a nested event
// loop (receiving first, a host prompt) would deliver them: whatever the
// user does, no task is lost or doubled, the user's edits stay, and the sent
// task is advanced exactly once, or not at all when it was removed or
// rescheduled meanwhile. The expected list is kept by the test's own rules.
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "CBoxRecorder.h"
#include "CEmailManagerDlg.h"
#include "CSendEmailDlg.h"
#include "CTempDir.h"
#include "ResultValue.h"
#include "SharedState.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;

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
            for (size_t k = 0; k < vecModel.size(); ++k)
                if (vecModel[k].strTag == strTag) return static_cast<int>(k);
            return -1;
        };

        CEmailManagerDlg dlg;
        auto click = [&](int nRow, int nId) {
            dlg.OnTimer();
            dlg.List()->setCurrentItem(dlg.List()->topLevelItem(nRow));
            qobject_cast<QPushButton*>(dlg.Control(nId))->click();
        };
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
            for (int nOps = pick(1, 3); nOps > 0 && !vecModel.empty(); --nOps) {
                const int r = pick(0, static_cast<int>(vecModel.size()) - 1);
                switch (pick(0, 7)) {
                    case 0:
                        click(r, CEmailManagerDlg::IDC_MOVE_UP);
                        if (r > 0) std::swap(vecModel[r], vecModel[r - 1]);
                        break;
                    case 1:
                        click(r, CEmailManagerDlg::IDC_MOVE_DOWN);
                        if (r + 1 < static_cast<int>(vecModel.size())) std::swap(vecModel[r], vecModel[r + 1]);
                        break;
                    case 2:
                        click(r, CEmailManagerDlg::IDC_REMOVE);
                        vecModel.erase(vecModel.begin() + r);
                        break;
                    case 3:
                        click(r, CEmailManagerDlg::IDC_ACTIVATE);
                        vecModel[r].bActive = 1;
                        break;
                    case 4:
                        click(r, CEmailManagerDlg::IDC_DISABLE);
                        vecModel[r].bActive = 0;
                        break;
                    case 5: {
                        click(r, CEmailManagerDlg::IDC_COPY);
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
