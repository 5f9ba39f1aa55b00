// Each recurrence type and form chosen on the real panels, scheduled from a
// message: the task fields written and the first sending time, in several
// time zones (a fixed present, Friday 7 June 2024 10:00 local).
#include "CGeneralPage.h"
#include "COptionsTestBase.h"

namespace {

struct CCase {
    const char* pszName;
    QDate dateStart;
    QTime timeStart;
    TaskDateTime dtNext;
    std::vector<CStep> vecSteps;
    std::vector<COptionsTestBase::CFieldValue> vecFields;
};

class RecurrenceTest : public COptionsTestBase, public ::testing::WithParamInterface<const char*> {};

// Type buttons: 219 minutely, 11005 daily, 1106 weekly, 1107 monthly, 1208
// yearly.
const std::vector<CCase>& Cases() {
    static const std::vector<CCase> vec = {
        // clang-format off
        {"once", QDate(2024, 6, 8), QTime(8, 15), {2024, 6, 8, 7, 8, 15, 1}, {}, {{"m_nRecurrence", 0}}},
        {"every 15 minutes", QDate(2024, 6, 7), QTime(10, 5), {2024, 6, 7, 6, 10, 5, 1},
         {ClickOn(219), TypeInto(240, "15")},
         {{"m_nRecurrence", 1}, {"m_nMinuteInterval", 15}}},
        {"every 3 days", QDate(2024, 6, 9), QTime(7, 0), {2024, 6, 9, 1, 7, 0, 1},
         {ClickOn(11005), TypeInto(1007, "3")},
         {{"m_nRecurrence", 2}, {"m_nDailyMode", 0}, {"m_nDailyInterval", 3}}},
        // The unused form keeps the task's value.
        {"every weekday", QDate(2024, 6, 8), QTime(9, 0), {2024, 6, 10, 2, 9, 0, 1},
         {ClickOn(11005), ClickOn(1006), SelectIn(1109, 1)},
         {{"m_nDailyMode", 1}, {"m_nDailyDayKind", 1}, {"m_nDailyInterval", 0}}},
        // Monday: on in a fresh task's flags, off on a fresh panel; the
        // week-of-month list was never used.
        {"weekly on Monday and Wednesday", QDate(2024, 6, 7), QTime(11, 0), {2024, 6, 10, 2, 11, 0, 1},
         {ClickOn(1106), ClickOn(1216), ClickOn(1218)},
         {{"m_nRecurrence", 3}, {"m_nWeeklyMode", 0}, {"m_nWeeklyInterval", 1}, {"m_nWeeklyWeekOfMonth", -1},
          {"m_bWeekDays[0]", 0}, {"m_bWeekDays[1]", 1}, {"m_bWeekDays[2]", 0}, {"m_bWeekDays[3]", 1},
          {"m_bWeekDays[4]", 0}, {"m_bWeekDays[5]", 0}, {"m_bWeekDays[6]", 0}}},
        // Found from the 1st of the month at second 0; Saturday is index 6
        // though laid out third on its row.
        {"third week of the month on Tuesday and Saturday", QDate(2024, 6, 7), QTime(11, 0), {2024, 6, 11, 3, 11, 0, 0},
         {ClickOn(1106), ClickOn(1051), SelectIn(1054, 1), ClickOn(1217), ClickOn(1021)},
         {{"m_nWeeklyMode", 1}, {"m_nWeeklyWeekOfMonth", 1}, {"m_bWeekDays[2]", 1}, {"m_bWeekDays[6]", 1}}},
        {"day 15 of every 2 months", QDate(2024, 6, 7), QTime(10, 30), {2024, 6, 15, 7, 10, 30, 1},
         {ClickOn(1107), TypeInto(1055, "15"), TypeInto(1013, "2")},
         {{"m_nRecurrence", 4}, {"m_nMonthlyMode", 0}, {"m_nMonthlyDay", 15}, {"m_nMonthlyInterval", 2}}},
        {"last Friday of every month", QDate(2024, 6, 7), QTime(10, 30), {2024, 6, 28, 6, 10, 30, 1},
         {ClickOn(1107), ClickOn(1219), SelectIn(1057, 4), SelectIn(1058, 10)},
         {{"m_nMonthlyMode", 1}, {"m_nMonthlyOrdinal", 4}, {"m_nMonthlyDayKind", 10}, {"m_nMonthlyInterval2", 1}}},
        {"every 3 March", QDate(2024, 6, 7), QTime(10, 30), {2025, 3, 3, 2, 10, 30, 1},
         {ClickOn(1208), SelectIn(1014, 2), TypeInto(1012, "3")},
         {{"m_nRecurrence", 5}, {"m_nYearlyMode", 0}, {"m_nYearlyMonth", 2}, {"m_nYearlyDay", 3}}},
        {"first Monday of September", QDate(2024, 6, 7), QTime(10, 30), {2024, 9, 2, 2, 10, 30, 1},
         {ClickOn(1208), ClickOn(1011), SelectIn(1017, 6), SelectIn(1018, 8)},
         {{"m_nYearlyMode", 1}, {"m_nYearlyOrdinal", 0}, {"m_nYearlyDayKind", 6}, {"m_nYearlyMonth2", 8}}},
        // clang-format on
    };
    return vec;
}

}  // namespace

TEST_P(RecurrenceTest, EveryTypeAndFormGivesItsFieldsAndFirstSendingTime) {
    SetZone(GetParam());
    m_clock.Set(Local(2024, 6, 7, 10, 0, 0));
    for (const CCase& c : Cases()) {
        SCOPED_TRACE(c.pszName);
        m_boxes.m_vecShown.clear();
        OpenNew("Figures");
        SetStart(c.dateStart, c.timeStart);
        for (const CStep& step : c.vecSteps) Do(step);
        ASSERT_TRUE(Schedule()) << (m_boxes.m_vecShown.empty() ? "" : m_boxes.m_vecShown.front().strText);
        const CTaskItem task = m_pDlg->GetTask();
        ExpectFields(task, c.vecFields);
        EXPECT_EQ(task.m_dtStart,
                  (TaskDateTime{c.dateStart.year(), c.dateStart.month(), c.dateStart.day(),
                                c.dateStart.dayOfWeek() % 7 + 1, c.timeStart.hour(), c.timeStart.minute(), 0}));
        EXPECT_EQ(task.m_dtNextSending, c.dtNext) << TaskTime::Format(task.m_dtNextSending);
        EXPECT_EQ(Texts(), std::vector<std::string>{kScheduled});
        EXPECT_EQ(LastIcon(), CMessageBox::MB_ICONINFORMATION);
        // New-task defaults of the other pages.
        EXPECT_EQ(task.m_strTaskName, "Figures");
        EXPECT_EQ(task.m_bActive, 1);
        EXPECT_EQ(task.m_bSendOverdue, 1);
        EXPECT_EQ(task.m_bReceiveBeforeSending, 0);
        EXPECT_EQ(task.m_nEndKind, 0);
        EXPECT_EQ(task.m_nOccurrenceCount, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, RecurrenceTest,
                         ::testing::Values("UTC", "America/New_York", "Europe/Berlin", "Australia/Sydney"),
                         [](const auto& info) {
                             std::string str = info.param;
                             for (char& ch : str)
                                 if (ch == '/') ch = '_';
                             return str;
                         });
