// Each recurrence type and form chosen on the real panels, scheduled from a
// message: the task fields written and the first sending time, in several
// time zones (a fixed present, Friday 7 June 2024 10:00 local).
#include "COptionsTestBase.h"
#include "CGeneralPage.h"

namespace {

struct CCase {
    const char* pszName;
    QDate dateStart;
    QTime timeStart;
    std::function<void(COptionsTestBase&)> fnChoose;
    std::function<void(const CTaskItem&)> fnCheckFields;
    TaskDateTime dtNext;
};

class RecurrenceTest : public COptionsTestBase, public ::testing::WithParamInterface<const char*> {};

const std::vector<CCase>& Cases() {
    static const std::vector<CCase> vec = {
        {"once", QDate(2024, 6, 8), QTime(8, 15), [](auto&) {},
         [](const CTaskItem& t) { EXPECT_EQ(t.m_nRecurrence, 0); }, {2024, 6, 8, 7, 8, 15, 1}},
        {"every 15 minutes", QDate(2024, 6, 7), QTime(10, 5),
         [](auto& f) {
             f.Click(219);
             f.Type(240, "15");
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nRecurrence, 1);
             EXPECT_EQ(t.m_nMinuteInterval, 15);
         },
         {2024, 6, 7, 6, 10, 5, 1}},
        {"every 3 days", QDate(2024, 6, 9), QTime(7, 0),
         [](auto& f) {
             f.Click(11005);
             f.Type(1007, "3");
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nRecurrence, 2);
             EXPECT_EQ(t.m_nDailyMode, 0);
             EXPECT_EQ(t.m_nDailyInterval, 3);
         },
         {2024, 6, 9, 1, 7, 0, 1}},
        {"every weekday", QDate(2024, 6, 8), QTime(9, 0),
         [](auto& f) {
             f.Click(11005);
             f.Click(1006);
             f.Select(1109, 1);
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nDailyMode, 1);
             EXPECT_EQ(t.m_nDailyDayKind, 1);
             EXPECT_EQ(t.m_nDailyInterval, 0);  // the unused form keeps the task's value
         },
         {2024, 6, 10, 2, 9, 0, 1}},
        {"weekly on Monday and Wednesday", QDate(2024, 6, 7), QTime(11, 0),
         [](auto& f) {
             f.Click(1106);
             f.Click(1216);  // Monday: on in a fresh task's flags, off on a fresh panel
             f.Click(1218);
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nRecurrence, 3);
             EXPECT_EQ(t.m_nWeeklyMode, 0);
             EXPECT_EQ(t.m_nWeeklyInterval, 1);
             EXPECT_EQ(t.m_nWeeklyWeekOfMonth, -1);  // list never used
             const int32_t arrDays[7] = {0, 1, 0, 1, 0, 0, 0};
             EXPECT_TRUE(std::equal(arrDays, arrDays + 7, t.m_bWeekDays));
         },
         {2024, 6, 10, 2, 11, 0, 1}},
        {"third week of the month on Tuesday and Saturday", QDate(2024, 6, 7), QTime(11, 0),
         [](auto& f) {
             f.Click(1106);
             f.Click(1051);
             f.Select(1054, 1);
             f.Click(1217);
             f.Click(1021);
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nWeeklyMode, 1);
             EXPECT_EQ(t.m_nWeeklyWeekOfMonth, 1);
             EXPECT_EQ(t.m_bWeekDays[2], 1);
             EXPECT_EQ(t.m_bWeekDays[6], 1);  // Saturday is index 6 though laid out third on its row
         },
         {2024, 6, 11, 3, 11, 0, 0}},  // found from the 1st of the month at second 0
        {"day 15 of every 2 months", QDate(2024, 6, 7), QTime(10, 30),
         [](auto& f) {
             f.Click(1107);
             f.Type(1055, "15");
             f.Type(1013, "2");
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nRecurrence, 4);
             EXPECT_EQ(t.m_nMonthlyMode, 0);
             EXPECT_EQ(t.m_nMonthlyDay, 15);
             EXPECT_EQ(t.m_nMonthlyInterval, 2);
         },
         {2024, 6, 15, 7, 10, 30, 1}},
        {"last Friday of every month", QDate(2024, 6, 7), QTime(10, 30),
         [](auto& f) {
             f.Click(1107);
             f.Click(1219);
             f.Select(1057, 4);
             f.Select(1058, 10);
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nMonthlyMode, 1);
             EXPECT_EQ(t.m_nMonthlyOrdinal, 4);
             EXPECT_EQ(t.m_nMonthlyDayKind, 10);
             EXPECT_EQ(t.m_nMonthlyInterval2, 1);
         },
         {2024, 6, 28, 6, 10, 30, 1}},
        {"every 3 March", QDate(2024, 6, 7), QTime(10, 30),
         [](auto& f) {
             f.Click(1208);
             f.Select(1014, 2);
             f.Type(1012, "3");
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nRecurrence, 5);
             EXPECT_EQ(t.m_nYearlyMode, 0);
             EXPECT_EQ(t.m_nYearlyMonth, 2);
             EXPECT_EQ(t.m_nYearlyDay, 3);
         },
         {2025, 3, 3, 2, 10, 30, 1}},
        {"first Monday of September", QDate(2024, 6, 7), QTime(10, 30),
         [](auto& f) {
             f.Click(1208);
             f.Click(1011);
             f.Select(1017, 6);
             f.Select(1018, 8);
         },
         [](const CTaskItem& t) {
             EXPECT_EQ(t.m_nYearlyMode, 1);
             EXPECT_EQ(t.m_nYearlyOrdinal, 0);
             EXPECT_EQ(t.m_nYearlyDayKind, 6);
             EXPECT_EQ(t.m_nYearlyMonth2, 8);
         },
         {2024, 9, 2, 2, 10, 30, 1}},
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
        c.fnChoose(*this);
        ASSERT_TRUE(Schedule()) << (m_boxes.m_vecShown.empty() ? "" : m_boxes.m_vecShown.front().strText);
        const CTaskItem task = m_pDlg->GetTask();
        c.fnCheckFields(task);
        EXPECT_EQ(task.m_dtStart, (TaskDateTime{c.dateStart.year(), c.dateStart.month(), c.dateStart.day(),
                                                c.dateStart.dayOfWeek() % 7 + 1, c.timeStart.hour(),
                                                c.timeStart.minute(), 0}));
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
