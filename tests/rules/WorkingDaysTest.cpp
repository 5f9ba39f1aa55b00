// Working days and holidays, against a reference written from the rules
// with the C library's calendar: a day is a working day when its weekday is
// ticked and it is no holiday; a moved occurrence goes to the nearest
// working day in its direction and never as far as the next bound.
#include <ctime>
#include <fstream>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "CHolidayCache.h"
#include "CHolidayFile.h"
#include "CTempDir.h"
#include "CWorkingDays.h"
#include "Contains.h"
#include "TaskTime.h"

namespace {

// Day number and weekday through timegm, not through the code under test.
int64_t Day(int nYear, int nMonth, int nDay) {
    std::tm tm{.tm_mday = nDay, .tm_mon = nMonth - 1, .tm_year = nYear - 1900};
    return static_cast<int64_t>(::timegm(&tm)) / 86400;
}
int Weekday(int64_t nDay) {  // 1 = Sunday
    const time_t t = static_cast<time_t>(nDay * 86400);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    return tm.tm_wday + 1;
}

TEST(WorkingDaysTest, MovesMatchAReferenceOverRandomMasksHolidaysAndBounds) {
    std::mt19937 random(20261208);
    for (int nCase = 0; nCase < 300; ++nCase) {
        const uint8_t nMask = static_cast<uint8_t>(random() & CWorkingDays::kEveryDay);
        std::set<int64_t> setHolidays;
        const int64_t nBase = Day(2027, 1, 1) + static_cast<int64_t>(random() % 400);
        for (int i = 0; i < 8; ++i) setHolidays.insert(nBase + static_cast<int64_t>(random() % 30));
        const CWorkingDays days(nMask, setHolidays);
        auto isWorking = [&](int64_t d) { return ((nMask >> Weekday(d)) & 1) && !setHolidays.count(d); };
        for (int64_t d = nBase; d < nBase + 30; ++d) {
            SCOPED_TRACE(::testing::Message() << "mask " << int(nMask) << " day " << d);
            EXPECT_EQ(days.IsWorkingDay(d), isWorking(d));
            const int64_t nBound = static_cast<int64_t>(random() % 12);
            std::optional<int64_t> before, after;
            for (int64_t k = d - 1; k >= d - nBound && !before; --k)
                if (isWorking(k)) before = k;
            for (int64_t k = d + 1; k < d + nBound && !after; ++k)
                if (isWorking(k)) after = k;
            EXPECT_EQ(days.Before(d, d - nBound), before);
            EXPECT_EQ(days.After(d, d + nBound), after);
        }
    }
    EXPECT_EQ(TaskTime::DayNumber(2027, 12, 25), Day(2027, 12, 25));
}

TEST(WorkingDaysTest, WeekdaysAreTypedAsNamesAndRangesAndWrittenInTheShortestForm) {
    const uint8_t kSun = 1 << 1, kMon = 1 << 2, kWed = 1 << 4, kThu = 1 << 5, kFri = 1 << 6, kSat = 1 << 7;
    const struct {
        const char* pszTyped;
        uint8_t nMask;
        const char* pszWritten;
    } rows[] = {
        {"mon-fri", CWorkingDays::kMondayToFriday, "mon-fri"},
        {"Sunday-Thursday", static_cast<uint8_t>(CWorkingDays::kMondayToFriday - kFri + kSun), "sun-thu"},
        {"mon,wed,fri", static_cast<uint8_t>(kMon | kWed | kFri), "mon,wed,fri"},
        {"fri-mon", static_cast<uint8_t>(kFri | kSat | kSun | kMon), "fri-mon"},
        {"sat,sun", static_cast<uint8_t>(kSat | kSun), "sat,sun"},
        {"thu", kThu, "thu"},
        {"mon-sun", CWorkingDays::kEveryDay, "mon-sun"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszTyped);
        const auto rMask = CWorkingDays::ParseWeekdays(row.pszTyped);
        ASSERT_TRUE(rMask) << rMask.Problem();
        EXPECT_EQ(*rMask, row.nMask);
        EXPECT_EQ(CWorkingDays::WeekdaysText(row.nMask), row.pszWritten);
    }
    // Every mask but the empty one reads back as itself.
    for (unsigned n = 2; n <= CWorkingDays::kEveryDay; n += 2) {
        const std::string strText = CWorkingDays::WeekdaysText(static_cast<uint8_t>(n));
        const auto rBack = CWorkingDays::ParseWeekdays(strText);
        ASSERT_TRUE(rBack) << strText << ": " << rBack.Problem();
        EXPECT_EQ(*rBack, n) << strText;
    }
    for (const char* psz : {"", "mon-", "funday", "mon,,fri", "mo-fr"})
        EXPECT_FALSE(CWorkingDays::ParseWeekdays(psz)) << psz;
}

// Holidays are the all-day events of a calendar with their repeats less
// their exceptions. A calendar is outside input: a recurrence that never
// ends, never matches or repeats every second is followed only as far as
// the span asked for, and one the reader cannot finish in its budget is
// refused, never read in part.
TEST(WorkingDaysTest, HolidaysAreAllDayEventsAndHostileRecurrencesAreBoundedOrRefused) {
    auto calendar = [](const std::vector<std::pair<std::string, std::string>>& vecEvents) {
        std::string str = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n";
        for (size_t i = 0; i < vecEvents.size(); ++i)
            str += "BEGIN:VEVENT\r\nUID:e" + std::to_string(i) + "\r\nDTSTART;VALUE=DATE:" + vecEvents[i].first +
                   "\r\nRRULE:" + vecEvents[i].second + "\r\nEND:VEVENT\r\n";
        return str + "END:VCALENDAR\r\n";
    };
    const std::pair<std::string, std::string> never{"20270101", "FREQ=DAILY;BYMONTH=2;BYMONTHDAY=30"};
    const std::pair<std::string, std::string> daily1900{"19000101", "FREQ=DAILY"};
    const int64_t nFrom = Day(2027, 1, 1), nTo = Day(2030, 12, 31);
    std::set<int64_t> setEveryDay2027;
    for (int64_t d = nFrom; d <= Day(2027, 12, 31); ++d) setEveryDay2027.insert(d);
    const struct {
        const char* pszName;
        std::string strText;
        int64_t nTo;
        std::set<int64_t> setDays;  // when no problem is expected
        const char* pszProblem;
    } rows[] = {
        {"repeats less exceptions, several days, extra dates; a meeting is no holiday",
         "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//holidays//EN\r\n"
         // Every 25 December since 2020, but not in 2028.
         "BEGIN:VEVENT\r\nUID:xmas\r\nDTSTART;VALUE=DATE:20201225\r\nRRULE:FREQ=YEARLY\r\n"
         "EXDATE;VALUE=DATE:20281225\r\nSUMMARY:Christmas\r\nEND:VEVENT\r\n"
         // Three days: DTEND is the day after the last.
         "BEGIN:VEVENT\r\nUID:break\r\nDTSTART;VALUE=DATE:20270405\r\nDTEND;VALUE=DATE:20270408\r\nEND:VEVENT\r\n"
         "BEGIN:VEVENT\r\nUID:one\r\nDTSTART;VALUE=DATE:20270101\r\nRDATE;VALUE=DATE:20270601\r\nEND:VEVENT\r\n"
         "BEGIN:VEVENT\r\nUID:meeting\r\nDTSTART:20270310T090000Z\r\nDTEND:20270310T100000Z\r\nEND:VEVENT\r\n"
         "END:VCALENDAR\r\n",
         Day(2029, 12, 31),
         {Day(2027, 1, 1), Day(2027, 4, 5), Day(2027, 4, 6), Day(2027, 4, 7), Day(2027, 6, 1), Day(2027, 12, 25),
          Day(2029, 12, 25)},
         nullptr},
        // clang-format off
        {"empty", "", nTo, {}, "not an iCalendar file"},
        {"no calendar", "hello", nTo, {}, "not an iCalendar file"},
        {"every second, never matching: refused, not searched for ever",
         calendar({{"20270101", "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30"}}), nTo, {}, "more often than daily"},
        {"hourly: refused", calendar({{"20270101", "FREQ=HOURLY;COUNT=3"}}), nTo, {}, "more often than daily"},
        {"a rule the library cannot read: refused, not read as one day", calendar({{"20211225", "FREQ=YEARLX"}}), nTo,
         {}, "RRULE cannot be read"},
        {"a start the library cannot read: refused, not passed over", calendar({{"2027122", "FREQ=YEARLY"}}), nTo, {},
         "DTSTART cannot be read"},
        {"a dozen rules that never match: refused within the budget", calendar(std::vector(12, never)), nTo, {},
         "takes too long"},
        {"five daily rules since 1900: followed from the span, not from 1900", calendar(std::vector(5, daily1900)),
         Day(2027, 12, 31), setEveryDay2027, nullptr},
        {"every other year since 2021 keeps its years", calendar({{"20210704", "FREQ=YEARLY;INTERVAL=2"}}), nTo,
         {Day(2027, 7, 4), Day(2029, 7, 4)}, nullptr},
        {"a week-long event that began before the span reaches into it",
         "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:w\r\nDTSTART;VALUE=DATE:20211229\r\nDTEND;VALUE=DATE:20220105\r\n"
         "RRULE:FREQ=YEARLY\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n", Day(2027, 1, 2), {Day(2027, 1, 1), Day(2027, 1, 2)},
         nullptr},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszName);
        const auto rDays = CHolidayFile::FromText(row.strText, nFrom, row.nTo);
        if (row.pszProblem) {
            ASSERT_FALSE(rDays) << rDays->size() << " days";
            EXPECT_TRUE(Contains(rDays.Problem(), row.pszProblem));
            if (row.strText.find("BEGIN:VEVENT") != std::string::npos) {
                EXPECT_TRUE(Contains(rDays.Problem(), "event e"));
            }
        } else {
            ASSERT_TRUE(rDays) << rDays.Problem();
            EXPECT_EQ(*rDays, row.setDays);
        }
    }
    // A file the calendar library would take seconds and hundreds of
    // megabytes to parse is refused by its size before it is parsed.
    const CTempDir dir;
    std::string strHuge = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:h\r\nDTSTART;VALUE=DATE:20270101\r\n";
    while (strHuge.size() < 3 * CHolidayFile::kMaxBytes / 2) strHuge += "X:;\r\n";
    CTempDir::WriteFile(dir / "huge.ics", strHuge + "END:VEVENT\r\nEND:VCALENDAR\r\n");
    // Read from a file: a problem of one begins with its path.
    for (const char* pszName : {"huge.ics", "gone.ics"}) {
        const auto rRead = CHolidayFile::Read(dir / pszName, nFrom, nTo);
        ASSERT_FALSE(rRead) << rRead->size() << " days";
        EXPECT_EQ(rRead.Problem().rfind(dir / pszName, 0), 0u) << rRead.Problem();
    }
}

}  // namespace

// The tick asks for a task's working days on every due occurrence: a
// calendar is read again only when it changes on disk, and a missing or
// damaged one is told once per new problem and names no holiday.
TEST(WorkingDaysTest, HolidayCalendarsAreKeptUntilTheyChangeAndTheirProblemsToldOnce) {
    CTempDir dir;
    const std::string strPath = dir / "h.ics";
    // Each text another size: a change within the file system's tick of time still shows.
    auto write = [&](const char* pszDate, const char* pszUid) {
        CTempDir::WriteFile(strPath, std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:") + pszUid +
                                         "\r\nDTSTART;VALUE=DATE:" + pszDate + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    };
    std::vector<std::string> vecTold;
    CHolidayCache cache([&](const std::string& str) { vecTold.push_back(str); });
    CTaskRules rules;
    rules.nWorkingDays = CWorkingDays::kEveryDay;
    rules.vecHolidayFiles = {strPath};
    const int64_t nFrom = Day(2027, 1, 1), nTo = Day(2027, 12, 31);
    const int64_t nChristmas = Day(2027, 12, 25), nEve = Day(2027, 12, 24);
    const struct {
        const char* pszName;
        std::function<void()> fnBefore;
        bool bChristmasOff, bEveOff;
        size_t nTold;
    } steps[] = {
        {"missing", [] {}, false, false, 1},
        {"still missing: told once", [] {}, false, false, 1},
        {"written", [&] { write("20271225", "a"); }, true, false, 1},
        {"changed on disk", [&] { write("20271224", "bb"); }, false, true, 1},
        {"damaged", [&] { CTempDir::WriteFile(strPath, "not a calendar"); }, false, false, 2},
        {"still damaged: told once", [] {}, false, false, 2},
        {"mended", [&] { write("20271225", "ccc"); }, true, false, 2},
        {"missing again: told again", [&] { std::remove(strPath.c_str()); }, false, false, 3},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.pszName);
        step.fnBefore();
        const CWorkingDays days = cache.WorkingDaysOf(rules, nFrom, nTo);
        EXPECT_EQ(!days.IsWorkingDay(nChristmas), step.bChristmasOff);
        EXPECT_EQ(!days.IsWorkingDay(nEve), step.bEveOff);
        EXPECT_EQ(vecTold.size(), step.nTold);
    }
    EXPECT_TRUE(Contains(vecTold.front(), strPath));
}
