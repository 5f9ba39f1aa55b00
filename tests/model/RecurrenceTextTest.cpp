// The schedule of a task as a person reads it, for every rule and for values no panel stores.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "CRecurrenceText.h"

namespace {

// Tuesday 8 December 2026, 09:05.
CTaskItem Task(ERecurrence recurrence, const std::function<void(CTaskItem&)>& fnSet) {
    CTaskItem task;
    task.m_dtStart = {2026, 12, 8, 3, 9, 5, 0};
    task.m_nRecurrence = CodeOf(recurrence);
    for (int32_t& b : task.m_bWeekDays) b = 0;
    task.m_nEndKind = CodeOf(EEndKind::NoEnd);
    fnSet(task);
    return task;
}

void Days(CTaskItem& task, std::initializer_list<int> listSundayFirst) {
    for (int n : listSundayFirst) task.m_bWeekDays[n] = 1;
}

}  // namespace

TEST(RecurrenceTextTest, SaysWhatEveryRuleDoes) {
    using R = ERecurrence;
    const struct {
        const char* pszName;
        CTaskItem task;
        const char *pszRule, *pszEnd;
    } cases[] = {
        // clang-format off
        {"once", Task(R::Once, [](CTaskItem&) {}), "Once on 2026-12-08 at 09:05", ""},
        {"once ignores its end", Task(R::Once, [](CTaskItem& t) { t.m_nEndKind = CodeOf(EEndKind::AfterCount), t.m_nEndAfterCount = 4; }), "Once on 2026-12-08 at 09:05", ""},
        {"every minute", Task(R::Minutely, [](CTaskItem& t) { t.m_nMinuteInterval = 1; }), "Every minute from 2026-12-08 at 09:05", ""},
        {"every 90 minutes until a date", Task(R::Minutely, [](CTaskItem& t) { t.m_nMinuteInterval = 90, t.m_nEndKind = CodeOf(EEndKind::EndDate), t.m_dtEnd = {2027, 1, 31, 1}; }), "Every 90 minutes from 2026-12-08 at 09:05", "until 2027-01-31"},
        {"every day", Task(R::Daily, [](CTaskItem& t) { t.m_nDailyInterval = 1; }), "Every day at 09:05", ""},
        {"two digits, from the start: a moved occurrence does not change the rule", Task(R::Daily, [](CTaskItem& t) { t.m_nDailyInterval = 1, t.m_dtStart.nHour = 0, t.m_dtStart.nMinute = 0, t.m_dtNextSending = {2026, 12, 9, 4, 17, 30, 0}; }), "Every day at 00:00", ""},
        {"every 3 days sent twice", Task(R::Daily, [](CTaskItem& t) { t.m_nDailyInterval = 3, t.m_nEndKind = CodeOf(EEndKind::AfterCount), t.m_nEndAfterCount = 2; }), "Every 3 days at 09:05", "2 times"},
        {"every weekday", Task(R::Daily, [](CTaskItem& t) { t.m_nDailyMode = CodeOf(EDailyMode::EveryDayOfKind), t.m_nDailyDayKind = CodeOf(EDayKind::Weekday); }), "Every weekday at 09:05", ""},
        {"every odd day, once", Task(R::Daily, [](CTaskItem& t) { t.m_nDailyMode = CodeOf(EDailyMode::EveryDayOfKind), t.m_nDailyDayKind = CodeOf(EDayKind::OddDay), t.m_nEndKind = CodeOf(EEndKind::AfterCount), t.m_nEndAfterCount = 1; }), "Every odd day at 09:05", "once"},
        {"daily mode not known", Task(R::Daily, [](CTaskItem& t) { t.m_nDailyMode = 4; }), "Daily in mode 4 (not known) at 09:05", ""},
        {"every 2 weeks on two days", Task(R::Weekly, [](CTaskItem& t) { t.m_nWeeklyInterval = 2, Days(t, {1, 4}); }), "Every 2 weeks on Monday and Thursday at 09:05", ""},
        {"every week on three days, Sunday first", Task(R::Weekly, [](CTaskItem& t) { t.m_nWeeklyInterval = 1, Days(t, {5, 0, 3}); }), "Every week on Sunday, Wednesday and Friday at 09:05", ""},
        {"weekly with no day", Task(R::Weekly, [](CTaskItem& t) { t.m_nWeeklyInterval = 1; }), "Every week on no day at 09:05", ""},
        {"a day ticked with a value other than 1 is not ticked", Task(R::Weekly, [](CTaskItem& t) { t.m_nWeeklyInterval = 1, t.m_bWeekDays[2] = 2, t.m_bWeekDays[6] = 1; }), "Every week on Saturday at 09:05", ""},
        {"second week of the month", Task(R::Weekly, [](CTaskItem& t) { t.m_nWeeklyMode = CodeOf(EWeeklyMode::WeekOfMonth), t.m_nWeeklyWeekOfMonth = CodeOf(EWeekOfMonth::Second), Days(t, {2}); }), "Every second week of the month on Tuesday at 09:05", ""},
        {"no week of the month chosen", Task(R::Weekly, [](CTaskItem& t) { t.m_nWeeklyMode = CodeOf(EWeeklyMode::WeekOfMonth), t.m_nWeeklyWeekOfMonth = -1, Days(t, {2}); }), "Weekly on Tuesday, with no week of the month chosen at 09:05", ""},
        {"day 15 of every month", Task(R::Monthly, [](CTaskItem& t) { t.m_nMonthlyDay = 15, t.m_nMonthlyInterval = 1; }), "Day 15 of every month at 09:05", ""},
        {"day 31 of every 3 months", Task(R::Monthly, [](CTaskItem& t) { t.m_nMonthlyDay = 31, t.m_nMonthlyInterval = 3; }), "Day 31 of every 3 months at 09:05", ""},
        {"last weekday of every month", Task(R::Monthly, [](CTaskItem& t) { t.m_nMonthlyMode = CodeOf(EMonthlyMode::OrdinalDay), t.m_nMonthlyOrdinal = CodeOf(EOrdinal::Last), t.m_nMonthlyDayKind = CodeOf(EDayKind::Weekday), t.m_nMonthlyInterval2 = 1; }), "Last weekday of every month at 09:05", ""},
        {"a monthly mode other than 0 is the ordinal form, with its own interval", Task(R::Monthly, [](CTaskItem& t) { t.m_nMonthlyMode = 7, t.m_nMonthlyInterval = 5, t.m_nMonthlyOrdinal = CodeOf(EOrdinal::First), t.m_nMonthlyDayKind = CodeOf(EDayKind::Monday), t.m_nMonthlyInterval2 = 2; }), "First Monday of every 2 months at 09:05", ""},
        {"5 March every year", Task(R::Yearly, [](CTaskItem& t) { t.m_nYearlyMonth = 2, t.m_nYearlyDay = 5; }), "Every year on 5 March at 09:05", ""},
        {"last Saturday of December", Task(R::Yearly, [](CTaskItem& t) { t.m_nYearlyMode = CodeOf(EYearlyMode::OrdinalDay), t.m_nYearlyOrdinal = CodeOf(EOrdinal::Last), t.m_nYearlyDayKind = CodeOf(EDayKind::Saturday), t.m_nYearlyMonth2 = 11; }), "Every year on the last Saturday of December at 09:05", ""},
        {"second even day of January, until a date", Task(R::Yearly, [](CTaskItem& t) { t.m_nYearlyMode = CodeOf(EYearlyMode::OrdinalDay), t.m_nYearlyOrdinal = CodeOf(EOrdinal::Second), t.m_nYearlyDayKind = CodeOf(EDayKind::EvenDay), t.m_nYearlyMonth2 = 0, t.m_nEndKind = CodeOf(EEndKind::EndDate), t.m_dtEnd = {2030, 12, 31, 3}; }), "Every year on the second even day of January at 09:05", "until 2030-12-31"},
        {"values no panel stores are named, not guessed", Task(R::Yearly, [](CTaskItem& t) { t.m_nYearlyMode = CodeOf(EYearlyMode::OrdinalDay), t.m_nYearlyOrdinal = 9, t.m_nYearlyDayKind = 12, t.m_nYearlyMonth2 = 12; }), "Every year on the ordinal 9 day of kind 12 of month 13 at 09:05", ""},
        {"a recurrence not known", Task(static_cast<R>(6), [](CTaskItem&) {}), "Recurrence 6 (not known; never sent)", ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(CRecurrenceText::Describe(c.task), c.pszRule);
        EXPECT_EQ(CRecurrenceText::DescribeEnd(c.task), c.pszEnd);
    }
}
