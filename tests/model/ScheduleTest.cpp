// The schedule's next sending times for every recurrence, across changes of offset, and its limits.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CSchedule.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

time_t At(int y, int mo, int d, int h = 0, int mi = 0) { return ValueOf(TaskTime::ToAbsolute(y, mo, d, h, mi)); }

TaskDateTime Group(int y, int mo, int d, int h, int mi) { return TaskTime::FromAbsolute(At(y, mo, d, h, mi)); }

std::string Next(const CTaskItem& t) {
    return t.m_dtNextSending.IsSet() ? TaskTime::Format(t.m_dtNextSending) : "Completed";
}

// Counts the occurrence as the sender does, with the present at its minute.
void Occur(const CSchedule& s, CFixedClock& clock, CTaskItem& t) {
    const time_t tNext = ValueOf(TaskTime::ToAbsolute(t.m_dtNextSending));
    clock.Set(tNext);
    ++t.m_nOccurrenceCount;
    CSchedule::SetLastSent(t, tNext);
    EXPECT_EQ(s.CalcNextSending(t).Problem(), "");
}

// An active task without an end, recurring from dtStart.
CTaskItem Recurring(int nRecurrence, TaskDateTime dtStart) {
    CTaskItem t;
    t.m_bActive = 1;
    t.m_nRecurrence = nRecurrence;
    t.m_dtStart = dtStart;
    t.m_nEndKind = 0;
    return t;
}

class ScheduleTest : public ::testing::TestWithParam<const char*> {
protected:
    ScheduleTest() : m_zone(GetParam()) {}
    CZoneGuard m_zone;
    CFixedClock m_clock{0};
    CSchedule m_s{m_clock};
};

}  // namespace

// Each recurrence from its first computation on: the next sending time first, then after each occurrence the sender
// counts.
TEST_P(ScheduleTest, EachRecurrenceGivesItsNextTimes) {
    // clang-format off
    const struct {
        const char* pszName;
        time_t tNow;  // the present of the first computation
        int nRecurrence;
        TaskDateTime dtStart;
        std::function<void(CTaskItem&)> fnSet;  // the fields the recurrence reads
        TaskDateTime dtLastSent;                // unset: a task never sent
        std::vector<std::string> vecNext;
    } cases[] = {
        {"once sends at the start, then completes", At(2025, 1, 1, 8), 0, Group(2025, 2, 1, 9, 30),
         [](CTaskItem&) {}, {}, {"2025-02-01 09:30", "Completed"}},
        {"minutely adds the interval", At(2025, 1, 1, 8), 1, Group(2025, 1, 1, 10, 0),
         [](CTaskItem& t) { t.m_nMinuteInterval = 15; }, {}, {"2025-01-01 10:00", "2025-01-01 10:15"}},
        {"daily weekdays skip the weekend from a Friday", At(2025, 1, 1), 2, Group(2025, 1, 3, 9, 0),
         [](CTaskItem& t) { t.m_nDailyMode = 1, t.m_nDailyDayKind = 1; }, {},
         {"2025-01-03 09:00", "2025-01-06 09:00"}},  // Friday, then Monday
        {"daily weekdays from a Saturday", At(2025, 1, 1), 2, Group(2025, 1, 4, 9, 0),
         [](CTaskItem& t) { t.m_nDailyMode = 1, t.m_nDailyDayKind = 1; }, {}, {"2025-01-06 09:00"}},
        {"daily even days jump over the 31st", At(2025, 1, 30, 9, 0), 2, Group(2025, 1, 2, 9, 0),
         [](CTaskItem& t) { t.m_nDailyMode = 1, t.m_nDailyDayKind = 3; }, Group(2025, 1, 30, 9, 0),
         {"2025-02-02 09:00"}},
        {"weekly on Monday and Thursday from a Tuesday", At(2025, 1, 1), 3, Group(2025, 1, 7, 8, 0),
         [](CTaskItem& t) { t.m_nWeeklyInterval = 1, t.m_bWeekDays[4] = 1; },  // Monday is ticked by default
         {}, {"2025-01-09 08:00", "2025-01-13 08:00", "2025-01-16 08:00"}},
        {"weekly on Tuesday of the second week", At(2025, 1, 1), 3, Group(2025, 1, 1, 8, 0),
         [](CTaskItem& t) {
             t.m_nWeeklyMode = 1, t.m_nWeeklyWeekOfMonth = 0;
             t.m_bWeekDays[1] = 0, t.m_bWeekDays[2] = 1;
         },
         {}, {"2025-01-07 08:00", "2025-02-04 08:00"}},  // row 2 of January 2025 is 5..11, of February 2..8
        {"monthly day 31 counts on from where it landed", At(2025, 1, 1), 4, Group(2025, 1, 31, 8, 15),
         [](CTaskItem& t) { t.m_nMonthlyDay = 31, t.m_nMonthlyInterval = 1; }, {},
         {"2025-01-31 08:15", "2025-03-03 08:15", "2025-05-01 08:15", "2025-07-01 08:15", "2025-08-31 08:15"}},
        {"yearly from an earlier start", At(2024, 12, 1), 5, Group(2025, 1, 1, 10, 0),
         [](CTaskItem& t) { t.m_nYearlyMonth = 2, t.m_nYearlyDay = 5; }, {},
         {"2025-03-05 10:00", "2026-03-05 10:00"}},
        // Seeded on this year's date; the real occurrence moves on to the next year.
        {"yearly from a start on its date", At(2025, 3, 1), 5, Group(2025, 3, 5, 10, 0),
         [](CTaskItem& t) { t.m_nYearlyMonth = 2, t.m_nYearlyDay = 5; }, {},
         {"2025-03-05 10:00", "2026-03-05 10:00"}},
        {"ends after three", At(2025, 1, 1), 2, Group(2025, 1, 1, 10, 0),
         [](CTaskItem& t) { t.m_nDailyInterval = 1, t.m_nEndKind = 1, t.m_nEndAfterCount = 3; }, {},
         {"2025-01-01 10:00", "2025-01-02 10:00", "2025-01-03 10:00", "Completed"}},
        {"ends on a date", At(2025, 1, 1), 2, Group(2025, 6, 9, 23, 0),
         [](CTaskItem& t) { t.m_nDailyInterval = 1, t.m_nEndKind = 2, t.m_dtEnd = {2025, 6, 10, 0}; }, {},
         {"2025-06-09 23:00", "2025-06-10 23:00", "Completed"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        m_clock.Set(c.tNow);
        CTaskItem t = Recurring(c.nRecurrence, c.dtStart);
        c.fnSet(t);
        t.m_dtLastSent = c.dtLastSent;
        EXPECT_EQ(m_s.CalcNextSending(t).Problem(), "") << c.pszName;
        for (size_t i = 0; i < c.vecNext.size(); ++i) {
            if (i > 0) Occur(m_s, m_clock, t);
            EXPECT_EQ(Next(t), c.vecNext[i]) << c.pszName << ", occurrence " << i;
        }
    }
}

// The calendar helpers, and the end of a task after the last second of its end date.
TEST_P(ScheduleTest, DayOfMonthForAndTheEndOfATask) {
    // May 2025 ends on a Saturday, April 2025 on a Wednesday.
    EXPECT_EQ(ValueOf(CSchedule::DayOfMonthFor(2025, 5, 4, 2)), 31);
    EXPECT_EQ(ValueOf(CSchedule::DayOfMonthFor(2025, 4, 4, 2)), 27);
    EXPECT_EQ(ValueOf(CSchedule::DayOfMonthFor(2025, 6, 0, 6)), 2);   // first Monday of June 2025
    EXPECT_EQ(ValueOf(CSchedule::DayOfMonthFor(2025, 6, 4, 5)), 29);  // last Sunday
    EXPECT_EQ(ValueOf(CSchedule::DayOfMonthFor(2025, 3, 0, 1)), 3);   // first weekday: March 1 is a Saturday
    EXPECT_EQ(CSchedule::DaysInMonth(2000, 2), 29);
    EXPECT_EQ(CSchedule::DaysInMonth(2400, 2), 29);
    EXPECT_EQ(CSchedule::DaysInMonth(2100, 2), 28);
    CTaskItem e = Recurring(2, Group(2025, 6, 9, 23, 0));
    e.m_nEndKind = 2;
    e.m_dtEnd = {2025, 6, 10, 0};
    EXPECT_FALSE(ValueOf(CSchedule::IsTaskEnded(e, At(2025, 6, 10, 23, 59))));
    EXPECT_TRUE(ValueOf(CSchedule::IsTaskEnded(e, At(2025, 6, 11, 0, 0))));
}

TEST_P(ScheduleTest, CheckDueHasFourAnswers) {
    CTaskItem t = Recurring(1, Group(2025, 1, 1, 10, 0));
    t.m_nMinuteInterval = 60;
    t.m_dtNextSending = Group(2025, 1, 1, 10, 0);
    m_clock.Set(At(2025, 1, 1, 9, 59) + 30);
    EXPECT_EQ(ValueOf(m_s.CheckDue(t)), 0);
    m_clock.Set(At(2025, 1, 1, 10, 0) + 40);
    EXPECT_EQ(ValueOf(m_s.CheckDue(t)), 1);
    CTaskItem late = t;
    m_clock.Set(At(2025, 1, 1, 10, 3));
    EXPECT_EQ(ValueOf(m_s.CheckDue(late)), -1);
    EXPECT_EQ(TaskTime::Format(late.m_dtLastSent), "2025-01-01 10:00");
    late = t;
    late.m_bSendOverdue = 1;
    EXPECT_EQ(ValueOf(m_s.CheckDue(late)), 1);
    late.m_bActive = 0;
    EXPECT_EQ(ValueOf(m_s.CheckDue(late)), 0);
    CTaskItem done = t;
    done.m_dtLastSent = Group(2025, 1, 1, 10, 3);
    EXPECT_EQ(ValueOf(m_s.CheckDue(done)), 0);  // this minute's occurrence is done
    done.m_dtLastSent.Empty();
    done.m_dtNextSending.Empty();
    EXPECT_EQ(ValueOf(m_s.CheckDue(done)), 0);
}

TEST_P(ScheduleTest, ZeroIntervalsAndOddValuesNeverLoop) {
    m_clock.Set(At(2025, 6, 1));
    for (int nRec : {1, 2, 3, 4}) {
        CTaskItem t = Recurring(nRec, Group(2025, 1, 1, 10, 0));
        t.m_nMonthlyDay = 5;
        EXPECT_EQ(m_s.AdvancePastNow(t).Problem(), "") << nRec;  // intervals all 0: must return
    }
    CTaskItem odd = Recurring(4, Group(2025, 1, 1, 10, 0)), year = Recurring(5, Group(2025, 1, 1, 10, 0));
    odd.m_nMonthlyMode = odd.m_nMonthlyInterval2 = 1, odd.m_nMonthlyDayKind = 40, odd.m_nMonthlyOrdinal = 9;
    year.m_nYearlyMode = 7, year.m_nYearlyDayKind = 99;
    EXPECT_EQ(m_s.AdvancePastNow(odd).Problem(), "");
    EXPECT_EQ(m_s.AdvancePastNow(year).Problem(), "");
    CTaskItem rec = Recurring(9, Group(2025, 1, 1, 10, 0));
    CTaskItem before = rec;
    EXPECT_EQ(m_s.CalcNextSending(rec).Problem(), "");
    EXPECT_EQ(rec, before);
}

TEST_P(ScheduleTest, AdvancePastNowLandsOnTheFirstTimeAtOrAfterThePresent) {
    m_clock.Set(At(2025, 3, 10, 12, 0) + 30);
    CTaskItem t = Recurring(1, Group(2015, 3, 10, 12, 0));
    t.m_nMinuteInterval = 7;
    EXPECT_EQ(m_s.AdvancePastNow(t).Problem(), "");
    const time_t tNext = ValueOf(TaskTime::ToAbsolute(t.m_dtNextSending));
    const time_t tLast = ValueOf(TaskTime::ToAbsolute(t.m_dtLastSent));
    EXPECT_GE(tNext, m_clock.Now());
    EXPECT_LT(tLast, m_clock.Now());
    EXPECT_EQ(tNext - tLast, 7 * 60);
    // Where no hour repeats the occurrences stay on the start's grid.
    const std::string strZone = GetParam();
    if (strZone == "UTC" || strZone == "Asia/Kathmandu") {
        EXPECT_EQ((tNext - At(2015, 3, 10, 12, 0)) % (7 * 60), 0);
    }
    EXPECT_EQ(t.m_nOccurrenceCount, 0);

    CTaskItem w = Recurring(3, Group(2015, 3, 10, 12, 0));
    w.m_nWeeklyInterval = 1;
    m_clock.Set(At(2025, 6, 9, 12, 0) + 30);
    EXPECT_EQ(m_s.AdvancePastNow(w).Problem(), "");
    EXPECT_EQ(Next(w), "2025-06-16 12:00");  // 9 June 2025 is a Monday, 12:00 has passed
}

INSTANTIATE_TEST_SUITE_P(Zones, ScheduleTest,
                         ::testing::Values("UTC", "America/New_York", "Europe/Berlin", "Australia/Lord_Howe",
                                           "Asia/Kathmandu"));

// Changes of offset: days and weeks are counted on the calendar, so every occurrence goes at the start's time on the
// clock of its day. A time the clocks skip goes out as far after it as they jump, the next day at the start's time
// again; a time they repeat goes once, at its first pass. Minutes count elapsed time, but a repeated wall time can be
// stored only once.
TEST(ScheduleDst, DaysAndWeeksKeepTheClockTimeAcrossChanges) {
    using Strings = std::vector<std::string>;
    const auto daily = [](int nInterval) { return [=](CTaskItem& t) { t.m_nDailyInterval = nInterval; }; };
    const auto ofKind = [](EDayKind e) {
        return [=](CTaskItem& t) { t.m_nDailyMode = 1, t.m_nDailyDayKind = CodeOf(e); };
    };
    // clang-format off
    const struct {
        const char* pszName;
        const char* pszZone;
        int nRecurrence;
        std::function<void(CTaskItem&)> fnSet;
        int y, mo, d, h, mi;  // the start
        Strings vecWant;      // the first occurrences
    } cases[] = {
        {"daily 10:00 over the spring change", "Europe/Berlin", 2, daily(1), 2027, 3, 26, 10, 0,
         {"2027-03-26 10:00", "2027-03-27 10:00", "2027-03-28 10:00", "2027-03-29 10:00"}},
        {"every 2 days 10:00 over the autumn change", "Europe/Berlin", 2, daily(2), 2027, 10, 29, 10, 0,
         {"2027-10-29 10:00", "2027-10-31 10:00", "2027-11-02 10:00"}},
        {"weekly Monday and Thursday 08:00", "Europe/Berlin", 3,
         [](CTaskItem& t) { t.m_nWeeklyInterval = 1, t.m_bWeekDays[1] = t.m_bWeekDays[4] = 1; }, 2027, 3, 25, 8, 0,
         {"2027-03-25 08:00", "2027-03-29 08:00", "2027-04-01 08:00"}},
        {"daily 02:30, skipped on the spring day", "Europe/Berlin", 2, daily(1), 2027, 3, 27, 2, 30,
         {"2027-03-27 02:30", "2027-03-28 03:30", "2027-03-29 02:30"}},
        {"daily 02:30, repeated on the autumn day", "Europe/Berlin", 2, daily(1), 2027, 10, 30, 2, 30,
         {"2027-10-30 02:30", "2027-10-31 02:30", "2027-11-01 02:30"}},
        {"weekdays 09:00 over the autumn change", "America/New_York", 2, ofKind(EDayKind::Weekday), 2027, 11, 5, 9, 0,
         {"2027-11-05 09:00", "2027-11-08 09:00", "2027-11-09 09:00"}},
        {"daily 02:15, half an hour skipped", "Australia/Lord_Howe", 2, daily(1), 2027, 10, 2, 2, 15,
         {"2027-10-02 02:15", "2027-10-03 02:45", "2027-10-04 02:15"}},
        {"weekly Sunday 01:45, half an hour repeated", "Australia/Lord_Howe", 3,
         [](CTaskItem& t) { t.m_nWeeklyInterval = 1, t.m_bWeekDays[0] = 1; }, 2027, 3, 28, 1, 45,
         {"2027-03-28 01:45", "2027-04-04 01:45", "2027-04-11 01:45"}},
        {"weekend days 02:30 over the southern spring", "Australia/Sydney", 2, ofKind(EDayKind::WeekendDay), 2027, 10, 1, 2, 30,
         {"2027-10-02 02:30", "2027-10-03 03:30", "2027-10-09 02:30"}},
        {"weekly Sunday 00:30, midnight skipped", "America/Santiago", 3,
         [](CTaskItem& t) { t.m_nWeeklyInterval = 1, t.m_bWeekDays[0] = 1; }, 2027, 8, 29, 0, 30,
         {"2027-08-29 00:30", "2027-09-05 01:30", "2027-09-12 00:30"}},
        {"daily 23:30, repeated before midnight", "America/Santiago", 2, daily(1), 2027, 4, 2, 23, 30,
         {"2027-04-02 23:30", "2027-04-03 23:30", "2027-04-04 23:30"}},
        {"third week Tuesday 10:00 over the spring change", "Europe/Berlin", 3,
         [](CTaskItem& t) { t.m_nWeeklyMode = 1, t.m_nWeeklyWeekOfMonth = 1, t.m_bWeekDays[2] = 1; }, 2027, 3, 1, 10, 0,
         {"2027-03-16 10:00", "2027-04-13 10:00", "2027-05-11 10:00"}},
        // 02:32 is the first pass of the repeated hour; 02:33 of the second pass cannot be stored, so the next one is
        // an interval later: not a crawl through the hour.
        {"every 61 minutes through the repeated hour", "Europe/Berlin", 1,
         [](CTaskItem& t) { t.m_nMinuteInterval = 61; }, 2011, 10, 30, 0, 30,
         {"2011-10-30 00:30", "2011-10-30 01:31", "2011-10-30 02:32", "2011-10-30 03:34", "2011-10-30 04:35",
          "2011-10-30 05:36"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CZoneGuard zone(c.pszZone);
        CFixedClock clock(At(c.y, c.mo, c.d) - 86400);
        CSchedule s(clock);
        CTaskItem t = Recurring(c.nRecurrence, Group(c.y, c.mo, c.d, c.h, c.mi));
        for (int32_t& b : t.m_bWeekDays) b = 0;  // only the days a case ticks
        c.fnSet(t);
        const CTaskItem fresh = t;
        EXPECT_EQ(s.CalcNextSending(t).Problem(), "");
        Strings vecGot;
        for (size_t i = 0; i < c.vecWant.size() && t.m_dtNextSending.IsSet(); ++i) {
            vecGot.push_back(Next(t));
            Occur(s, clock, t);
        }
        EXPECT_EQ(vecGot, c.vecWant);
        // The catch-up of a task scheduled a minute after the second occurrence lands on the third.
        CTaskItem late = fresh;
        clock.Set(ValueOf(TaskTime::ToAbsolute(ValueOf(TaskTime::ParseDateTime(c.vecWant[1])))) + 60);
        EXPECT_EQ(s.AdvancePastNow(late).Problem(), "");
        EXPECT_EQ(Next(late), c.vecWant[2]);
    }
}

TEST(ScheduleDst, MidnightShiftNeverRepeatsADay) {
    // Zones whose clocks change at midnight; sending times inside the shift.
    const struct {
        const char* pszZone;
        int y, mo, d;  // a day shortly before a change
    } cases[] = {{"America/Santiago", 2024, 4, 1},
                 {"America/Havana", 2024, 11, 1},
                 {"Asia/Beirut", 2024, 10, 24},
                 {"America/Asuncion", 2024, 3, 20}};
    for (const auto& c : cases) {
        CZoneGuard zone(c.pszZone);
        for (int nRec : {2, 3}) {
            CFixedClock clock(At(c.y, c.mo, c.d));
            CSchedule s(clock);
            CTaskItem t = Recurring(nRec, Group(c.y, c.mo, c.d, 0, 30));
            t.m_nDailyInterval = 1;
            t.m_nWeeklyInterval = 1;
            for (auto& b : t.m_bWeekDays) b = 1;
            EXPECT_EQ(s.CalcNextSending(t).Problem(), "");
            time_t tPrev = 0;
            std::string strPrevDay;
            for (int i = 0; i < 40; ++i) {
                ASSERT_TRUE(t.m_dtNextSending.IsSet());
                const time_t tNext = ValueOf(TaskTime::ToAbsolute(t.m_dtNextSending));
                const std::string strDay = Next(t).substr(0, 10);
                EXPECT_GT(tNext, tPrev) << c.pszZone << " " << Next(t);
                EXPECT_NE(strDay, strPrevDay) << c.pszZone << " type " << nRec << " sends twice on " << strDay;
                tPrev = tNext;
                strPrevDay = strDay;
                Occur(s, clock, t);
            }
        }
    }
}

// An N-minute task keeps N minutes of elapsed time between its sendings across every change; where the clocks go back,
// the wall times they repeat can be stored only once, so there a gap may be a whole number of intervals, but never
// shorter than one and never two sendings in one.
TEST(ScheduleDst, MinutelySendingsStayWholeIntervalsApart) {
    const struct {
        const char* pszZone;
        int y, mo, d;
    } cases[] = {{"Europe/Berlin", 2011, 10, 30},     {"Europe/Berlin", 2011, 3, 27},
                 {"America/New_York", 2015, 11, 1},   {"America/New_York", 2015, 3, 8},
                 {"Australia/Lord_Howe", 2024, 4, 7}, {"Australia/Lord_Howe", 2024, 10, 6}};
    for (const auto& c : cases) {
        CZoneGuard zone(c.pszZone);
        for (int nMinutes = 1; nMinutes <= 180; nMinutes += nMinutes < 61 ? 7 : nMinutes < 120 ? 1 : 13) {
            CFixedClock clock(At(c.y, c.mo, c.d) - 86400);
            CSchedule s(clock);
            CTaskItem t = Recurring(1, TaskTime::FromAbsolute(At(c.y, c.mo, c.d) - 90 * 60));  // 22:30 the day before
            t.m_nMinuteInterval = nMinutes;
            EXPECT_EQ(s.CalcNextSending(t).Problem(), "");
            const time_t tFirst = ValueOf(TaskTime::ToAbsolute(t.m_dtNextSending));
            time_t tPrev = tFirst - nMinutes * 60;
            int nSent = 0;
            while (ValueOf(TaskTime::ToAbsolute(t.m_dtNextSending)) < tFirst + 8 * 3600) {
                const time_t tNext = ValueOf(TaskTime::ToAbsolute(t.m_dtNextSending));
                const time_t nGap = tNext - tPrev;
                ASSERT_TRUE(nGap > 0 && nGap % (nMinutes * 60) == 0)
                    << c.pszZone << " every " << nMinutes << ": " << Next(t) << " comes " << nGap
                    << " s after the last";
                // Only the hour the clocks repeat may be passed over: from the last time before it to the first one
                // after it.
                ASSERT_LT(nGap, 2 * nMinutes * 60 + 3600) << c.pszZone << " every " << nMinutes << " at " << Next(t);
                tPrev = tNext;
                ++nSent;
                Occur(s, clock, t);
            }
            EXPECT_GE(nSent, 8 * 60 / nMinutes - 60 / nMinutes - 1) << c.pszZone << " every " << nMinutes;
        }
    }
}

// Stored values come from a file anyone can write: no combination of them may make the computation overflow (the
// sanitizer build checks the arithmetic).
TEST(ScheduleLimits, ExtremeStoredValuesAreRefusedNotOverflowed) {
    CZoneGuard zone("Europe/Berlin");
    CFixedClock clock(At(2026, 12, 7, 9, 30));
    CSchedule s(clock);
    const int32_t kValues[] = {INT32_MIN, -1, 0, 1, 5, 12, 31, 9999, INT32_MAX};
    int nRefused = 0;
    for (int nRecurrence = 0; nRecurrence <= 5; ++nRecurrence) {
        for (int32_t v : kValues) {
            for (int32_t nYear : {1900, 2026, 9998, 9999, INT32_MAX}) {
                CTaskItem t;
                t.m_bActive = 1;
                t.m_bSendOverdue = 1;
                t.m_nRecurrence = nRecurrence;
                t.m_nMinuteInterval = t.m_nDailyInterval = t.m_nWeeklyInterval = v;
                t.m_nMonthlyInterval = t.m_nMonthlyInterval2 = v;
                t.m_nMonthlyDay = t.m_nYearlyDay = v == INT32_MAX ? 31 : 15;
                t.m_nEndKind = 1;
                t.m_nEndAfterCount = v;
                t.m_nOccurrenceCount = v;
                t.m_dtStart = TaskDateTime{nYear, 12, 7, 2, 9, 30, 0};
                t.m_dtLastSent = TaskDateTime{nYear, 12, 7, 2, 9, 30, 0};
                t.m_dtNextSending = t.m_dtLastSent;
                // The first refusal ends the task's run, as a failed step would.
                std::string strProblem = s.CheckDue(t).Problem();
                if (strProblem.empty()) strProblem = s.CalcNextSending(t).Problem();
                if (strProblem.empty()) strProblem = s.AdvancePastNow(t).Problem();
                if (!strProblem.empty()) {
                    ++nRefused;
                    // A group out of range, or one the C library rejects; nothing else.
                    EXPECT_TRUE(strProblem.starts_with("invalid date group: ") ||
                                strProblem == "date group cannot be converted")
                        << strProblem;
                }
            }
        }
    }
    EXPECT_GT(nRefused, 0);
}
