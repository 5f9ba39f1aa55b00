// A task's rules as they are kept and sent: JSON texts written out here,
// read to the rules they mean and back to the same text; every faulty key
// named; the Schedule column's words.
#include <gtest/gtest.h>

#include "CTaskRulesJson.h"

namespace {

using json = nlohmann::json;
using ERules = CTaskRules;

TEST(TaskRulesTest, EachRuleIsReadFromItsKeyAndWrittenBackTheSame) {
    using EOnDayOff = ERules::EOnDayOff;
    using ENothing = ERules::ENothingAttached;
    const CTaskRules paused{.eMissed = ERules::EMissed::Latest, .pauseUntil = {2027, 1, 11, 2}, .bSkipNext = true};
    const struct {
        const char* pszJson;
        CTaskRules rules;
        const char* pszSummary;
    } rows[] = {
        {"{}", {}, ""},
        {R"({"onHoliday":"before","workingDays":"sun-thu"})",
         {.nWorkingDays = 0b00111110, .eOnDayOff = EOnDayOff::Before},  // Sunday .. Thursday
         "Working days, before a holiday"},
        {R"({"ifNothingAttached":"wait","waitDeadlineMinutes":120,"waitMinutes":10})",
         {.eNothingAttached = ENothing::Wait, .nWaitMinutes = 10, .nWaitDeadlineMinutes = 120},
         "Waits for its attachments"},
        {R"({"ifNothingAttached":"wait","waitDeadlineMinutes":120,"waitMinutes":10,"waitThen":"send"})",
         {.eNothingAttached = ENothing::Wait,
          .nWaitMinutes = 10,
          .nWaitDeadlineMinutes = 120,
          .eWaitThen = ENothing::Send},
         "Waits for its attachments, then sends without"},
        {R"({"missed":"latest","pauseUntil":"2027-01-11","skipNext":true})", paused,
         "Only the latest missed; paused until 2027-01-11; skips the next"},
        {R"({"holidays":["/home/u/a.ics","/home/u/b.ics"],"onHoliday":"skip","zone":"America/New_York"})",
         {.vecHolidayFiles = {"/home/u/a.ics", "/home/u/b.ics"},
          .eOnDayOff = EOnDayOff::Skip,
          .strZone = "America/New_York"},
         "Working days, skipping holidays; in America/New_York"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszJson);
        const auto rRules = CTaskRulesJson::FromJson(json::parse(row.pszJson));
        ASSERT_TRUE(rRules) << rRules.Problem();
        EXPECT_EQ(*rRules, row.rules);
        EXPECT_EQ(CTaskRulesJson::ToJson(row.rules).dump(), row.pszJson);
        EXPECT_EQ(row.rules.Summary(), row.pszSummary);
        EXPECT_EQ(row.rules.IsEmpty(), std::string(row.pszJson) == "{}");
    }
    // Keys not named keep what the task had; null ends a pause.
    const auto rChanged = CTaskRulesJson::FromJson(json::parse(R"({"pauseUntil":null,"missed":"each"})"), paused);
    ASSERT_TRUE(rChanged) << rChanged.Problem();
    EXPECT_FALSE(rChanged->pauseUntil.IsSet());
    EXPECT_TRUE(rChanged->bSkipNext);
    EXPECT_EQ(rChanged->eMissed, ERules::EMissed::Each);
}

TEST(TaskRulesTest, EveryFaultyKeyIsNamedAndNothingIsTaken) {
    const struct {
        const char* pszJson;
        std::vector<std::string> vecProblems;
    } rows[] = {
        {R"([])", {"rules: must be an object"}},
        {R"({"workdays":"mon-fri"})", {"rules.workdays: is not a rule"}},
        {R"({"workingDays":"mon-funday"})",
         {"rules.workingDays: \"funday\" is not a day of the week (mon, tue, ... sun)"}},
        {R"({"holidays":["relative.ics"]})", {"rules.holidays: must be a list of absolute paths of .ics files"}},
        {R"({"holidays":"/a.ics"})", {"rules.holidays: must be a list of absolute paths of .ics files"}},
        {R"({"onHoliday":"later"})", {"rules.onHoliday: must be send, before, after or skip"}},
        {R"({"zone":"../../etc/passwd"})", {"rules.zone: must be a zone's name such as \"America/New_York\""}},
        {R"({"zone":"/etc/localtime"})", {"rules.zone: must be a zone's name such as \"America/New_York\""}},
        {R"({"ifNothingAttached":"wait"})",
         {"rules.ifNothingAttached: wait needs waitMinutes and waitDeadlineMinutes"}},
        {R"({"ifNothingAttached":"wait","waitMinutes":30,"waitDeadlineMinutes":10})",
         {"rules.waitDeadlineMinutes: must be at least waitMinutes"}},
        {R"({"ifNothingAttached":"wait","waitMinutes":0,"waitDeadlineMinutes":10081})",
         {"rules.waitMinutes: must be minutes from 1 to 10080",
          "rules.waitDeadlineMinutes: must be minutes from 1 to 10080",
          "rules.ifNothingAttached: wait needs waitMinutes and waitDeadlineMinutes"}},
        {R"({"ifNothingAttached":"wait","waitMinutes":5,"waitDeadlineMinutes":10,"waitThen":"wait"})",
         {"rules.waitThen: must be send or skip"}},
        {R"({"ifNothingAttached":"send","waitMinutes":15,"waitThen":"skip"})",
         {"rules.waitMinutes: goes only with ifNothingAttached wait",
          "rules.waitThen: goes only with ifNothingAttached wait"}},
        {R"({"missed":"all"})", {"rules.missed: must be each, latest or none"}},
        {R"({"pauseUntil":"2027-02-30"})", {"rules.pauseUntil: day 30 is not in month 2 of 2027"}},
        {R"({"skipNext":"yes","missed":1})",
         {"rules.missed: must be each, latest or none", "rules.skipNext: must be true or false"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszJson);
        const auto r = CTaskRulesJson::FromJson(json::parse(row.pszJson));
        ASSERT_FALSE(r);
        EXPECT_EQ(r.ProblemLines(), row.vecProblems);
    }
    for (const char* psz : {"UTC", "America/Argentina/Buenos_Aires", "Etc/GMT+5"})
        EXPECT_TRUE(CTaskRulesJson::IsZoneName(psz)) << psz;
    for (const char* psz : {"", "America/", "a//b", "Europe/Ber lin", "a\nb"})
        EXPECT_FALSE(CTaskRulesJson::IsZoneName(psz)) << psz;
}

}  // namespace
