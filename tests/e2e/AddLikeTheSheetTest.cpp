// `quillory add` and the real options sheet, given the same settings at the
// same present in the same zone, store the same schedule: every recurrence
// field, the start, the end and the first sending time, which is also the
// one worked out by hand (the fields the options give: ScheduleOptionsTest).
#include "COptionsTestBase.h"
#include "CTaskListFile.h"
#include "CTextCodec.h"
#include "ShellRun.h"

namespace {

namespace fs = std::filesystem;

// One setting, as the sheet's controls take it and as the tool's options,
// and the first sending time worked out by hand from the present, Friday 7
// June 2024 10:00 in each zone (unset: the tool's alone is compared).
struct CCase {
    const char* pszName;
    QDate dateStart;
    QTime timeStart;
    std::vector<CStep> vecSteps;
    std::vector<std::string> vecArgs;
    TaskDateTime dtNext;
};

// Type buttons: 219 minutely, 11005 daily, 1106 weekly, 1107 monthly, 1208 yearly.
const CCase kCases[] = {
    // clang-format off
    {"Once", QDate(2024, 6, 8), QTime(8, 15), {}, {"--once", "--start", "2024-06-08 08:15"}, {2024, 6, 8, 7, 8, 15, 1}},
    {"EveryFifteenMinutes", QDate(2024, 6, 7), QTime(10, 5), {ClickOn(219), TypeInto(240, "15")},
     {"--every-minutes", "15", "--start", "2024-06-07 10:05"}, {2024, 6, 7, 6, 10, 5, 1}},
    {"EveryNinetyMinutes", QDate(2024, 6, 7), QTime(23, 30), {ClickOn(219), TypeInto(240, "90")},
     {"--every-minutes", "90", "--start", "2024-06-07 23:30"}, {2024, 6, 7, 6, 23, 30, 1}},
    {"EveryThreeDays", QDate(2024, 6, 9), QTime(7, 0), {ClickOn(11005), TypeInto(1007, "3")},
     {"--daily", "--interval", "3", "--start", "2024-06-09 07:00"}, {2024, 6, 9, 1, 7, 0, 1}},
    // The unused daily form keeps the new task's interval.
    {"EveryWeekday", QDate(2024, 6, 8), QTime(9, 0), {ClickOn(11005), ClickOn(1006), SelectIn(1109, 1)},
     {"--daily", "--kind", "weekday", "--start", "2024-06-08 09:00"}, {2024, 6, 10, 2, 9, 0, 1}},
    {"EveryWeekendDay", QDate(2024, 6, 10), QTime(9, 0), {ClickOn(11005), ClickOn(1006), SelectIn(1109, 2)},
     {"--daily", "--kind", "weekend-day", "--start", "2024-06-10 09:00"}, {2024, 6, 15, 7, 9, 0, 1}},
    // Monday: on in a fresh task's flags, off on a fresh panel.
    {"WeeklyOnMondayAndWednesday", QDate(2024, 6, 7), QTime(11, 0), {ClickOn(1106), ClickOn(1216), ClickOn(1218)},
     {"--weekly", "--days", "mon,wed", "--start", "2024-06-07 11:00"}, {2024, 6, 10, 2, 11, 0, 1}},
    // Weeks run Sunday to Saturday: the start's week has no such day left.
    {"EveryOtherWeekOnMondayAndThursday", QDate(2024, 6, 7), QTime(11, 0),
     {ClickOn(1106), TypeInto(1052, "2"), ClickOn(1216), ClickOn(1019)},
     {"--weekly", "--interval", "2", "--days", "mon,thu", "--start", "2024-06-07 11:00"}, {2024, 6, 17, 2, 11, 0, 1}},
    // Found from the 1st of the month at second 0; Saturday is index 6
    // though laid out third on its row.
    {"ThirdWeekOfTheMonthOnTuesdayAndSaturday", QDate(2024, 6, 7), QTime(11, 0),
     {ClickOn(1106), ClickOn(1051), SelectIn(1054, 1), ClickOn(1217), ClickOn(1021)},
     {"--weekly", "--week-of-month", "3", "--days", "tue,sat", "--start", "2024-06-07 11:00"},
     {2024, 6, 11, 3, 11, 0, 0}},
    {"DayFifteenEveryTwoMonths", QDate(2024, 6, 7), QTime(10, 30),
     {ClickOn(1107), TypeInto(1055, "15"), TypeInto(1013, "2")},
     {"--monthly", "--day", "15", "--interval", "2", "--start", "2024-06-07 10:30"}, {2024, 6, 15, 7, 10, 30, 1}},
    {"Day31EveryTwoMonthsEndingAfterFour", QDate(2024, 6, 7), QTime(18, 0),
     {ClickOn(1107), TypeInto(1055, "31"), TypeInto(1013, "2"), ClickOn(1040), TypeInto(1042, "4")},
     {"--monthly", "--day", "31", "--interval", "2", "--end-after", "4", "--start", "2024-06-07 18:00"}, {}},
    {"LastFridayOfEveryMonth", QDate(2024, 6, 7), QTime(10, 30),
     {ClickOn(1107), ClickOn(1219), SelectIn(1057, 4), SelectIn(1058, 10)},
     {"--monthly", "--ordinal", "last", "--kind", "friday", "--start", "2024-06-07 10:30"}, {2024, 6, 28, 6, 10, 30, 1}},
    {"LastFridayEveryThreeMonths", QDate(2024, 6, 7), QTime(16, 30),
     {ClickOn(1107), ClickOn(1219), SelectIn(1057, 4), SelectIn(1058, 10), TypeInto(1215, "3")},
     {"--monthly", "--ordinal", "last", "--kind", "friday", "--interval", "3", "--start", "2024-06-07 16:30"},
     {2024, 6, 28, 6, 16, 30, 1}},
    {"EveryThirdOfMarch", QDate(2024, 6, 7), QTime(10, 30), {ClickOn(1208), SelectIn(1014, 2), TypeInto(1012, "3")},
     {"--yearly", "--month", "mar", "--day", "3", "--start", "2024-06-07 10:30"}, {2025, 3, 3, 2, 10, 30, 1}},
    {"YearlyOnTheTwentyNinthOfFebruary", QDate(2024, 6, 7), QTime(16, 0),
     {ClickOn(1208), SelectIn(1014, 1), TypeInto(1012, "29")},
     {"--yearly", "--month", "feb", "--day", "29", "--start", "2024-06-07 16:00"}, {}},
    {"FirstMondayOfSeptember", QDate(2024, 6, 7), QTime(10, 30),
     {ClickOn(1208), ClickOn(1011), SelectIn(1017, 6), SelectIn(1018, 8)},
     {"--yearly", "--ordinal", "first", "--kind", "monday", "--month", "sep", "--start", "2024-06-07 10:30"},
     {2024, 9, 2, 2, 10, 30, 1}},
    {"SecondWeekdayOfOctober", QDate(2024, 6, 7), QTime(12, 0),
     {ClickOn(1208), ClickOn(1011), SelectIn(1016, 1), SelectIn(1017, 1), SelectIn(1018, 9)},
     {"--yearly", "--ordinal", "second", "--kind", "weekday", "--month", "oct", "--start", "2024-06-07 12:00"},
     {2024, 10, 2, 4, 12, 0, 1}},
    // clang-format on
};

class AddLikeTheSheetTest : public COptionsTestBase, public ::testing::WithParamInterface<const char*> {
protected:
    // The task the tool stores for these options, at the sheet's present.
    CTaskItem ToolTask(const CCase& c) {
        const std::string strFile = m_dir / "tool/emails.dat";
        fs::remove_all(m_dir / "tool");
        const std::string strCmd =
            "TZ=" + std::string(GetParam()) +
            " QUILLORY_TEST_NOW='2024-06-07 10:00' XDG_RUNTIME_DIR=" + ShellQuoted(m_dir / "tool") + " " +
            ShellQuoted(QUILLORY_CLI) + " add --file " + ShellQuoted(strFile) +
            " --codepage UTF-8 --to rita@example.com --subject " + ShellQuoted(c.pszName) + " --body b" +
            ShellWords(c.vecArgs);
        const CShellRun r = RunShell(strCmd + " 2> " + ShellQuoted(m_dir / "err"), m_dir / "err");
        EXPECT_EQ(r.nExit, 0) << r.strErr;
        CTaskList list;
        EXPECT_EQ(CTaskListFile::LoadTaskList(strFile, list, CTextCodec::Open("UTF-8").Value()).Problem(), "");
        return list.GetSize() == 1 ? list[0] : CTaskItem();
    }
};

// The fields that make the schedule; the texts, the attachments and an end
// date the end kind does not use may differ.
void ExpectSameSchedule(CTaskItem sheet, CTaskItem tool) {
    for (CTaskItem* p : {&sheet, &tool}) {
        p->m_strTaskName.clear();
        p->m_strTemplateFile.clear();
        p->m_arrAttachments.RemoveAll();
        if (p->EndKind() != EEndKind::EndDate) p->m_dtEnd = TaskDate{};
    }
    EXPECT_EQ(TaskTime::Format(tool.m_dtNextSending), TaskTime::Format(sheet.m_dtNextSending));
    EXPECT_TRUE(tool == sheet) << "stored fields differ";
}

}  // namespace

TEST_P(AddLikeTheSheetTest, TheToolStoresWhatTheSheetStores) {
    SetZone(GetParam());
    m_clock.Set(Local(2024, 6, 7, 10, 0, 0));
    for (const CCase& c : kCases) {
        SCOPED_TRACE(c.pszName);
        OpenNew(c.pszName);
        SetStart(c.dateStart, c.timeStart);
        for (const CStep& step : c.vecSteps) Do(step);
        m_boxes.m_vecShown.clear();
        ASSERT_TRUE(Schedule()) << (Texts().empty() ? "" : Texts().back());
        EXPECT_EQ(Texts(), std::vector<std::string>{kScheduled});
        const CTaskItem sheet = m_pDlg->GetTask();
        const QDate& d = c.dateStart;
        EXPECT_EQ(sheet.m_dtStart, (TaskDateTime{d.year(), d.month(), d.day(), d.dayOfWeek() % 7 + 1,
                                                 c.timeStart.hour(), c.timeStart.minute(), 0}));
        if (c.dtNext.IsSet()) {
            EXPECT_EQ(sheet.m_dtNextSending, c.dtNext) << TaskTime::Format(sheet.m_dtNextSending);
        }
        ExpectSameSchedule(sheet, ToolTask(c));
        m_pDlg.reset();
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, AddLikeTheSheetTest,
                         ::testing::Values("Europe/Berlin", "America/New_York", "Australia/Lord_Howe"),
                         [](const auto& info) { return ZoneTestName(info.param); });
