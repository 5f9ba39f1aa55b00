// One scheduler tick over 1,000,000 tasks of which none is due: the cached
// tick against the plain tick that converts every task's groups each time.
#include <cstdlib>
#include <memory>

#include <benchmark/benchmark.h>

#include "CSendEmailDlg.h"
#include "ReferenceTick.h"
#include "TaskTime.h"

namespace {

constexpr int kTasks = 1000000;

CTaskList& BigList() {
    static CTaskList* pList = [] {
        setenv("TZ", "Europe/Berlin", 1);
        auto* p = new CTaskList;
        p->Reserve(kTasks);
        for (int i = 0; i < kTasks; ++i) {
            CTaskItem t;
            t.m_bActive = i % 10 != 0;
            t.m_strTaskName = "task";
            t.m_nRecurrence = 1 + i % 3;
            t.m_nMinuteInterval = t.m_nDailyInterval = 1 + i % 7;
            t.m_nEndKind = 0;
            t.m_dtStart = TaskTime::FromAbsolute(TaskTime::ToAbsolute(2026, 3, 1, 8, 0).Value() + (i % 5000) * 60);
            t.m_dtNextSending =
                TaskTime::FromAbsolute(TaskTime::ToAbsolute(2026, 3, 2, 8, 0).Value() + (i % 5000) * 60);
            p->Add(t);
        }
        return p;
    }();
    return *pList;
}

const CFixedClock g_clock(TaskTime::ToAbsolute(2026, 3, 1, 12, 0).Value());  // before every next time

void BM_TickCached(benchmark::State& state) {
    CTaskList& list = BigList();
    int nSends = 0;
    CSendContext ctx;
    ctx.fnTaskList = [&] { return &list; };
    ctx.fnSend = [&](const CTaskItem&) {
        ++nSends;
        return true;
    };
    ctx.pClock = &g_clock;
    CSendEmailDlg dlg(ctx);
    dlg.OnTimer();  // the first tick fills the cache
    for (auto _ : state) dlg.OnTimer();
    if (nSends) state.SkipWithError("a task was due");
}
BENCHMARK(BM_TickCached)->Unit(benchmark::kMillisecond);

// The first tick after one edit of one task: the cache follows the edit
// through the list's journal. The edit itself is left out of the time; each
// kind is undone outside the timing too, so the list stays as it was.
enum EEdit { kActivate, kReplace, kAdd, kRemove, kMove };

void BM_FirstTickAfterEdit(benchmark::State& state) {
    CTaskList& list = BigList();
    CSendContext ctx;
    ctx.fnTaskList = [&] { return &list; };
    ctx.pClock = &g_clock;
    CSendEmailDlg dlg(ctx);
    dlg.OnTimer();
    const int nMid = kTasks / 2;
    const CTaskItem kept = static_cast<const CTaskList&>(list).GetAt(nMid);
    for (auto _ : state) {
        state.PauseTiming();
        switch (state.range(0)) {
            case kActivate: list.GetAt(nMid).m_bActive ^= 1; break;
            case kReplace: {
                CTaskItem t = kept;
                t.m_dtNextSending.nMinute ^= 1;
                list.SetAt(nMid, t);
                break;
            }
            case kAdd: list.Add(kept); break;
            case kRemove: list.RemoveAt(nMid); break;
            default: list.MoveDown(nMid); break;
        }
        state.ResumeTiming();
        dlg.OnTimer();
        state.PauseTiming();
        if (state.range(0) == kAdd) list.RemoveAt(list.GetSize() - 1);
        else if (state.range(0) == kRemove) list.Add(kept);
        dlg.OnTimer();  // takes the undo in
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstTickAfterEdit)
    ->ArgName("activate0_replace1_add2_remove3_move4")
    ->DenseRange(kActivate, kMove)
    ->Iterations(200)  // the untimed edit and undo of a long list cost far more than the tick
    ->Unit(benchmark::kMicrosecond);

// The baseline of the same run: the first tick after an edit when the
// cache has to look at the whole list again (a new cache each time).
void BM_FirstTickRebuild(benchmark::State& state) {
    CTaskList& list = BigList();
    CSendContext ctx;
    ctx.fnTaskList = [&] { return &list; };
    ctx.pClock = &g_clock;
    for (auto _ : state) {
        state.PauseTiming();
        auto pDlg = std::make_unique<CSendEmailDlg>(ctx);
        state.ResumeTiming();
        pDlg->OnTimer();
        state.PauseTiming();
        pDlg.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstTickRebuild)->Iterations(5)->Unit(benchmark::kMicrosecond);

void BM_TickPlain(benchmark::State& state) {
    CTaskList& list = BigList();
    const CSchedule schedule(g_clock);
    int nSends = 0;
    for (auto _ : state) ReferenceTick(list, schedule, [&](const CTaskItem&) { ++nSends; }, {});
    if (nSends) state.SkipWithError("a task was due");
}
BENCHMARK(BM_TickPlain)->Unit(benchmark::kMillisecond);

}  // namespace
