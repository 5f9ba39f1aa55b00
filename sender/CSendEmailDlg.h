#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "CCatchUpCount.h"
#include "CHolidayCache.h"
#include "CNextSendingCache.h"
#include "CRuledSchedule.h"
#include "CSchedule.h"
#include "CStalledTasks.h"
#include "CTaskItem.h"
#include "IClock.h"

class QTimer;

// Whether a sent occurrence counts; one that does not (the host could not
// store the message for a reason that passes, or its attachments are
// awaited) stays due and is tried again nRetrySeconds later.
struct CSendVerdict {
    CSendVerdict(bool bCountsIn, int nRetrySecondsIn = 60) : bCounts(bCountsIn), nRetrySeconds(nRetrySecondsIn) {}
    bool bCounts;
    int nRetrySeconds;
};

// What the scheduler works on: the shared task list (null when there is
// none), how one due task is sent and how the whole list is saved.
struct CSendContext {
    std::function<CTaskList*()> fnTaskList;
    // Sends one due occurrence.
    std::function<CSendVerdict(const CTaskItem&)> fnSend;
    // Sends one extra message of a task on request, outside its schedule.
    std::function<void(const CTaskItem&)> fnSendNow;
    std::function<void(const CTaskList&)> fnSave;
    const IClock* pClock = nullptr;  // null: the system clock
    // An overdue occurrence skipped (the task does not send late); the task
    // as CheckDue left it, m_dtNextSending still the occurrence.
    std::function<void(const CTaskItem&)> fnSkipped;
    // Whether the task's next occurrence was due before and the host could
    // not store it then (told by what was recorded, so also after a
    // restart): it is sent late, whatever send-overdue says.
    std::function<bool(const CTaskItem&)> fnWaitsForHost;
    // Whether a window is editing the task: it is not handled meanwhile
    // (CSendingHold says why).
    std::function<bool(CTaskList::Id)> fnHeld;
    // Once, when the catch-up after start found anything overdue.
    std::function<void(const std::vector<CCatchUpCount::CLine>&)> fnCaughtUp;
    // Around each tick that looks at tasks (the end also when it fails),
    // so that what the sends record can be written once per tick.
    std::function<void()> fnTickStart;
    std::function<void()> fnTickEnd;
    // The task's rules as its entry beside the list keeps them; null or no
    // rules: sent as its schedule says. A problem (damaged rules) is told
    // once, and the task is then sent as without rules.
    std::function<CResult<CTaskRules>(const CTaskItem&)> fnRulesOf;
    // An occurrence a rule skipped (strReason: "not a working day"), told
    // before the task list is saved past it. bSkipNextUsed: it used up
    // "skip the next occurrence", whose flag is to be cleared and written,
    // together with the record, before the list moves on.
    std::function<void(const CTaskItem&, const std::string& strReason, bool bSkipNextUsed)> fnSkippedByRule;
    // Whether the occurrence in m_dtNextSending was already recorded as
    // skipped by a rule (a stop came between that record and the list's
    // save): it is then passed over again without a second record.
    std::function<bool(const CTaskItem&)> fnSkippedByRuleBefore;
};

// The hidden sender: a one-second timer on the thread that owns the task
// list. Each tick walks the list in order, sends what is due, advances every
// handled task and saves the list once when anything changed. It shows
// nothing; a failure is reported by the send and the task is advanced,
// except when the host could not store the message for a reason that
// passes (a full disk): that occurrence stays due, is tried again about
// once a minute whatever the task's send-overdue option, and goes out
// late, once, when the host takes it. A holiday calendar that changes on
// disk places the stored next times of the tasks that name it again at the
// next tick (the first tick after a start counts as a change), saved with
// that tick.
//
// The ticks fall just after each whole second of the wall clock, so the
// first tick of a minute comes within a few milliseconds of its start
// rather than anywhere in its first second: a 09:00 message goes at
// 09:00:00.0xx, not at 09:00:00.9.
class CSendEmailDlg {
public:
    static constexpr int kTimerId = 1;
    static constexpr int kTimerMs = 1000;
    // How far after a whole second a tick is aimed: a timer that fires a
    // millisecond early must not still see the old minute.
    static constexpr int kTickLateMs = 15;
    // How many tasks removed while handled are remembered (HandledWhileRemoved).
    static constexpr size_t kHandledGoneKept = 16;

    // Milliseconds from nNowMs (wall clock, since the epoch) to the next
    // tick, aimed at kTickLateMs past a whole second: from 10:00:00.500 it
    // is 515, from 10:00:00.015 a whole 1000, from 09:59:59.999 just 16.
    static int DelayToNextTick(int64_t nNowMs);

    explicit CSendEmailDlg(CSendContext ctx);
    ~CSendEmailDlg();
    CSendEmailDlg(const CSendEmailDlg&) = delete;
    CSendEmailDlg& operator=(const CSendEmailDlg&) = delete;

    // Clears the busy flag and starts the timer (needs a Qt event loop to fire).
    bool OnInitDialog();
    // Stops the timer; no tick runs afterwards.
    void OnDestroy();
    // One tick.
    void OnTimer();

    bool IsBusy() const { return m_bBusy != 0; }
    // Sends one extra message of the task, outside the schedule: its
    // outcome is recorded as sent now, and the task is not advanced.
    void SendNow(const CTaskItem& task) const {
        if (m_ctx.fnSendNow) m_ctx.fnSendNow(task);
    }
    // The tasks this scheduler completed because their schedule could not move on.
    const CStalledTasks& Stalled() const { return m_stalled; }
    // A task removed while its occurrence was being handled (sent, or
    // skipped by a rule): as it would have been advanced, for the Email
    // Manager's Undo Remove to bring back, or it would handle that
    // occurrence a second time. Null when nothing was handled meanwhile.
    const CTaskItem* HandledWhileRemoved(CTaskList::Id nId) const {
        const auto it = m_mapHandledGone.find(nId);
        return it == m_mapHandledGone.end() ? nullptr : &it->second;
    }
    bool IsTimerRunning() const;
    int TimerInterval() const;

private:
    void ArmTimer();
    CResult<> Tick(CTaskList& list);
    // CheckDue, send and advance task i; true when it was handled. A send
    // can run a nested event loop in which the task is moved, removed or
    // edited: the advance is written to the same task (found by its
    // identity), and only while its schedule still stands where the tick
    // found it.
    bool HandleOne(CTaskList& list, int i);
    // Counts an overdue occurrence of the catch-up after start.
    void NoteCatchUp(const CTaskItem& task, CTaskList::Id nId, CSchedule::EDue eDue);
    void EndCatchUpTick();
    // Tells once that a due task's last sending time (task as the tick
    // found it) cannot be read; the occurrence is handled all the same.
    void ReportDamagedLastSent(const CTaskItem& task, CTaskList::Id nId, CSchedule::EDue eDue);
    // The advance past the occurrence in m_dtNextSending: count, last sent,
    // next time; a next time that does not move past the occurrence
    // completes the task (reported once).
    void Advance(const CRuledSchedule& ruled, CTaskItem& task, CTaskList::Id nId, bool bCounts);
    // Advance without the completion of a task that cannot be advanced.
    CResult<> AdvanceOrStall(const CRuledSchedule& ruled, CTaskItem& task, CTaskList::Id nId, bool bCounts);
    // The task's rules; damaged ones are told once and count as none.
    CTaskRules RulesOf(const CTaskItem& task, CTaskList::Id nId);
    // What the rules make of a due occurrence (task as the list holds it).
    CRuledSchedule::EVerdict VerdictOf(const CRuledSchedule& ruled, const CTaskItem& task, CSchedule::EDue eDue,
                                       time_t tNow) const;
    // The next times of the tasks whose holiday files changed since those
    // times were placed, placed again (also at the first look after the
    // start: a file may have changed while nothing ran); true when any moved.
    bool PlaceAgainWhereHolidaysChanged(CTaskList& list, time_t tNow);
    // The occurrence waits for the host: true when it is not time to try it again yet.
    bool IsWaiting(const CTaskItem& task, CTaskList::Id nId, time_t tNow);

    // An occurrence the host could not store, and when it is tried again.
    struct CWaiting {
        TaskDateTime dtOccurrence;
        time_t tNextTry = 0;
    };

    CSendContext m_ctx;
    CSystemClock m_systemClock;
    CSchedule m_schedule;
    int32_t m_bBusy = 0;
    CNextSendingCache m_cache;
    CStalledTasks m_stalled;
    CCatchUpCount m_catchUp;
    std::vector<CTaskList::Id> m_vecTickIds;  // the tasks of the running tick
    std::map<CTaskList::Id, CWaiting> m_mapWaiting;
    std::map<CTaskList::Id, CTaskItem> m_mapHandledGone;  // see HandledWhileRemoved; the last few
    std::map<CTaskList::Id, std::string> m_mapToldRules;  // the damaged rules told, per task
    CHolidayCache m_holidays;
    // Per task, the version of each holiday file its next time was placed with.
    std::map<CTaskList::Id, std::map<std::string, uint64_t>> m_mapPlacedWith;
    // Ticks until the tasks' rules are looked at again for holiday files not
    // yet known (a task added or given other files); a known file that
    // changes is seen at the next tick.
    int m_nTicksToRulesWalk = 0;
    uint64_t m_nWalkedGeneration = 0;  // the holidays' generation the last walk saw
    static constexpr int kRulesWalkTicks = 60;
    // How many days around the present the holidays are read for; an
    // occurrence long overdue further back meets no holiday there.
    static constexpr int kHolidayReach = 400;
    std::unique_ptr<QTimer> m_pTimer;
};

// The add-in's one scheduler while connected, null otherwise; the add-in owns it.
extern CSendEmailDlg* g_pSendEmailDlg;
