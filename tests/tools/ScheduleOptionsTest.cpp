// The options of quillory add and set, read into task members as the
// options sheet's panels write them, and every value the sheet refuses
// refused with the option named.
#include <gtest/gtest.h>

#include "CScheduleOptions.h"
#include "CTaskRulesJson.h"
#include "CTempDir.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

using json = nlohmann::ordered_json;

namespace {

struct CCase {
    const char* pszName;
    std::vector<std::string> vecArgs;
    json jExpected;  // the members these options must set, and to what
};

struct CRefusal {
    const char* pszName;
    std::vector<std::string> vecArgs;
    std::string strProblem;  // how the problem starts
};

const std::vector<std::string> kMessage = {"--to", "rita@example.org", "--subject", "Weekly report", "--body", "Hi"};

json Days(std::initializer_list<int> days) {
    json arr = json::array({false, false, false, false, false, false, false});
    for (int n : days) arr[static_cast<size_t>(n)] = true;
    return arr;
}

const CCase kCases[] = {
    // clang-format off
    {"EveryMinutes", {"--every-minutes", "15"}, {{"recurrence", 1}, {"minuteInterval", 15}}},
    {"DailyEveryDayByDefault", {"--daily"}, {{"recurrence", 2}, {"dailyMode", 0}, {"dailyInterval", 1}}},
    {"DailyEveryThirdDay", {"--daily", "--interval", "3"}, {{"dailyMode", 0}, {"dailyInterval", 3}}},
    {"DailyKindInAnyCase", {"--daily", "--kind", "Weekend-Day"}, {{"dailyMode", 1}, {"dailyDayKind", 2}}},
    {"WeeklyOnDaysFullAndShort", {"--weekly", "--days", "Mon,thursday"},
     {{"recurrence", 3}, {"weeklyMode", 0}, {"weeklyInterval", 1}, {"weeklyWeekOfMonth", -1},
      {"weekDays", Days({1, 4})}}},
    {"WeeklyEveryOtherWeek", {"--weekly", "--interval", "2", "--days", "sun"},
     {{"weeklyInterval", 2}, {"weekDays", Days({0})}}},
    {"WeeklyThirdWeekOfTheMonth", {"--weekly", "--week-of-month", "3", "--days", "tue"},
     {{"weeklyMode", 1}, {"weeklyWeekOfMonth", 1}, {"weeklyInterval", 1}, {"weekDays", Days({2})}}},
    {"MonthlyOnADay", {"--monthly", "--day", "31", "--interval", "2"},
     {{"recurrence", 4}, {"monthlyMode", 0}, {"monthlyDay", 31}, {"monthlyInterval", 2}}},
    {"MonthlyLastFriday", {"--monthly", "--ordinal", "last", "--kind", "FRI"},
     {{"monthlyMode", 1}, {"monthlyOrdinal", 4}, {"monthlyDayKind", 10}, {"monthlyInterval2", 1}}},
    {"MonthlyFirstEvenDayEveryThreeMonths",
     {"--monthly", "--ordinal", "first", "--kind", "even-day", "--interval", "3"},
     {{"monthlyOrdinal", 0}, {"monthlyDayKind", 3}, {"monthlyInterval2", 3}}},
    {"YearlyOnAMonthAndDay", {"--yearly", "--month", "feb", "--day", "29"},
     {{"recurrence", 5}, {"yearlyMode", 0}, {"yearlyMonth", 1}, {"yearlyDay", 29}}},
    {"YearlySecondWeekdayOfSeptember", {"--yearly", "--ordinal", "second", "--kind", "weekday", "--month", "September"},
     {{"yearlyMode", 1}, {"yearlyOrdinal", 1}, {"yearlyDayKind", 1}, {"yearlyMonth2", 8}}},
    {"OnceWithTheNewTaskDefaultsOfTheSheet", {},
     {{"recurrence", 0}, {"endKind", 0}, {"active", true}, {"sendOverdue", true}, {"receiveBeforeSending", false},
      {"attachments", json::array()},
      {"start",
       {{"year", 2026}, {"month", 12}, {"day", 7}, {"dayOfWeek", 2}, {"hour", 17}, {"minute", 1}, {"second", 0}}}}},
    {"StartWithItsDayOfWeek", {"--start", "2027-03-01 08:05"},
     {{"start",
       {{"year", 2027}, {"month", 3}, {"day", 1}, {"dayOfWeek", 2}, {"hour", 8}, {"minute", 5}, {"second", 0}}}}},
    {"EndAfterCount", {"--end-after", "5"}, {{"endKind", 1}, {"endAfterCount", 5}}},
    {"EndDate", {"--end-date", "2027-02-28"},
     {{"endKind", 2}, {"end", {{"year", 2027}, {"month", 2}, {"day", 28}, {"dayOfWeek", 1}}}}},
    {"OptionsOfTheOtherPage", {"--no-send-overdue", "--receive-first", "--inactive", "--name", "Reports"},
     {{"sendOverdue", false}, {"receiveBeforeSending", true}, {"active", false}, {"taskName", "Reports"}}},
    {"AttachmentEntriesKeptAsTyped", {"--attach-entry", "/srv/reports/*.csv", "--attach-entry", " /srv/a b.pdf"},
     {{"attachments", {"/srv/reports/*.csv", " /srv/a b.pdf"}}}},
    // clang-format on
};

const CRefusal kRefusals[] = {
    // clang-format off
    {"ZeroInterval", {"--daily", "--interval", "0"}, "--interval: Please enter a number between 1 and 999999."},
    {"IntervalNotANumber", {"--daily", "--interval", "2x"}, "--interval: Please enter a number."},
    {"MinutesOverTheBound", {"--every-minutes", "1000000"},
     "--every-minutes: Please enter a number between 1 and 999999."},
    {"WeeklyWithoutDays", {"--weekly"}, "--days: Please select at least one of the day."},
    {"WeeklyWithAnUnknownDay", {"--weekly", "--days", "mon,funday"}, "--days: \"funday\" is no day of the week"},
    {"MonthlyDay32", {"--monthly", "--day", "32"}, "--day: Please enter a number between 1 and 31."},
    {"MonthlyWithoutItsDay", {"--monthly"}, "--monthly: needs --day, or --ordinal and --kind"},
    {"DailyKindIsNoDayName", {"--daily", "--kind", "friday"},
     "--kind: must be day, weekday, weekend-day, even-day or odd-day, not"},
    {"DailyIntervalAndKind", {"--daily", "--interval", "2", "--kind", "day"}, "--interval: does not go with --kind"},
    {"OrdinalWithoutKind", {"--monthly", "--ordinal", "last"}, "--ordinal and --kind: go together"},
    {"UnknownOrdinal", {"--monthly", "--ordinal", "fifth", "--kind", "day"}, "--ordinal: must be first, second"},
    {"YearlyWithoutMonth", {"--yearly", "--day", "3"}, "--month: a yearly schedule needs its month"},
    {"YearlyIntervalDoesNotExist", {"--yearly", "--month", "may", "--day", "3", "--interval", "2"},
     "--interval: does not go with --yearly"},
    {"TwoSchedules", {"--daily", "--weekly", "--days", "mon"}, "--daily: does not go with --weekly"},
    {"WeekOfMonthFive", {"--weekly", "--week-of-month", "5", "--days", "mon"}, "--week-of-month: must be 2, 3 or 4"},
    {"StartBeforeNow", {"--start", "2026-12-07 17:00"},
     "--start: Please change the starting date and time later than the current time."},
    {"StartOnNoDay", {"--start", "2027-02-29 10:00"}, "--start: must be"},
    {"StartWithoutTime", {"--start", "2027-02-01"}, "--start: must be"},
    {"EndBeforeStart", {"--start", "2027-03-01 10:00", "--end-date", "2027-02-28"},
     "--end-date: Please change the end date later than the starting time."},
    {"TwoEnds", {"--end-after", "3", "--end-date", "2027-01-01"}, "--end-after, --end-date and --no-end: choose one"},
    {"BlankAttachmentEntry", {"--attach-entry", "  "}, "--attach-entry: Please select a file or folder."},
    {"UnknownOption", {"--bogus"}, "unknown option --bogus"},
    {"OptionWithoutValue", {"--name"}, "--name: needs a value"},
    {"SameValueTwice", {"--name", "a", "--name", "b"}, "--name: given more than once"},
    {"NoSuchWorkingDay", {"--working-days", "mon-funday"}, "--working-days: "},
    {"HolidaysThatAreNoFile", {"--holidays", "/nonexistent/h.ics"}, "--holidays: "},
    {"ZoneOutOfTheZoneFolder", {"--zone", "../../etc/passwd"}, "--zone: zone \"../../etc/passwd\""},
    {"WaitWithoutItsMinutes", {"--if-nothing-attached", "wait"}, "--if-nothing-attached: wait needs how often"},
    {"WaitDeadlineBeforeItsStep", {"--if-nothing-attached", "wait:30:10"}, "--if-nothing-attached: must be at least"},
    {"WaitThenNeither", {"--if-nothing-attached", "wait:5:60:later"}, "--if-nothing-attached: must be send, skip"},
    {"ARuleAndItsUndoing", {"--zone", "UTC", "--no-zone"}, "--no-zone: does not go with --zone"},
    {"ARuleFlagWithAValue", {"--skip-next=yes"}, "--skip-next: takes no value"},
    // clang-format on
};

class ScheduleOptionsTest : public ::testing::Test {
protected:
    CZoneGuard m_zone{"Europe/Berlin"};
    // 2026-12-07 17:00:30, a Monday.
    const time_t m_tNow = ValueOf(TaskTime::ToAbsolute(2026, 12, 7, 17, 0, 30));

    static std::vector<std::string> WithMessage(const std::vector<std::string>& vecArgs) {
        std::vector<std::string> vec = kMessage;
        vec.insert(vec.end(), vecArgs.begin(), vecArgs.end());
        return vec;
    }
};

}  // namespace

// Each schedule sets the members its panel writes; what the sheet refuses
// is refused naming the option.
TEST_F(ScheduleOptionsTest, EachScheduleSetsItsPanelsMembersOrIsRefusedAsTheSheetRefusesIt) {
    for (const CCase& c : kCases) {
        SCOPED_TRACE(c.pszName);
        const auto r = CScheduleOptions::Parse(WithMessage(c.vecArgs), true, m_tNow);
        ASSERT_TRUE(r) << r.Problem();
        for (const auto& [strKey, jValue] : c.jExpected.items())
            EXPECT_EQ(r->jChanges.value(strKey, json()), jValue) << strKey;
    }
    for (const CRefusal& c : kRefusals) {
        SCOPED_TRACE(c.pszName);
        const auto r = CScheduleOptions::Parse(WithMessage(c.vecArgs), true, m_tNow);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.Problem().substr(0, c.strProblem.size()), c.strProblem) << r.Problem();
    }
}

TEST_F(ScheduleOptionsTest, RuleOptionsChangeOnlyTheRulesNamedAndTheirNoFormsUndoThem) {
    CTempDir dir;
    const std::string strIcs = dir.Path() + "/holidays.ics";
    CTempDir::WriteFile(strIcs, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nEND:VCALENDAR\r\n");
    const struct {
        std::vector<std::string> vecArgs;
        nlohmann::json jRules;
    } arrCases[] = {
        {{"--daily"}, nlohmann::json::object()},
        {{"--working-days=sun-thu", "--holidays", strIcs, "--holidays", strIcs, "--on-holiday", "before"},
         {{"workingDays", "sun-thu"}, {"holidays", {strIcs, strIcs}}, {"onHoliday", "before"}}},
        {{"--zone", "America/New_York", "--missed", "latest", "--if-nothing-attached", "wait:10:120"},
         {{"zone", "America/New_York"},
          {"missed", "latest"},
          {"ifNothingAttached", "wait"},
          {"waitMinutes", 10},
          {"waitDeadlineMinutes", 120}}},
        {{"--pause-until", "2027-01-11", "--skip-next", "--if-nothing-attached", "skip"},
         {{"pauseUntil", "2027-01-11"}, {"skipNext", true}, {"ifNothingAttached", "skip"}}},
        {{"--if-nothing-attached", "wait:5:60:send"},
         {{"ifNothingAttached", "wait"}, {"waitMinutes", 5}, {"waitDeadlineMinutes", 60}, {"waitThen", "send"}}},
        {{"--no-working-days", "--no-holidays", "--no-on-holiday", "--no-zone", "--no-if-nothing-attached",
          "--no-missed", "--no-pause-until", "--no-skip-next"},
         {{"workingDays", "mon-fri"},
          {"holidays", nlohmann::json::array()},
          {"onHoliday", "send"},
          {"zone", ""},
          {"ifNothingAttached", "send"},
          {"missed", "each"},
          {"pauseUntil", nullptr},
          {"skipNext", false}}},
    };
    for (const auto& c : arrCases) {
        std::vector<std::string> vecArgs = {"3"};
        vecArgs.insert(vecArgs.end(), c.vecArgs.begin(), c.vecArgs.end());
        const auto r = CScheduleOptions::Parse(vecArgs, false, m_tNow);
        ASSERT_TRUE(r) << r.Problem();
        EXPECT_EQ(r->jRules, c.jRules);
        // Undoing every rule over any rules gives a task without rules.
        if (c.jRules.contains("skipNext") && !c.jRules["skipNext"].get<bool>()) {
            const CTaskRules had = ValueOf(CTaskRulesJson::FromJson(arrCases[2].jRules));
            EXPECT_TRUE(ValueOf(CTaskRulesJson::FromJson(c.jRules, had)).IsEmpty());
        }
    }
}

TEST_F(ScheduleOptionsTest, TheMessageNeedsRecipientSubjectAndBody) {
    const struct {
        std::vector<std::string> vecArgs;
        std::string strProblem;
    } arrCases[] = {
        {{}, "a new task needs its message"},
        {{"--subject", "s", "--body", "b"}, "--to: the message needs at least one recipient"},
        {{"--to", "a@example.org", "--body", "b"}, "--subject: the message needs a subject"},
        {{"--to", "a@example.org", "--subject", "s"}, "--body: the message needs a body"},
        {{"--to", "a@example.org", "--subject", "s", "--body", "b", "--body-file", "f"}, "--body: does not go with"},
        {{"--eml", "m.eml", "--subject", "s"}, "--eml: does not go with"},
    };
    for (const auto& c : arrCases) {
        const auto r = CScheduleOptions::Parse(c.vecArgs, true, m_tNow);
        ASSERT_FALSE(r) << c.strProblem;
        EXPECT_EQ(r.Problem().substr(0, c.strProblem.size()), c.strProblem) << r.Problem();
    }
    const auto r = CScheduleOptions::Parse(
        {"--to", "a@example.org, b@example.org", "--cc", "c@example.org", "--subject", "s", "--body", "b"}, true,
        m_tNow);
    ASSERT_TRUE(r) << r.Problem();
    EXPECT_EQ(r->vecTo, (std::vector<std::string>{"a@example.org", "b@example.org"}));
    EXPECT_EQ(r->vecCc, std::vector<std::string>{"c@example.org"});
}

// That set leaves the task's other members alone, its form's list and start
// among them, and takes the task from its operand: EditCliTest's
// SetKeepsEveryMemberItIsNotGiven.
TEST_F(ScheduleOptionsTest, SetChangesOnlyWhatIsGiven) {
    const auto r = CScheduleOptions::Parse({"3", "--end-after", "5"}, false, m_tNow);
    ASSERT_TRUE(r) << r.Problem();
    EXPECT_EQ(r->jChanges, (json{{"endKind", 1}, {"endAfterCount", 5}}));
    EXPECT_FALSE(r->bMessage);
}

TEST_F(ScheduleOptionsTest, ProblemsOfTheTaskCheckNameTheirOption) {
    EXPECT_EQ(CScheduleOptions::InOptionWords("taskName: The task name already exists, please change it."),
              "--name: The task name already exists, please change it.");
    EXPECT_EQ(CScheduleOptions::InOptionWords("end.day: 31 is not a day of April 2027, which has 30"),
              "--end-date: 31 is not a day of April 2027, which has 30");
    EXPECT_EQ(CScheduleOptions::InOptionWords("weekDays[3]: must be 0 or 1, not 2"), "--days: must be 0 or 1, not 2");
    EXPECT_EQ(CScheduleOptions::InOptionWords("there is no task 9 (the list has 2)"),
              "there is no task 9 (the list has 2)");
}

// --start's words, at Monday 2026-12-07 17:00:30 in Berlin: the first
// such day whose time is still ahead. A typed date and time is read by the
// one reader of them (its rules are rows of TaskTimeTest).
TEST_F(ScheduleOptionsTest, StartWordsNameTheNextSuchTime) {
    const struct {
        const char* pszTyped;
        const char* pszExpected;  // "" when refused
    } arrCases[] = {
        {"17:30", "2026-12-07 17:30"},
        {"07:30", "2026-12-08 07:30"},
        {"17:00", "2026-12-08 17:00"},  // this minute has begun
        {"today 18:00", "2026-12-07 18:00"},
        {"today 07:30", "2026-12-07 07:30"},  // refused later, as any past start
        {"tomorrow 07:30", "2026-12-08 07:30"},
        {"mon 07:30", "2026-12-14 07:30"},
        {"Monday 18:00", "2026-12-07 18:00"},
        {"SUN 23:59", "2026-12-13 23:59"},
        {"thu 08:00", "2026-12-10 08:00"},
        {"24:00", ""},
        {"someday 07:30", ""},
        {"mo 07:30", ""},
        {"10000-01-01 10:00", ""},
    };
    for (const auto& c : arrCases) {
        SCOPED_TRACE(c.pszTyped);
        const auto r = CScheduleOptions::ParseStart(c.pszTyped, m_tNow);
        EXPECT_EQ(r ? TaskTime::Format(*r) : "", c.pszExpected) << r.Problem();
    }
}
