// quillory ics: read back by a calendar library, every event holds the times `next` prints.
#include <algorithm>
#include <ctime>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libical/ical.h>

#include "CSchedule.h"
#include "CTaskListFile.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "ResultValue.h"
#include "ShellRun.h"
#include "TaskAt.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

using Strings = std::vector<std::string>;

// Output and exit status of the tool run through the shell.
std::pair<int, std::string> RunTool(const std::string& strArgs) {
    const CShellRun r = RunShell(ShellQuoted(QUILLORY_CLI) + " " + strArgs + " 2>/dev/null", "/dev/null");
    return {r.nExit, r.strOut};
}

std::string Minute(time_t t) {
    char sz[32];
    struct tm tmLocal {};
    localtime_r(&t, &tmLocal);
    std::strftime(sz, sizeof sz, "%Y-%m-%d %H:%M", &tmLocal);
    return sz;
}

struct CCase {
    const char* pszName;
    const char* pszForm;  // the form that says it exactly; "" where either may
    std::function<void(CTaskItem&)> fnSet;
};

CTaskItem Make(const CCase& c, time_t tNow) {
    CTaskItem task;
    task.m_bActive = 1;
    task.m_strTaskName = c.pszName;
    task.m_strTemplateFile = "/nowhere/" + std::string(c.pszName) + ".eml";
    task.m_nEndKind = CodeOf(EEndKind::NoEnd);
    task.m_dtStart = At(2026, 12, 8, 9, 0);
    for (int32_t& b : task.m_bWeekDays) b = 0;
    task.m_nMinuteInterval = task.m_nDailyInterval = task.m_nWeeklyInterval = 1;
    task.m_nMonthlyInterval = task.m_nMonthlyInterval2 = 1;
    c.fnSet(task);
    CFixedClock clock(tNow);
    EXPECT_TRUE(CSchedule(clock).CalcNextSending(task).Ok());  // as the options sheet schedules a new task
    return task;
}

// Every recurrence type, mode and end kind, with times the clock changes touch.
const std::vector<CCase>& Cases() {
    using R = ERecurrence;
    auto type = [](CTaskItem& t, R r) { t.m_nRecurrence = CodeOf(r); };
    // One row a case.
    // clang-format off
    static const std::vector<CCase> s_vec = {
        {"once", "", [=](CTaskItem& t) { type(t, R::Once); }},
        {"every 90 minutes, 40 times", "", [=](CTaskItem& t) { type(t, R::Minutely); t.m_nMinuteInterval = 90; t.m_nEndKind = CodeOf(EEndKind::AfterCount); t.m_nEndAfterCount = 40; }},
        {"every day at 02:30", "", [=](CTaskItem& t) { type(t, R::Daily); t.m_dtStart.nHour = 2; t.m_dtStart.nMinute = 30; }},
        {"every 2 days at 02:30", "", [=](CTaskItem& t) { type(t, R::Daily); t.m_nDailyInterval = 2; t.m_dtStart.nHour = 2; t.m_dtStart.nMinute = 30; }},
        {"every 3 days until June", "RRULE", [=](CTaskItem& t) { type(t, R::Daily); t.m_nDailyInterval = 3; t.m_nEndKind = CodeOf(EEndKind::EndDate); t.m_dtEnd = {2027, 6, 30, 4}; }},
        {"every weekday", "", [=](CTaskItem& t) { type(t, R::Daily); t.m_nDailyMode = CodeOf(EDailyMode::EveryDayOfKind); t.m_nDailyDayKind = CodeOf(EDayKind::Weekday); }},
        {"every odd day", "", [=](CTaskItem& t) { type(t, R::Daily); t.m_nDailyMode = CodeOf(EDailyMode::EveryDayOfKind); t.m_nDailyDayKind = CodeOf(EDayKind::OddDay); }},
        {"every 2 weeks on Monday and Thursday", "RRULE", [=](CTaskItem& t) { type(t, R::Weekly); t.m_nWeeklyInterval = 2; t.m_bWeekDays[1] = t.m_bWeekDays[4] = 1; }},
        {"third week on Tuesday", "RRULE", [=](CTaskItem& t) { type(t, R::Weekly); t.m_nWeeklyMode = CodeOf(EWeeklyMode::WeekOfMonth); t.m_nWeeklyWeekOfMonth = CodeOf(EWeekOfMonth::Third); t.m_bWeekDays[2] = 1; }},
        {"second week on Sunday and Saturday", "RDATE", [=](CTaskItem& t) { type(t, R::Weekly); t.m_nWeeklyMode = CodeOf(EWeeklyMode::WeekOfMonth); t.m_nWeeklyWeekOfMonth = CodeOf(EWeekOfMonth::Second); t.m_bWeekDays[0] = t.m_bWeekDays[6] = 1; }},
        {"day 15 of every month", "", [=](CTaskItem& t) { type(t, R::Monthly); t.m_nMonthlyDay = 15; }},
        // A month without day 31 runs on into the next, which no rule says.
        {"day 31 of every month", "RDATE", [=](CTaskItem& t) { type(t, R::Monthly); t.m_nMonthlyDay = 31; }},
        {"last weekday of every month", "RRULE", [=](CTaskItem& t) { type(t, R::Monthly); t.m_nMonthlyMode = CodeOf(EMonthlyMode::OrdinalDay); t.m_nMonthlyOrdinal = CodeOf(EOrdinal::Last); t.m_nMonthlyDayKind = CodeOf(EDayKind::Weekday); }},
        {"first Monday of every 2 months, 4 times", "RRULE", [=](CTaskItem& t) { type(t, R::Monthly); t.m_nMonthlyMode = CodeOf(EMonthlyMode::OrdinalDay); t.m_nMonthlyOrdinal = CodeOf(EOrdinal::First); t.m_nMonthlyDayKind = CodeOf(EDayKind::Monday); t.m_nMonthlyInterval2 = 2; t.m_nEndKind = CodeOf(EEndKind::AfterCount); t.m_nEndAfterCount = 4; }},
        {"5 March", "", [=](CTaskItem& t) { type(t, R::Yearly); t.m_nYearlyMonth = 2; t.m_nYearlyDay = 5; }},
        {"29 February", "", [=](CTaskItem& t) { type(t, R::Yearly); t.m_nYearlyMonth = 1; t.m_nYearlyDay = 29; }},
        {"last Saturday of October", "", [=](CTaskItem& t) { type(t, R::Yearly); t.m_nYearlyMode = CodeOf(EYearlyMode::OrdinalDay); t.m_nYearlyOrdinal = CodeOf(EOrdinal::Last); t.m_nYearlyDayKind = CodeOf(EDayKind::Saturday); t.m_nYearlyMonth2 = 9; }},
        {"inactive", "", [=](CTaskItem& t) { type(t, R::Daily); t.m_bActive = 0; }},
    };
    // clang-format on
    return s_vec;
}

struct CEvent {
    std::string strForm;
    Strings vecTimes;
};

// Every event of the calendar by its summary, with its instants in
// [tFrom, tTo) as a calendar program reads them: DTSTART, the RRULE's
// expansion and every RDATE, each in the zone of its TZID (from the
// calendar's own VTIMEZONEs; UTC for a time written with Z).
std::map<std::string, CEvent> Parse(const std::string& strCalendar, time_t tFrom, time_t tTo) {
    std::map<std::string, CEvent> events;
    icalcomponent* pCalendar = icalparser_parse_string(strCalendar.c_str());
    EXPECT_NE(pCalendar, nullptr);
    if (!pCalendar) return events;
    std::map<std::string, icaltimezone*> mapZones;
    for (icalcomponent* p = icalcomponent_get_first_component(pCalendar, ICAL_VTIMEZONE_COMPONENT); p;
         p = icalcomponent_get_next_component(pCalendar, ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* pId = icalcomponent_get_first_property(p, ICAL_TZID_PROPERTY);
        if (!pId) continue;
        icaltimezone* pZone = icaltimezone_new();
        icaltimezone_set_component(pZone, icalcomponent_new_clone(p));
        mapZones[icalproperty_get_tzid(pId)] = pZone;
    }
    auto zoneOf = [&](icalproperty* pProperty) {
        icalparameter* pTzid = icalproperty_get_first_parameter(pProperty, ICAL_TZID_PARAMETER);
        if (!pTzid) return icaltimezone_get_utc_timezone();
        auto it = mapZones.find(icalparameter_get_tzid(pTzid));
        if (it != mapZones.end()) return it->second;
        ADD_FAILURE() << "TZID " << icalparameter_get_tzid(pTzid) << " has no VTIMEZONE";
        return icaltimezone_get_utc_timezone();
    };
    for (icalcomponent* p = icalcomponent_get_first_component(pCalendar, ICAL_VEVENT_COMPONENT); p;
         p = icalcomponent_get_next_component(pCalendar, ICAL_VEVENT_COMPONENT)) {
        CEvent& event = events[icalcomponent_get_summary(p)];
        std::vector<time_t> vecTimes;
        for (icalproperty* x = icalcomponent_get_first_property(p, ICAL_X_PROPERTY); x;
             x = icalcomponent_get_next_property(p, ICAL_X_PROPERTY))
            if (std::string(icalproperty_get_x_name(x)) == "X-QUILLORY-FORM") event.strForm = icalproperty_get_x(x);
        icalproperty* pStart = icalcomponent_get_first_property(p, ICAL_DTSTART_PROPERTY);
        EXPECT_NE(pStart, nullptr);
        if (!pStart) continue;
        icaltimezone* pZone = zoneOf(pStart);
        const icaltimetype dtStart = icalproperty_get_dtstart(pStart);
        vecTimes.push_back(icaltime_as_timet_with_zone(dtStart, pZone));
        if (icalproperty* pRule = icalcomponent_get_first_property(p, ICAL_RRULE_PROPERTY)) {
            icalrecur_iterator* pIt = icalrecur_iterator_new(icalproperty_get_rrule(pRule), dtStart);
            icalrecur_iterator_next(pIt);  // DTSTART itself
            for (icaltimetype t = icalrecur_iterator_next(pIt); !icaltime_is_null_time(t);
                 t = icalrecur_iterator_next(pIt)) {
                const time_t tAt = icaltime_as_timet_with_zone(t, pZone);
                if (tAt >= tTo) break;
                vecTimes.push_back(tAt);
            }
            icalrecur_iterator_free(pIt);
        }
        for (icalproperty* pDate = icalcomponent_get_first_property(p, ICAL_RDATE_PROPERTY); pDate;
             pDate = icalcomponent_get_next_property(p, ICAL_RDATE_PROPERTY))
            vecTimes.push_back(icaltime_as_timet_with_zone(icalproperty_get_rdate(pDate).time, zoneOf(pDate)));
        std::sort(vecTimes.begin(), vecTimes.end());
        for (time_t t : vecTimes)
            if (t >= tFrom && t < tTo) event.vecTimes.push_back(Minute(t));
    }
    for (auto& [str, p] : mapZones) icaltimezone_free(p, 1);
    icalcomponent_free(pCalendar);
    return events;
}

}  // namespace

class CalendarTest : public ::testing::TestWithParam<const char*> {
protected:
    CZoneGuard m_zone{GetParam()};
    CTempDir m_tmp;
};

// Every instant is the one the scheduler sends; a rule is written where it
// says the schedule exactly: days are days on the clock, so a daily or
// weekly rule in the local zone says it across its changes of offset too.
// (A time in an hour the clocks skip is written as instants: the calendar
// library places it elsewhere than the scheduler sends it.) Named tasks
// only, when names are given; an unknown name is an error.
TEST_P(CalendarTest, EveryInstantIsTheOneTheSchedulerSendsInTheFormThatSaysItExactly) {
    const time_t tNow = ValueOf(TaskTime::ToAbsolute(2026, 12, 7, 12, 0));
    const time_t tHorizon = ValueOf(TaskTime::ToAbsolute(2028, 12, 7, 12, 0));
    CTaskList list;
    for (const CCase& c : Cases()) list.Add(Make(c, tNow));
    ASSERT_TRUE(CTaskListFile::SaveTaskList(m_tmp / "emails.dat", list, CTextCodec::Open("UTF-8").Value()).Ok());
    const std::string strArgs = " --file " + ShellQuoted(m_tmp / "emails.dat") + " --codepage UTF-8";
    const std::string strNow = " --now '2026-12-07 12:00'";
    // The tool inherits the zone guard's TZ.
    auto [nExit, strCalendar] = RunTool("ics" + strNow + strArgs);
    ASSERT_EQ(nExit, 0);
    const auto events = Parse(strCalendar, tNow - 86400, tHorizon);
    // With each active task's found below, none for the inactive one.
    EXPECT_EQ(events.size(), Cases().size() - 1) << "one event per active task";

    for (int i = 0; i < list.GetSize(); ++i) {
        const CCase& c = Cases()[static_cast<size_t>(i)];
        if (!list[i].m_bActive) continue;
        SCOPED_TRACE(c.pszName);
        auto [nNextExit, strNext] = RunTool("next " + std::to_string(i + 1) + " --count 500" + strArgs);
        ASSERT_EQ(nNextExit, 0);
        Strings vecWant;
        std::istringstream in(strNext);
        for (std::string strLine; std::getline(in, strLine) && strLine != "Completed";)
            if (strLine < Minute(tHorizon)) vecWant.push_back(strLine);
        EXPECT_FALSE(vecWant.empty());
        auto it = events.find(c.pszName);
        ASSERT_NE(it, events.end());
        if (*c.pszForm) EXPECT_EQ(it->second.strForm, c.pszForm);
        else EXPECT_TRUE(it->second.strForm == "RRULE" || it->second.strForm == "RDATE") << it->second.strForm;
        EXPECT_EQ(it->second.vecTimes, vecWant);
    }

    auto [nNamedExit, strNamed] = RunTool("ics 6 '5 March'" + strNow + strArgs);
    ASSERT_EQ(nNamedExit, 0);
    const auto named = Parse(strNamed, tNow, tNow + 800 * 86400);
    EXPECT_EQ(named.size(), 2u);
    EXPECT_EQ(named.count("every weekday"), 1u);
    EXPECT_EQ(named.count("5 March"), 1u);
    EXPECT_EQ(RunTool("ics 'no such task'" + strNow + strArgs).first, 2);
    EXPECT_EQ(RunTool("ics 99" + strNow + strArgs).first, 2);
    EXPECT_EQ(RunTool("ics --count 3" + strNow + strArgs).first, 1);
}

INSTANTIATE_TEST_SUITE_P(Zones, CalendarTest,
                         ::testing::Values("UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe",
                                           "Australia/Sydney", "America/Santiago", "Asia/Kathmandu"),
                         [](const auto& info) { return ZoneTestName(info.param); });
