// The preview of a task's next sending times, and the machine's zone as it is shown beside them.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CLocalZone.h"
#include "CSendingPreview.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

// What the preview adds to the one schedule step (tested in ScheduleTest and against the references through
// `quillory next`): it starts at the stored next time, stops at the count asked for, where the schedule ends, and
// after the one sending of a schedule that cannot move on.
TEST(SendingPreviewTest, WalksFromTheStoredNextTimeAndStopsWhereTheScheduleDoes) {
    using Strings = std::vector<std::string>;
    CZoneGuard zone("Europe/Berlin");
    const auto weekly = [](CTaskItem& t) {
        t.m_nRecurrence = CodeOf(ERecurrence::Weekly);
        t.m_nWeeklyInterval = 1;
        for (int32_t& b : t.m_bWeekDays) b = 0;
    };
    // clang-format off
    const struct {
        const char* pszName;
        std::function<void(CTaskItem&)> fnSet;
        int nCount;
        Strings vecWant;
    } cases[] = {
        {"weekly Monday and Thursday from a stored Thursday", [&](CTaskItem& t) {
             weekly(t), t.m_bWeekDays[1] = t.m_bWeekDays[4] = 1, t.m_dtNextSending = {2026, 12, 10, 5, 9, 0, 1}; }, 5,
         {"2026-12-10 09:00", "2026-12-14 09:00", "2026-12-17 09:00", "2026-12-21 09:00", "2026-12-24 09:00"}},
        {"the count asked for", [](CTaskItem&) {}, 2, {"2026-12-08 09:00", "2026-12-09 09:00"}},
        {"none asked for", [](CTaskItem&) {}, 0, {}},
        {"two of three already sent: one is left", [](CTaskItem& t) {
             t.m_nEndKind = CodeOf(EEndKind::AfterCount), t.m_nEndAfterCount = 3, t.m_nOccurrenceCount = 2; }, 5,
         {"2026-12-08 09:00"}},
        {"completed", [](CTaskItem& t) { t.m_dtNextSending.Empty(); }, 5, {}},
        {"no day ticked: its one sending", weekly, 5, {"2026-12-08 09:00"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CTaskItem task;
        task.m_bActive = 1;
        task.m_nRecurrence = CodeOf(ERecurrence::Daily);
        task.m_nDailyInterval = 1;
        task.m_nEndKind = CodeOf(EEndKind::NoEnd);
        task.m_dtStart = task.m_dtNextSending = {2026, 12, 8, 3, 9, 0, 1};
        c.fnSet(task);
        const auto times = CSendingPreview::Next(task, c.nCount);
        ASSERT_TRUE(times.Ok()) << times.Problem();
        Strings vec;
        for (time_t t : *times) vec.push_back(TaskTime::Format(TaskTime::FromAbsolute(t)));
        EXPECT_EQ(vec, c.vecWant);
    }
}

TEST(LocalZoneTest, NamesTheZoneItsAbbreviationAndOffsetAtThatTime) {
    struct {
        const char* pszTz;
        time_t t;
        const char* pszWant;
    } const cases[] = {
        {"Europe/Berlin", 1796637600, "Europe/Berlin, CET, UTC+01:00"},         // 2026-12-07
        {"Europe/Berlin", 1783400000, "Europe/Berlin, CEST, UTC+02:00"},        // 2026-07-07
        {":America/New_York", 1796637600, "America/New_York, EST, UTC-05:00"},  // the colon form
        {"/usr/share/zoneinfo/Asia/Kathmandu", 1796637600, "Asia/Kathmandu, +0545, UTC+05:45"},
        {"America/St_Johns", 1796637600, "America/St_Johns, NST, UTC-03:30"},
        {"UTC", 1796637600, "UTC, UTC, UTC+00:00"},
    };
    for (const auto& c : cases) {
        CZoneGuard zone(c.pszTz);
        EXPECT_EQ(CLocalZone::Describe(c.t), c.pszWant) << c.pszTz;
    }
}
