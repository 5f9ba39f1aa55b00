// Cost of one occurrence of each schedule type, and of catching up over ten
// years, each beside its baselines in the same run: one mktime call and the
// calendar library's iterator on the same rule for the former, the
// one-by-one loop for the latter.
#include <cstdlib>

#include <benchmark/benchmark.h>
#include <libical/ical.h>

#include "CLocalZone.h"
#include "CRecurrenceRule.h"
#include "CSchedule.h"
#include "CZoneHold.h"
#include "ReferenceCatchUp.h"
#include "TaskTime.h"

namespace {

void UseZone() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
}

struct CKind {
    const char* pszName;
    void (*fnSet)(CTaskItem&);
};

const CKind kKinds[] = {
    {"once", [](CTaskItem& t) { t.m_nRecurrence = 0; }},
    {"minutely", [](CTaskItem& t) { t.m_nRecurrence = 1, t.m_nMinuteInterval = 1; }},
    {"daily every day", [](CTaskItem& t) { t.m_nRecurrence = 2, t.m_nDailyInterval = 1; }},
    {"daily weekdays", [](CTaskItem& t) { t.m_nRecurrence = 2, t.m_nDailyMode = 1, t.m_nDailyDayKind = 1; }},
    {"daily even days", [](CTaskItem& t) { t.m_nRecurrence = 2, t.m_nDailyMode = 1, t.m_nDailyDayKind = 3; }},
    {"weekly Mon+Thu", [](CTaskItem& t) { t.m_nRecurrence = 3, t.m_nWeeklyInterval = 1, t.m_bWeekDays[4] = 1; }},
    {"weekly 2nd week", [](CTaskItem& t) { t.m_nRecurrence = 3, t.m_nWeeklyMode = 1, t.m_nWeeklyWeekOfMonth = 0; }},
    {"monthly day 15", [](CTaskItem& t) { t.m_nRecurrence = 4, t.m_nMonthlyDay = 15, t.m_nMonthlyInterval = 1; }},
    {"monthly last weekday",
     [](CTaskItem& t) {
         t.m_nRecurrence = 4, t.m_nMonthlyMode = 1, t.m_nMonthlyOrdinal = 4, t.m_nMonthlyDayKind = 1,
         t.m_nMonthlyInterval2 = 1;
     }},
    {"yearly 5 March", [](CTaskItem& t) { t.m_nRecurrence = 5, t.m_nYearlyMonth = 2, t.m_nYearlyDay = 5; }},
    {"yearly 2nd Tuesday of May",
     [](CTaskItem& t) {
         t.m_nRecurrence = 5, t.m_nYearlyMode = 1, t.m_nYearlyOrdinal = 1, t.m_nYearlyDayKind = 7,
         t.m_nYearlyMonth2 = 4;
     }},
    {"every 15 minutes", [](CTaskItem& t) { t.m_nRecurrence = 1, t.m_nMinuteInterval = 15; }},
};

// False, with the run marked as failed, when the schedule had a problem.
bool Scheduled(benchmark::State& state, const CResult<>& r) {
    if (!r) state.SkipWithError("the schedule of the task failed");
    return r.Ok();
}

CTaskItem MakeTask(const CKind& kind, int nStartYear) {
    CTaskItem t;
    t.m_bActive = 1;
    t.m_nEndKind = 0;
    t.m_dtStart = TaskTime::FromAbsolute(TaskTime::ToAbsolute(nStartYear, 1, 6, 9, 30).Value());
    kind.fnSet(t);
    return t;
}

// One occurrence as the sender counts it: last sent = next, then the next,
// with the zone looked up once per occurrence (the environment's size would
// otherwise weigh in once per conversion outside CalcNextSending).
void BM_CalcNextSending(benchmark::State& state) {
    UseZone();
    const CKind& kind = kKinds[state.range(0)];
    state.SetLabel(kind.pszName);
    // The start lies before the present, so each computation steps on from
    // the last occurrence instead of starting over from the start.
    CFixedClock clock(TaskTime::ToAbsolute(2020, 1, 1, 0, 0).Value());
    CSchedule s(clock);
    const CTaskItem seed = MakeTask(kind, 2019);
    CTaskItem t = seed;
    if (!Scheduled(state, s.CalcNextSending(t))) return;
    for (auto _ : state) {
        const CZoneHold hold;
        if (!t.m_dtNextSending.IsSet() || t.m_dtNextSending.nYear > 2400) {
            t = seed;
            if (!Scheduled(state, s.CalcNextSending(t))) break;
        }
        CSchedule::SetLastSent(t, TaskTime::ToAbsolute(t.m_dtNextSending).Value());
        if (!Scheduled(state, s.CalcNextSending(t))) break;
        benchmark::DoNotOptimize(t.m_dtNextSending);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CalcNextSending)->DenseRange(0, std::size(kKinds) - 1);

// Baseline: the C library's own conversion of one local time.
void BM_Mktime(benchmark::State& state) {
    UseZone();
    int i = 0;
    for (auto _ : state) {
        std::tm tm{};
        tm.tm_year = 120;
        tm.tm_mon = i % 12;
        tm.tm_mday = 1 + i % 28;
        tm.tm_hour = 9;
        tm.tm_min = 30;
        tm.tm_isdst = -1;
        benchmark::DoNotOptimize(mktime(&tm));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Mktime);

// Baseline: the calendar library's iterator on the task's rule from a start
// in the local zone; its next wall time alone, or also turned into an
// absolute time as the calendar export does.
template <bool bAbsolute>
void LibicalNext(benchmark::State& state) {
    UseZone();
    const CKind& kind = kKinds[state.range(0)];
    state.SetLabel(kind.pszName);
    const CTaskItem task = MakeTask(kind, 2019);
    const auto strRule = CRecurrenceRule::For(task);
    icaltimezone* pZone = icaltimezone_get_builtin_timezone(CLocalZone::Name().c_str());
    if (!strRule || !pZone) {
        state.SkipWithError("no rule or no zone for this task");
        return;
    }
    const icalrecurrencetype rule = icalrecurrencetype_from_string(strRule->c_str());
    icaltimetype dtStart = icaltime_null_time();
    dtStart.year = task.m_dtStart.nYear, dtStart.month = task.m_dtStart.nMonth, dtStart.day = task.m_dtStart.nDay;
    dtStart.hour = task.m_dtStart.nHour, dtStart.minute = task.m_dtStart.nMinute;
    dtStart = icaltime_set_timezone(&dtStart, pZone);
    icalrecur_iterator* pIt = icalrecur_iterator_new(rule, dtStart);
    for (auto _ : state) {
        icaltimetype t = icalrecur_iterator_next(pIt);
        if (icaltime_is_null_time(t) || t.year > 2400) {
            icalrecur_iterator_free(pIt);
            pIt = icalrecur_iterator_new(rule, dtStart);
            t = icalrecur_iterator_next(pIt);
        }
        if constexpr (bAbsolute) benchmark::DoNotOptimize(icaltime_as_timet_with_zone(t, pZone));
        else benchmark::DoNotOptimize(t);
    }
    icalrecur_iterator_free(pIt);
    state.SetItemsProcessed(state.iterations());
}

void BM_LibicalNext(benchmark::State& state) { LibicalNext<false>(state); }
void BM_LibicalInstant(benchmark::State& state) { LibicalNext<true>(state); }
BENCHMARK(BM_LibicalNext)->DenseRange(1, std::size(kKinds) - 1);
BENCHMARK(BM_LibicalInstant)->DenseRange(1, std::size(kKinds) - 1);

const int kCatchUpKinds[] = {1, 2, 5, 7};  // minutely, daily, weekly, monthly

template <bool bReference>
void CatchUp(benchmark::State& state) {
    UseZone();
    const CKind& kind = kKinds[kCatchUpKinds[state.range(0)]];
    state.SetLabel(kind.pszName);
    CFixedClock clock(TaskTime::ToAbsolute(2026, 1, 6, 12, 0).Value());
    CSchedule s(clock);
    const CTaskItem seed = MakeTask(kind, 2016);
    for (auto _ : state) {
        CTaskItem t = seed;
        const auto rAdvanced = bReference ? ReferenceAdvance(s, clock, t) : s.AdvancePastNow(t);
        if (!Scheduled(state, rAdvanced)) break;
        benchmark::DoNotOptimize(t.m_dtNextSending);
    }
}

void BM_AdvancePastNow(benchmark::State& state) { CatchUp<false>(state); }
void BM_ReferenceLoop(benchmark::State& state) { CatchUp<true>(state); }
BENCHMARK(BM_AdvancePastNow)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReferenceLoop)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
