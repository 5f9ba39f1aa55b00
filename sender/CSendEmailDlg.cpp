#include "CSendEmailDlg.h"

#include <QScopedValueRollback>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <exception>
#include <iostream>

#include "CTaskZone.h"
#include "TaskTime.h"

CSendEmailDlg* g_pSendEmailDlg = nullptr;

namespace {

struct CCallOnExit {
    const std::function<void()>& fn;
    ~CCallOnExit() {
        if (fn) fn();
    }
};

}  // namespace

CSendEmailDlg::CSendEmailDlg(CSendContext ctx)
    : m_ctx(std::move(ctx)),
      m_schedule(m_ctx.pClock ? *m_ctx.pClock : m_systemClock),
      m_holidays([](const std::string& str) { std::cerr << "Quillory: " << str << '\n'; }) {}

CSendEmailDlg::~CSendEmailDlg() { OnDestroy(); }

int CSendEmailDlg::DelayToNextTick(int64_t nNowMs) {
    const int64_t nIntoSecond = ((nNowMs - kTickLateMs) % kTimerMs + kTimerMs) % kTimerMs;
    return static_cast<int>(kTimerMs - nIntoSecond);
}

bool CSendEmailDlg::OnInitDialog() {
    m_bBusy = 0;
    if (!m_pTimer) {
        m_pTimer = std::make_unique<QTimer>();
        m_pTimer->setSingleShot(true);
        m_pTimer->setTimerType(Qt::PreciseTimer);
        // Armed again before the tick runs, so that ticks keep arriving (and
        // find the busy flag) while a send runs a nested event loop.
        QObject::connect(m_pTimer.get(), &QTimer::timeout, [this] {
            ArmTimer();
            OnTimer();
        });
    }
    ArmTimer();
    return true;
}

void CSendEmailDlg::ArmTimer() {
    const auto tNow = std::chrono::system_clock::now().time_since_epoch();
    m_pTimer->start(DelayToNextTick(std::chrono::duration_cast<std::chrono::milliseconds>(tNow).count()));
}

void CSendEmailDlg::OnDestroy() {
    if (m_pTimer) m_pTimer->stop();
    m_pTimer.reset();
}

bool CSendEmailDlg::IsTimerRunning() const { return m_pTimer && m_pTimer->isActive(); }
int CSendEmailDlg::TimerInterval() const { return IsTimerRunning() ? kTimerMs : 0; }

void CSendEmailDlg::OnTimer() {
    if (m_bBusy) return;
    // Cleared on every way out, so that an unexpected failure leaves the
    // scheduler usable.
    const QScopedValueRollback guard(m_bBusy, 1);
    CTaskList* pList = m_ctx.fnTaskList ? m_ctx.fnTaskList() : nullptr;
    if (!pList || pList->GetSize() == 0) return EndCatchUpTick();
    std::string strProblem;
    try {
        strProblem = Tick(*pList).Problem();
    } catch (const std::exception& e) {
        strProblem = e.what();  // a broken contract must not end the host
    }
    if (!strProblem.empty()) std::cerr << "Quillory: sending stopped for this second: " << strProblem << '\n';
    EndCatchUpTick();
}

void CSendEmailDlg::EndCatchUpTick() {
    if (m_catchUp.EndTick() && m_ctx.fnCaughtUp) m_ctx.fnCaughtUp(m_catchUp.Lines());
}

void CSendEmailDlg::NoteCatchUp(const CTaskItem& task, CTaskList::Id nId, CSchedule::EDue eDue) {
    if (!m_catchUp.IsCounting()) return;
    if (eDue == CSchedule::kSkipped) return m_catchUp.Note(nId, task.m_strTaskName, false);
    // Sent now, for a minute that has passed: sent late.
    const auto rOccurrence = TaskTime::ToAbsolute(task.m_dtNextSending);
    const auto rNow = m_schedule.NowMinute();
    if (rOccurrence && rNow && *rOccurrence < *rNow) m_catchUp.Note(nId, task.m_strTaskName, true);
}

CResult<> CSendEmailDlg::Tick(CTaskList& list) {
    const CTaskList& view = list;
    m_cache.Sync(view);
    QUILLORY_TRY_VALUE(const time_t tNow, m_schedule.NowMinute());
    // Before the look at what is due: a holiday that went may make a task due now.
    const bool bPlacedAgain = PlaceAgainWhereHolidaysChanged(list, tNow);
    if (bPlacedAgain) m_cache.Update(view);
    if (tNow < m_cache.Earliest()) {  // nothing can be due
        if (bPlacedAgain && m_ctx.fnSave) m_ctx.fnSave(view);
        return {};
    }
    if (m_ctx.fnTickStart) m_ctx.fnTickStart();
    const CCallOnExit tickEnd{m_ctx.fnTickEnd};  // also on the early ways out below

    // A nested event loop inside a send may move or remove tasks: each task
    // that was there when the tick began is looked at once, where it stands
    // now, so none is skipped or handled twice because of a move.
    const int n = view.GetSize();
    m_vecTickIds.clear();
    for (int i = 0; i < n; ++i) m_vecTickIds.push_back(view.IdAt(i));
    std::erase_if(m_mapWaiting, [&](const auto& entry) { return view.IndexOf(entry.first) < 0; });
    bool bChanged = bPlacedAgain;  // saved once with what this tick sends
    for (int k = 0; k < n; ++k) {
        const CTaskList::Id nId = m_vecTickIds[static_cast<size_t>(k)];
        const int i = k < view.GetSize() && view.IdAt(k) == nId ? k : view.IndexOf(nId);
        if (i < 0) continue;  // removed meanwhile
        // The cache decides only while it still describes the list; after
        // someone else changed it mid-tick every task is looked at.
        if (m_cache.IsCurrent(view)) {
            // Read again: the sends before this task may have taken a while.
            QUILLORY_TRY_VALUE(const time_t tNowThen, m_schedule.NowMinute());
            if (m_cache.Key(nId) > tNowThen) continue;
        }
        bChanged |= HandleOne(list, i);
    }
    if (bChanged && m_ctx.fnSave) m_ctx.fnSave(view);
    return {};
}

namespace {

// What the tick advances; anything else in a task may change meanwhile.
struct CScheduleState {
    int32_t nOccurrenceCount;
    TaskDateTime dtLastSent;
    TaskDateTime dtNextSending;
    bool operator==(const CScheduleState&) const = default;
};

CScheduleState StateOf(const CTaskItem& task) {
    return {task.m_nOccurrenceCount, task.m_dtLastSent, task.m_dtNextSending};
}

bool SameMinute(const TaskDateTime& a, const TaskDateTime& b) {
    return a.IsSet() && b.IsSet() && a.nYear == b.nYear && a.nMonth == b.nMonth && a.nDay == b.nDay &&
           a.nHour == b.nHour && a.nMinute == b.nMinute;
}

}  // namespace

bool CSendEmailDlg::IsWaiting(const CTaskItem& task, CTaskList::Id nId, time_t tNow) {
    const auto it = m_mapWaiting.find(nId);
    if (it == m_mapWaiting.end()) return false;
    // Rescheduled meanwhile: the new schedule decides.
    if (!SameMinute(task.m_dtNextSending, it->second.dtOccurrence) || !task.m_bActive) {
        m_mapWaiting.erase(it);
        return false;
    }
    return tNow < it->second.tNextTry;
}

CTaskRules CSendEmailDlg::RulesOf(const CTaskItem& task, CTaskList::Id nId) {
    if (!m_ctx.fnRulesOf) return {};
    auto rRules = m_ctx.fnRulesOf(task);
    if (rRules) {
        m_mapToldRules.erase(nId);
        return std::move(*rRules);
    }
    std::string& strTold = m_mapToldRules[nId];
    if (strTold != rRules.Problem()) {
        strTold = rRules.Problem();
        std::cerr << "Quillory: task \"" << task.m_strTaskName
                  << "\" is sent as if it had no rules, as its rules cannot be read: " << strTold << '\n';
    }
    return {};
}

CRuledSchedule::EVerdict CSendEmailDlg::VerdictOf(const CRuledSchedule& ruled, const CTaskItem& task,
                                                  CSchedule::EDue eDue, time_t tNow) const {
    using EVerdict = CRuledSchedule::EVerdict;
    const EVerdict ePlain = eDue == CSchedule::kSkipped ? EVerdict::kSkipOverdue : EVerdict::kSend;
    if (ruled.IsPlain()) return ePlain;
    const auto rVerdict = ruled.Verdict(task, eDue, tNow);
    if (!rVerdict) {
        std::cerr << "Quillory: task \"" << task.m_strTaskName << "\": its rules cannot be applied to "
                  << TaskTime::Format(task.m_dtNextSending) << " (" << rVerdict.Problem()
                  << "); it is handled as without them\n";
        return ePlain;
    }
    return *rVerdict;
}

bool CSendEmailDlg::PlaceAgainWhereHolidaysChanged(CTaskList& list, time_t tNow) {
    if (!m_ctx.fnRulesOf) return false;
    // One stat per known file a tick; the rules themselves once a minute, or
    // when a file was read anew (also by a send of this tick's last look).
    if (m_nTicksToRulesWalk-- > 0 && m_holidays.Generation() == m_nWalkedGeneration && !m_holidays.AnyChanged())
        return false;
    m_nTicksToRulesWalk = kRulesWalkTicks;
    const CTaskList& view = list;
    std::erase_if(m_mapPlacedWith, [&](const auto& entry) { return view.IndexOf(entry.first) < 0; });
    const TaskDateTime dtNow = TaskTime::FromAbsolute(tNow);
    const int64_t nToday = TaskTime::DayNumber(dtNow.nYear, dtNow.nMonth, dtNow.nDay);
    bool bMoved = false;
    for (int i = 0; i < view.GetSize(); ++i) {
        const CTaskItem& task = view.GetAt(i);
        const CTaskList::Id nId = view.IdAt(i);
        if (!task.m_bActive || !task.m_dtNextSending.IsSet()) continue;
        const CTaskRules rules = RulesOf(task, nId);
        if (rules.eOnDayOff == CTaskRules::EOnDayOff::Send || rules.vecHolidayFiles.empty()) {
            m_mapPlacedWith.erase(nId);
            continue;
        }
        std::map<std::string, uint64_t> mapVersions;
        for (const std::string& strPath : rules.vecHolidayFiles)
            mapVersions[strPath] = m_holidays.VersionOf(strPath, nToday - kHolidayReach, nToday + kHolidayReach);
        std::map<std::string, uint64_t>& mapPlaced = m_mapPlacedWith[nId];
        if (mapPlaced == mapVersions) continue;
        // One already due (or waiting for the host to take it) is handled
        // where it stands: its verdict reads the holidays as they are.
        const auto rStored = TaskTime::ToAbsolute(task.m_dtNextSending);
        if (!rStored || *rStored <= tNow) {
            mapPlaced = std::move(mapVersions);
            continue;
        }
        CTaskItem placed = task;
        const CWorkingDays days = m_holidays.WorkingDaysAround(rules, tNow, kHolidayReach, kHolidayReach);
        const auto rMoved = CRuledSchedule(m_schedule, rules, days).PlaceAgain(placed);
        if (!rMoved) {
            // Told, and tried again when the file changes again; the tick's
            // verdict still reads the holidays as they are.
            std::cerr << "Quillory: task \"" << task.m_strTaskName << "\": its next sending time "
                      << TaskTime::Format(task.m_dtNextSending)
                      << " cannot be placed again after its holidays changed: " << rMoved.Problem() << '\n';
        } else if (*rMoved) {
            std::cerr << "Quillory: task \"" << task.m_strTaskName
                      << "\": its holidays changed, so its next sending time moves from "
                      << TaskTime::Format(task.m_dtNextSending) << " to " << TaskTime::Format(placed.m_dtNextSending)
                      << '\n';
            list.SetAt(i, placed);
            bMoved = true;
        }
        mapPlaced = std::move(mapVersions);
    }
    m_nWalkedGeneration = m_holidays.Generation();
    return bMoved;
}

bool CSendEmailDlg::HandleOne(CTaskList& list, int i) {
    using EVerdict = CRuledSchedule::EVerdict;
    const CTaskList& view = list;
    const CTaskList::Id nId = view.IdAt(i);
    if (m_ctx.fnHeld && m_ctx.fnHeld(nId)) return false;
    CTaskItem task = view.GetAt(i);
    const CScheduleState before = StateOf(task);
    const auto rNow = m_schedule.NowMinute();
    if (!rNow || IsWaiting(task, nId, *rNow)) return false;
    const time_t tNow = *rNow;
    // An occurrence the host could not store is sent late whatever the
    // send-overdue option says: it was due, and nothing has gone out.
    const bool bRetry = m_mapWaiting.count(nId) != 0 || (m_ctx.fnWaitsForHost && m_ctx.fnWaitsForHost(task));
    CSchedule::EDue eDue = CSchedule::kSendNow;
    if (!bRetry) {
        const auto rDue = m_schedule.CheckDue(task);
        if (!rDue) return false;  // invalid times: reported when the cache took the task in
        eDue = *rDue;
    }
    if (eDue == CSchedule::kNotDue) return false;
    // The rules, for the task as the list holds it (CheckDue wrote a
    // skipped occurrence into the copy's last sending time).
    const CTaskItem found = view.GetAt(i);
    const CTaskRules rules = RulesOf(found, nId);
    // A kept time the machine's clocks repeat reads as its earlier instant
    // here; in the task's own zone it may stand for the later one.
    if (!bRetry && !rules.strZone.empty()) {
        CTaskItem zoned = found;
        const auto rZoned = CTaskZone::Run(rules.strZone, zoned, [&](CTaskItem& t) { return m_schedule.CheckDue(t); });
        if (rZoned && *rZoned == CSchedule::kNotDue) return false;
        if (rZoned) eDue = *rZoned, task = zoned;
    }
    if (!bRetry) ReportDamagedLastSent(view.GetAt(i), nId, eDue);
    // Days around the present; an occurrence long overdue further back
    // meets no holiday there.
    const CWorkingDays days = m_holidays.WorkingDaysAround(rules, tNow, kHolidayReach, kHolidayReach);
    const CRuledSchedule ruled(m_schedule, rules, days);
    EVerdict eVerdict = bRetry ? EVerdict::kSend : VerdictOf(ruled, found, eDue, tNow);
    // Also once the rules are plain again: the flag that skipped it may be the one cleared.
    const bool bSkippedBefore = !bRetry && m_ctx.fnSkippedByRuleBefore && m_ctx.fnSkippedByRuleBefore(found);
    if (bSkippedBefore) eVerdict = EVerdict::kSkipNext;
    // A sent occurrence is counted once the host took it: one that waits for
    // the disk has not been sent late (yet).
    if (!bRetry && (eVerdict == EVerdict::kSkipOverdue || eVerdict == EVerdict::kSkipMissed))
        NoteCatchUp(task, nId, CSchedule::kSkipped);
    if (eVerdict == EVerdict::kSkipOverdue && m_ctx.fnSkipped) m_ctx.fnSkipped(task);
    const bool bByRule = eVerdict != EVerdict::kSend && eVerdict != EVerdict::kSkipOverdue;
    if (bByRule && !bSkippedBefore && m_ctx.fnSkippedByRule)
        m_ctx.fnSkippedByRule(found, CRuledSchedule::Reason(eVerdict, rules), eVerdict == EVerdict::kSkipNext);
    if (eVerdict == EVerdict::kSend && m_ctx.fnSend) {
        // Copied out inside the try: a send that throws leaves the defaults whole.
        bool bCounts = true;
        int nRetrySeconds = 60;
        try {
            const CSendVerdict verdict = m_ctx.fnSend(task);
            bCounts = verdict.bCounts;
            nRetrySeconds = verdict.nRetrySeconds;
        } catch (const std::exception& e) {
            std::cerr << "Quillory: sending task \"" << task.m_strTaskName << "\" failed: " << e.what() << '\n';
        }
        if (!bCounts) {
            m_mapWaiting[nId] = {before.dtNextSending, tNow + std::max(nRetrySeconds, 1)};
            return false;
        }
        if (!bRetry) NoteCatchUp(task, nId, eDue);
        m_mapWaiting.erase(nId);
    }
    // Writing the copy back at i could put it over another task, bring a
    // removed one back or undo an edit made during the send.
    const int nNow = view.IndexOf(nId);
    if (nNow < 0) {
        // Removed meanwhile: kept as advanced, in case the removal is undone.
        CTaskItem gone = found;
        Advance(ruled, gone, nId, !bByRule);
        if (m_mapHandledGone.size() >= kHandledGoneKept) m_mapHandledGone.erase(m_mapHandledGone.begin());
        m_mapHandledGone[nId] = std::move(gone);
        return false;
    }
    CTaskItem current = view.GetAt(nNow);
    // Rescheduled meanwhile: that edit wins. Where the new schedule still
    // has the occurrence just handled as its next time, it is counted there,
    // or it would go out a second time.
    if (!(StateOf(current) == before) && !SameMinute(current.m_dtNextSending, before.dtNextSending)) return false;
    // A skip by a rule does not use up "end after N"; one for being overdue does, as without rules.
    Advance(ruled, current, nId, !bByRule);
    list.SetAt(nNow, current);
    m_cache.Update(view);
    return true;
}

void CSendEmailDlg::ReportDamagedLastSent(const CTaskItem& task, CTaskList::Id nId, CSchedule::EDue eDue) {
    const std::string strWhy = task.LastSentProblem();
    if (strWhy.empty() || !m_stalled.NoteDamagedLastSent(nId, task)) return;
    std::cerr << "Quillory: task \"" << task.m_strTaskName << "\" has a last sending time that cannot be read ("
              << strWhy << "); its occurrence at " << TaskTime::Format(task.m_dtNextSending) << " is "
              << (eDue == CSchedule::kSkipped ? "skipped" : "sent") << " all the same and stands as the last\n";
}

void CSendEmailDlg::Advance(const CRuledSchedule& ruled, CTaskItem& task, CTaskList::Id nId, bool bCounts) {
    if (auto r = AdvanceOrStall(ruled, task, nId, bCounts); !r) {
        // Left as it was, the task would be due again on every tick; without
        // a next time it is never sent twice.
        std::cerr << "Quillory: task \"" << task.m_strTaskName
                  << "\" cannot be advanced and is completed: " << r.Problem() << '\n';
        task.m_dtNextSending.Empty();
    }
}

CResult<> CSendEmailDlg::AdvanceOrStall(const CRuledSchedule& ruled, CTaskItem& task, CTaskList::Id nId, bool bCounts) {
    QUILLORY_TRY_VALUE(const CSchedule::EAdvance eAdvance, ruled.Advance(task, bCounts));
    if (eAdvance != CSchedule::EAdvance::kStuck) return {};
    // Left with the same time, it would be overdue again on the next tick,
    // and sent again every second with send-overdue set.
    std::string strWhy = CStalledTasks::Why(task);
    std::cerr << "Quillory: task \"" << task.m_strTaskName << "\" is completed: its schedule cannot move on past "
              << TaskTime::Format(task.m_dtLastSent) << " (" << strWhy << ")\n";
    m_stalled.Note(nId, task, std::move(strWhy));
    return {};
}
