// One scheduler tick over 1,000,000 tasks of which none is due: the cached
// tick against the plain tick that converts every task's groups each time.
#include <cstdlib>

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
    ctx.fnSend = [&](const CTaskItem&) { ++nSends; };
    ctx.pClock = &g_clock;
    CSendEmailDlg dlg(ctx);
    dlg.OnTimer();  // the first tick fills the cache
    for (auto _ : state) dlg.OnTimer();
    if (nSends) state.SkipWithError("a task was due");
}
BENCHMARK(BM_TickCached)->Unit(benchmark::kMillisecond);

// After one task was edited: the tick looks at every task's inputs again.
void BM_TickCachedAfterEdit(benchmark::State& state) {
    CTaskList& list = BigList();
    CSendContext ctx;
    ctx.fnTaskList = [&] { return &list; };
    ctx.pClock = &g_clock;
    CSendEmailDlg dlg(ctx);
    dlg.OnTimer();
    for (auto _ : state) {
        list.GetAt(kTasks / 2).m_nMinuteInterval ^= 1;
        dlg.OnTimer();
    }
}
BENCHMARK(BM_TickCachedAfterEdit)->Unit(benchmark::kMillisecond);

void BM_TickPlain(benchmark::State& state) {
    CTaskList& list = BigList();
    const CSchedule schedule(g_clock);
    int nSends = 0;
    for (auto _ : state) ReferenceTick(list, schedule, [&](const CTaskItem&) { ++nSends; }, {});
    if (nSends) state.SkipWithError("a task was due");
}
BENCHMARK(BM_TickPlain)->Unit(benchmark::kMillisecond);

}  // namespace
