// Writes pictures of the Email Manager over a sample task list and of the
// About window into the folder given (run under a real X server, e.g.
// xvfb-run).
#include <QApplication>
#include <QTreeWidget>

#include "CAboutDlg.h"
#include "CEmailManagerDlg.h"
#include "CScreenshotFolder.h"
#include "CTaskHistoryFile.h"
#include "IClock.h"
#include "SharedState.h"

namespace {

// A sample task sent at the start's hour and minute, with its recurrence set
// by fnSet.
template <class Fn>
CTaskItem Sample(const char* pszName, int bActive, const TaskDateTime& dtNext, Fn fnSet) {
    CTaskItem t;
    t.m_bActive = bActive;
    t.m_strTaskName = pszName;
    t.m_strTemplateFile = std::string("/samples/") + pszName + ".oft";
    t.m_dtStart = dtNext;
    t.m_dtNextSending = dtNext;
    t.m_nEndKind = CodeOf(EEndKind::NoEnd);
    for (int32_t& b : t.m_bWeekDays) b = 0;
    fnSet(t);
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    auto folder = CScreenshotFolder::FromArgs(argc, argv, "manager_screenshots");
    if (!folder) return 1;
    CTaskList list;
    list.Add(Sample("Weekly figures", 1, {2024, 6, 10, 2, 9, 0, 1}, [](CTaskItem& t) {
        t.m_nRecurrence = CodeOf(ERecurrence::Weekly), t.m_nWeeklyInterval = 1, t.m_bWeekDays[1] = 1;
    }));
    list.Add(Sample("Monthly files", 1, {2024, 6, 15, 7, 10, 1, 1}, [](CTaskItem& t) {
        t.m_nRecurrence = CodeOf(ERecurrence::Monthly), t.m_nMonthlyDay = 15, t.m_nMonthlyInterval = 1;
    }));
    list.Add(Sample("Minute report", 0, {2024, 6, 7, 6, 10, 3, 1},
                    [](CTaskItem& t) { t.m_nRecurrence = CodeOf(ERecurrence::Minutely), t.m_nMinuteInterval = 30; }));
    list.Add(Sample("Birthday greeting", 1, {2025, 3, 2, 1, 8, 30, 1}, [](CTaskItem& t) {
        t.m_nRecurrence = CodeOf(ERecurrence::Yearly), t.m_nYearlyMonth = 2, t.m_nYearlyDay = 2;
    }));
    list.Add(Sample("Invitation (sent once)", 1, {2024, 6, 1, 7, 12, 0, 1},
                    [](CTaskItem& t) { t.m_nRecurrence = CodeOf(ERecurrence::Once), t.m_dtNextSending.Empty(); }));
    g_pTaskList = &list;

    // What the last occurrences came to, for the Last Result column.
    const CFixedClock clock(1717750800);  // 2024-06-07 09:00 UTC
    CTaskHistoryFile history("/samples/history.json", clock);
    const auto Record = [&](const char* pszName, CTaskOutcome::EKind kind, const char* pszOccurrence,
                            const char* pszText, int64_t tWhen) {
        CTaskOutcome outcome;
        outcome.kind = kind;
        outcome.strOccurrence = pszOccurrence;
        outcome.strText = pszText;
        outcome.tWhen = tWhen;
        history.History().Record(CTaskHistory::KeyOf(std::string("/samples/") + pszName + ".oft"), outcome);
    };
    Record("Weekly figures", CTaskOutcome::EKind::Sent, "2024-06-03 09:00", "", 1717405205);
    Record("Monthly files", CTaskOutcome::EKind::Retrying, "2024-05-15 10:01",
           "451 4.3.0 mailbox temporarily unavailable", 1715767300);
    Record("Minute report", CTaskOutcome::EKind::Failed, "2024-06-07 09:30", "550 5.1.1 no such user here", 1717752610);
    Record("Invitation (sent once)", CTaskOutcome::EKind::Sent, "2024-06-01 12:00", "", 1717243204);
    g_pTaskHistory = &history;

    {
        CEmailManagerDlg dlg;
        dlg.show();
        dlg.List()->setCurrentItem(dlg.List()->topLevelItem(1));
        // At its default size: names, next sendings, last results and schedules together.
        folder->Save(dlg, "manager");
    }
    {
        CAboutDlg dlg;
        dlg.show();
        folder->Save(dlg, "about");
    }
    g_pTaskHistory = nullptr;
    g_pTaskList = nullptr;
    return folder->AllSaved() ? 0 : 1;
}
