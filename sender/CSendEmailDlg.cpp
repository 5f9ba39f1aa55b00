#include "CSendEmailDlg.h"

#include <QTimer>
#include <exception>
#include <iostream>

#include "CTaskError.h"
#include "TaskTime.h"

CSendEmailDlg::CSendEmailDlg(CSendContext ctx)
    : m_ctx(std::move(ctx)), m_schedule(m_ctx.pClock ? *m_ctx.pClock : m_systemClock) {}

CSendEmailDlg::~CSendEmailDlg() { OnDestroy(); }

bool CSendEmailDlg::OnInitDialog() {
    m_bBusy = 0;
    if (!m_pTimer) {
        m_pTimer = std::make_unique<QTimer>();
        m_pTimer->setInterval(kTimerMs);
        QObject::connect(m_pTimer.get(), &QTimer::timeout, [this] { OnTimer(); });
    }
    m_pTimer->start();
    return true;
}

void CSendEmailDlg::OnDestroy() {
    if (m_pTimer) m_pTimer->stop();
    m_pTimer.reset();
}

bool CSendEmailDlg::IsTimerRunning() const { return m_pTimer && m_pTimer->isActive(); }
int CSendEmailDlg::TimerInterval() const { return m_pTimer ? m_pTimer->interval() : 0; }

void CSendEmailDlg::OnTimer() {
    if (m_bBusy) return;
    m_bBusy = 1;
    // Cleared on every way out, so that an unexpected failure leaves the
    // scheduler usable.
    struct CBusyGuard {
        int32_t& b;
        ~CBusyGuard() { b = 0; }
    } guard{m_bBusy};
    CTaskList* pList = m_ctx.fnTaskList ? m_ctx.fnTaskList() : nullptr;
    if (!pList || pList->GetSize() == 0) return;
    try {
        Tick(*pList);
    } catch (const std::exception& e) {
        std::cerr << "Quillory: sending stopped for this second: " << e.what() << '\n';
    }
}

void CSendEmailDlg::Tick(CTaskList& list) {
    const CTaskList& view = list;
    m_cache.Sync(view);
    if (m_schedule.NowMinute() < m_cache.Earliest()) return;  // nothing can be due

    const int n = view.GetSize();
    bool bChanged = false;
    for (int i = 0; i < n; ++i) {
        // A nested event loop inside a send may have shortened the list.
        if (i >= view.GetSize()) break;
        // The cache decides only while it still describes the list; after
        // someone else changed it mid-tick every task is looked at.
        if (m_cache.IsCurrent(view) && m_cache.Key(i) > m_schedule.NowMinute()) continue;
        bChanged |= HandleOne(list, i);
    }
    if (m_cache.IsCurrent(view)) m_cache.Rescan();
    if (bChanged && m_ctx.fnSave) m_ctx.fnSave(view);
}

bool CSendEmailDlg::HandleOne(CTaskList& list, int i) {
    const CTaskList& view = list;
    CTaskItem task = view.GetAt(i);
    int nDue = 0;
    try {
        nDue = m_schedule.CheckDue(task);
    } catch (const CTaskError&) {
        return false;  // invalid times: reported when the cache took the task in
    }
    if (nDue == 0) return false;
    if (nDue == 1 && m_ctx.fnSend) {
        try {
            m_ctx.fnSend(task);
        } catch (const std::exception& e) {
            std::cerr << "Quillory: sending task \"" << task.m_strTaskName << "\" failed: " << e.what() << '\n';
        }
    }
    try {
        ++task.m_nOccurrenceCount;
        CSchedule::SetLastSent(task, TaskTime::ToAbsolute(task.m_dtNextSending));
        m_schedule.CalcNextSending(task);
    } catch (const CTaskError& e) {
        // Left as it was, the task would be due again on every tick; without
        // a next time it is never sent twice.
        std::cerr << "Quillory: task \"" << task.m_strTaskName << "\" cannot be advanced and is completed: "
                  << e.what() << '\n';
        task.m_dtNextSending.Empty();
    }
    if (i >= view.GetSize()) return false;  // the list shrank during the send
    const unsigned long long nBefore = view.Generation();
    list.SetAt(i, task);
    m_cache.Update(view, i, nBefore);
    return true;
}
