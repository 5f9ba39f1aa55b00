// `quillory next` against the reference worked out from the rules alone: random tasks of every
// kind of schedule, with random rules (working days, a real holiday calendar, a zone of their
// own, a pause, "skip the next"), in several machine zones. Every printed line is the reference's.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CSeededRandom.h"
#include "CTempDir.h"
#include "ReferenceOccurrences.h"
#include "ReferenceRules.h"
#include "ShellRun.h"
#include "ZoneGuard.h"

namespace {

using RefSchedule::CDate;
using RefSchedule::DateOf;
using RefSchedule::DayNumber;
using RefSchedule::InZone;
using RefSchedule::WallText;

// The tool's present, a week or more before the spring changes of both
// hemispheres' clocks, read in the machine's zone.
constexpr const char* kNextNow = "2027-03-05 10:00";
constexpr int kNextCount = 8;

const char* const kNextTaskZones[] = {"America/New_York", "Europe/Berlin", "Australia/Sydney",
                                      "Asia/Kolkata",     "Pacific/Apia",  "UTC"};
const char* const kNextDayNames[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
const char* const kNextKinds[] = {"day",    "weekday", "weekend-day", "even-day", "odd-day", "sunday",
                                  "monday", "tuesday", "wednesday",   "thursday", "friday",  "saturday"};
const char* const kNextOrdinals[] = {"first", "second", "third", "fourth", "last"};
const char* const kNextMonths[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }
std::string DateText(int64_t nDay) {
    const CDate d = DateOf(nDay);
    return std::to_string(d.y) + "-" + TwoDigits(d.m) + "-" + TwoDigits(d.d);
}
std::string IcsDate(int64_t nDay) {
    const CDate d = DateOf(nDay);
    return std::to_string(d.y) + TwoDigits(d.m) + TwoDigits(d.d);
}

// A calendar of holidays over the years the tasks run through, and the
// days it names, worked out here from what was written.
struct CNextHolidays {
    std::string strIcs;
    std::set<int64_t> setDays;
    std::vector<std::pair<int, int>> vecYearly;  // month and day of the yearly ones
};

CNextHolidays DrawHolidays(CSeededRandom& gen, int64_t nToday) {
    CNextHolidays h;
    h.strIcs = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//next reference//EN\r\n";
    int nUid = 0;
    auto event = [&](int64_t nFirst, int nDays, bool bYearly) {
        h.strIcs +=
            "BEGIN:VEVENT\r\nUID:" + std::to_string(++nUid) + "@next\r\nDTSTART;VALUE=DATE:" + IcsDate(nFirst) + "\r\n";
        if (nDays > 1) h.strIcs += "DTEND;VALUE=DATE:" + IcsDate(nFirst + nDays) + "\r\n";
        if (bYearly) h.strIcs += "RRULE:FREQ=YEARLY\r\n";
        h.strIcs += "SUMMARY:Day off\r\nEND:VEVENT\r\n";
    };
    // Single days and a few stretches of days in the coming year and a half.
    for (int64_t d = nToday - 20; d < nToday + 550; ++d) {
        if (!gen.Chance(9)) continue;
        const int nDays = gen.Chance(15) ? gen.Int(2, 4) : 1;
        event(d, nDays, false);
        for (int i = 0; i < nDays; ++i) h.setDays.insert(d + i);
    }
    // Yearly ones, begun years ago, on days every month has.
    for (int i = 0; i < 6; ++i) {
        const int m = gen.Int(1, 12), day = gen.Int(1, 28);
        event(DayNumber(2019, m, day), 1, true);
        h.vecYearly.emplace_back(m, day);
        for (int y = 2019; y < 2100; ++y) h.setDays.insert(DayNumber(y, m, day));
    }
    h.strIcs += "END:VCALENDAR\r\n";
    return h;
}

// One random task: the tool's arguments, and the same task and rules as
// the reference reads them.
struct CNextCase {
    std::vector<std::string> vecArgs;
    CTaskItem task;  // the rule's fields, in the task's zone
    RefSchedule::CRules rules;
    std::string strZone;
    std::string strWords;  // the arguments in one line, for a failure
};

CNextCase DrawCase(CSeededRandom& gen, int nIndex, const std::string& strMachine, const std::string& strHolidays,
                   const CNextHolidays& holidays, time_t tNow) {
    CNextCase c;
    CTaskItem& t = c.task;
    std::vector<std::string>& a = c.vecArgs;
    a = {"add", "--to", "rita@example.org", "--body", "Hello", "--subject", "task " + std::to_string(nIndex)};
    if (gen.Chance(55)) {
        c.strZone = kNextTaskZones[gen.Int(0, static_cast<int>(std::size(kNextTaskZones)) - 1)];
        if (c.strZone == strMachine) c.strZone.clear();
    }
    if (!c.strZone.empty()) a.insert(a.end(), {"--zone", c.strZone});
    // The start: a day to come in the task's zone, often at an hour that
    // the clocks of one place or the other skip or repeat.
    const int64_t nStartDay = InZone(c.strZone, [&] { return RefSchedule::LocalDay(tNow); }) + gen.Int(1, 45);
    const CDate s = DateOf(nStartDay);
    const int h =
        gen.Chance(40) ? std::vector<int>{0, 1, 2, 3, 23}[static_cast<size_t>(gen.Int(0, 4))] : gen.Int(0, 23);
    const int mi = gen.Int(0, 3) * 15 + (gen.Chance(30) ? gen.Int(1, 14) : 0);
    t.m_dtStart = TaskDateTime{s.y, s.m, s.d, RefSchedule::Weekday(nStartDay), h, mi, 0};
    a.insert(a.end(), {"--start", DateText(nStartDay) + " " + TwoDigits(h) + ":" + TwoDigits(mi)});
    bool bOnYearlyHoliday = false, bNeverOnWorkingDay = false;
    const int nPick = gen.Int(1, 100);
    t.m_nRecurrence = nPick <= 8 ? 0 : nPick <= 33 ? 2 : nPick <= 56 ? 3 : nPick <= 80 ? 4 : 5;
    switch (t.m_nRecurrence) {
        case 0: a.push_back("--once"); break;
        case 2:
            t.m_nDailyMode = gen.Chance(60) ? 0 : 1;
            t.m_nDailyInterval = gen.Int(1, 4);
            t.m_nDailyDayKind = gen.Int(0, 4);
            if (t.m_nDailyMode == 0) a.insert(a.end(), {"--daily", "--interval", std::to_string(t.m_nDailyInterval)});
            else a.insert(a.end(), {"--daily", "--kind", kNextKinds[t.m_nDailyDayKind]});
            break;
        case 3: {
            t.m_nWeeklyMode = gen.Chance(70) ? 0 : 1;
            t.m_nWeeklyInterval = gen.Int(1, 3);
            t.m_nWeeklyWeekOfMonth = gen.Int(0, 2);
            std::string strDays;
            for (int w = 0; w < 7; ++w) t.m_bWeekDays[w] = gen.Chance(30) ? 1 : 0;
            t.m_bWeekDays[gen.Int(0, 6)] = 1;
            // Now and then none on a working day, skipped: never sent at all,
            // which a sparse one shows only after centuries of looking.
            bNeverOnWorkingDay = gen.Chance(20);
            if (bNeverOnWorkingDay) {
                t.m_nWeeklyMode = 1;
                for (int w = 0; w < 7; ++w) t.m_bWeekDays[w] = w >= 2 && w <= 4 ? 1 : 0;  // tue-thu
            }
            for (int w = 0; w < 7; ++w)
                if (t.m_bWeekDays[w]) strDays += std::string(strDays.empty() ? "" : ",") + kNextDayNames[w];
            a.insert(a.end(), {"--weekly", "--days", strDays});
            if (t.m_nWeeklyMode == 0) a.insert(a.end(), {"--interval", std::to_string(t.m_nWeeklyInterval)});
            else a.insert(a.end(), {"--week-of-month", std::to_string(t.m_nWeeklyWeekOfMonth + 2)});
            break;
        }
        case 4:
            t.m_nMonthlyMode = gen.Chance(60) ? 0 : 1;
            t.m_nMonthlyDay = gen.Chance(75) ? gen.Int(1, 28) : gen.Int(29, 31);
            t.m_nMonthlyInterval = t.m_nMonthlyInterval2 = gen.Int(1, 3);
            t.m_nMonthlyOrdinal = gen.Int(0, 4);
            t.m_nMonthlyDayKind = gen.Int(0, 11);
            a.insert(a.end(), {"--monthly", "--interval", std::to_string(t.m_nMonthlyInterval)});
            if (t.m_nMonthlyMode == 0) a.insert(a.end(), {"--day", std::to_string(t.m_nMonthlyDay)});
            else
                a.insert(a.end(),
                         {"--ordinal", kNextOrdinals[t.m_nMonthlyOrdinal], "--kind", kNextKinds[t.m_nMonthlyDayKind]});
            break;
        default:
            t.m_nYearlyMode = gen.Chance(60) ? 0 : 1;
            t.m_nYearlyMonth = t.m_nYearlyMonth2 = gen.Chance(60) ? (s.m - 1 + gen.Int(0, 2)) % 12 : gen.Int(0, 11);
            t.m_nYearlyDay = gen.Int(1, RefSchedule::DaysIn(2001, t.m_nYearlyMonth + 1));
            // Often on a yearly holiday, which must hold in every year shown.
            if (gen.Chance(40)) {
                bOnYearlyHoliday = true;
                const auto [m, d] = holidays.vecYearly[static_cast<size_t>(gen.Int(0, 5))];
                t.m_nYearlyMode = 0;
                t.m_nYearlyMonth = t.m_nYearlyMonth2 = m - 1;
                t.m_nYearlyDay = d;
            }
            t.m_nYearlyOrdinal = gen.Int(0, 4);
            t.m_nYearlyDayKind = gen.Int(0, 11);
            a.insert(a.end(), {"--yearly", "--month", kNextMonths[t.m_nYearlyMonth]});
            if (t.m_nYearlyMode == 0) a.insert(a.end(), {"--day", std::to_string(t.m_nYearlyDay)});
            else
                a.insert(a.end(),
                         {"--ordinal", kNextOrdinals[t.m_nYearlyOrdinal], "--kind", kNextKinds[t.m_nYearlyDayKind]});
            break;
    }
    // One on a yearly holiday runs on for the years its holiday must hold in.
    const int nEnd = t.m_nRecurrence == 0 || bOnYearlyHoliday ? 0 : gen.Int(0, 2);
    t.m_nEndKind = nEnd;
    t.m_nEndAfterCount = gen.Int(1, 6);
    const int64_t nEndDay = nStartDay + gen.Int(0, 200);
    const CDate e = DateOf(nEndDay);
    t.m_dtEnd = TaskDate{e.y, e.m, e.d, RefSchedule::Weekday(nEndDay)};
    if (nEnd == 1) a.insert(a.end(), {"--end-after", std::to_string(t.m_nEndAfterCount)});
    if (nEnd == 2) a.insert(a.end(), {"--end-date", DateText(nEndDay)});

    // The rules, by the words the tool takes and the days they stand for.
    struct CWeekdays {
        const char* pszWords;
        uint8_t nMask;  // bit 1 << weekday, 1 = Sunday
    };
    static const CWeekdays kWeekdays[] = {
        {"mon-fri", 0b01111100}, {"sun-thu", 0b00111110}, {"mon,wed,fri", 0b01010100},
        {"fri-mon", 0b11000110}, {"tue-sat", 0b11111000}, {"sat,sun", 0b10000010},
    };
    // A task on a yearly holiday keeps it and moves off it: skipped every
    // year it would never be sent, and the tool would look thousands of
    // years ahead, beyond what the reference works out.
    if (bOnYearlyHoliday || bNeverOnWorkingDay || gen.Chance(80)) {
        if (bNeverOnWorkingDay || gen.Chance(75)) {
            const CWeekdays& w =
                kWeekdays[bNeverOnWorkingDay ? 3 : gen.Int(0, static_cast<int>(std::size(kWeekdays)) - 1)];
            c.rules.nWeekdays = w.nMask;
            a.insert(a.end(), {"--working-days", w.pszWords});
        }
        if (bOnYearlyHoliday || gen.Chance(70)) {
            c.rules.pHolidays = &holidays.setDays;
            a.insert(a.end(), {"--holidays", strHolidays});
        }
        c.rules.nOnDayOff = bNeverOnWorkingDay ? 3 : bOnYearlyHoliday ? gen.Int(1, 2) : gen.Int(0, 3);
        a.insert(a.end(), {"--on-holiday", std::vector<std::string>{"send", "before", "after",
                                                                    "skip"}[static_cast<size_t>(c.rules.nOnDayOff)]});
    }
    if (gen.Chance(20)) {
        c.rules.nPauseDay = nStartDay + gen.Int(-3, 60);
        a.insert(a.end(), {"--pause-until", DateText(*c.rules.nPauseDay)});
    }
    if (gen.Chance(25)) {
        c.rules.bSkipNext = true;
        a.push_back("--skip-next");
    }
    for (const std::string& str : a) c.strWords += (str.find(' ') == std::string::npos ? str : "\"" + str + "\"") + " ";
    return c;
}

// The lines `next --count kNextCount` must print for a task added at tNow.
std::vector<std::string> ExpectedLines(const CNextCase& c, time_t tNow) {
    const CTaskItem& t = c.task;
    const TaskDateTime& s = t.m_dtStart;
    // Yearly tasks reach furthest: kNextCount years and many more for rules
    // that skip most years.
    const time_t tHorizon = tNow + 60LL * 366 * 86400;
    RefSchedule::CRuledOccurrences ref(RefSchedule::CReference::All(t, tHorizon, c.strZone), c.rules,
                                       DayNumber(s.nYear, s.nMonth, s.nDay), s.nHour, s.nMinute, false, c.strZone);
    const time_t tEndOfDay = InZone(c.strZone, [&] {
        return RefSchedule::Instant(DayNumber(t.m_dtEnd.nYear, t.m_dtEnd.nMonth, t.m_dtEnd.nDay), 23, 59) + 58;
    });
    const auto& vec = ref.Occurrences();
    // The start lies ahead, so nothing is passed over but what a move puts
    // before the present.
    size_t k = 0;
    while (k < vec.size() && !ref.IsDayOffSkip(k) && ref.Stored(k) < tNow) ++k;
    std::vector<std::string> vecLines;
    bool bSkipNext = c.rules.bSkipNext;
    int nSent = 0;
    for (; k < vec.size() && static_cast<int>(vecLines.size()) < kNextCount; ++k) {
        if (t.m_nEndKind == 1 && nSent >= t.m_nEndAfterCount) break;
        if (t.m_nEndKind == 2 && vec[k].tWall > tEndOfDay) break;
        const time_t tStored = ref.Stored(k);
        if (ref.Verdict(k, tStored, false, std::nullopt) != RefSchedule::ERefVerdict::Send &&
            ref.Verdict(k, tStored, false, std::nullopt) != RefSchedule::ERefVerdict::SkipNext)
            continue;  // paused, or on a day off with nowhere to go
        if (bSkipNext) {
            bSkipNext = false;
            continue;
        }
        ++nSent;
        std::string strLine = WallText(tStored);
        if (!c.strZone.empty()) {
            const std::string strZoned = InZone(c.strZone, [&] { return WallText(tStored); });
            strLine += " (" + (strZoned.compare(0, 10, strLine, 0, 10) == 0 ? strZoned.substr(11) : strZoned) + " " +
                       c.strZone + ")";
        }
        vecLines.push_back(strLine);
        if (t.m_nRecurrence == 0) break;
    }
    if (static_cast<int>(vecLines.size()) < kNextCount) vecLines.push_back("Completed");
    return vecLines;
}

std::vector<std::string> Lines(const std::string& str) {
    std::vector<std::string> vec;
    std::istringstream in(str);
    for (std::string strLine; std::getline(in, strLine);) vec.push_back(strLine);
    return vec;
}

}  // namespace

// Machine zones on both sides of the equator, with changes at other dates
// than the tasks' zones; Lord Howe moves its clocks by half an hour.
TEST(NextAgainstReferenceTest, EveryPrintedTimeIsTheReferences) {
    const char* pszSeed = std::getenv("QUILLORY_NEXT_SEED");  // another draw, for a longer look
    const uint64_t nSeed = pszSeed && *pszSeed ? std::strtoull(pszSeed, nullptr, 10) : 20261208;
    const int nTasks = 16;
    const char* const kMachines[] = {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe"};
    for (uint64_t nMachine = 0; nMachine < std::size(kMachines); ++nMachine) {
        const char* pszMachine = kMachines[nMachine];
        const CZoneGuard zone(pszMachine);
        CSeededRandom gen(nSeed + nMachine);  // other tasks in each zone
        CTempDir dir;
        std::filesystem::create_directories(dir / "run");
        const std::string strFile = dir / "emails.dat";
        const std::string strHolidays = dir / "holidays.ics";
        const time_t tNow = RefSchedule::Instant(DayNumber(2027, 3, 5), 10, 0) - 1;  // kNextNow
        const CNextHolidays holidays = DrawHolidays(gen, RefSchedule::LocalDay(tNow));
        CTempDir::WriteFile(strHolidays, holidays.strIcs);
        const std::string strEnv = "TZ=" + std::string(pszMachine) + " XDG_RUNTIME_DIR=" + ShellQuoted(dir / "run") +
                                   " QUILLORY_TEST_NOW=" + ShellQuoted(kNextNow) + " " + ShellQuoted(QUILLORY_CLI);
        const std::string strTail = " --file " + ShellQuoted(strFile) + " --codepage UTF-8";
        for (int i = 1; i <= nTasks && !::testing::Test::HasFailure(); ++i) {
            const CNextCase c = DrawCase(gen, i, pszMachine, strHolidays, holidays, tNow);
            const std::string strWhere = std::string("machine ") + pszMachine + ", seed " +
                                         std::to_string(nSeed + nMachine) + ", task " + std::to_string(i) +
                                         ": quillory " + c.strWords;
            const CShellRun add = RunShellIn(dir, strEnv + ShellWords(c.vecArgs) + strTail);
            ASSERT_EQ(add.nExit, 0) << strWhere << "\n" << add.strErr;
            const CShellRun next = RunShellIn(
                dir, strEnv + " next " + std::to_string(i) + " --count " + std::to_string(kNextCount) + strTail);
            ASSERT_EQ(next.nExit, 0) << strWhere << "\n" << next.strErr;
            const std::vector<std::string> vecExpected = ExpectedLines(c, tNow);
            EXPECT_EQ(Lines(next.strOut), vecExpected) << strWhere;
        }
    }
}
