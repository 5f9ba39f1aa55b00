// What the tick writes back when the list changed during a send (a nested
// event loop), and what it does with a task whose schedule cannot move on.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CSendEmailDlg.h"
#include "Contains.h"
#include "ResultValue.h"
#include "TaskAt.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

// Every 5 minutes from 09:00, last sent 09:55, next 10:00.
CTaskItem Every5(const std::string& strName) {
    CTaskItem t;
    t.m_bActive = 1;
    t.m_strTaskName = strName;
    t.m_nRecurrence = 1;
    t.m_nMinuteInterval = 5;
    t.m_nEndKind = 0;
    t.m_bSendOverdue = 1;
    t.m_dtStart = At(2026, 3, 2, 9, 0);
    t.m_dtLastSent = At(2026, 3, 2, 9, 55);
    t.m_dtNextSending = At(2026, 3, 2, 10, 0);
    return t;
}

class WriteBackTest : public ::testing::Test {
protected:
    WriteBackTest() : m_zone("UTC"), m_clock(ValueOf(TaskTime::ToAbsolute(2026, 3, 2, 10, 0, 20))) {
        CSendContext ctx;
        ctx.fnTaskList = [this] { return &m_list; };
        ctx.fnSend = [this](const CTaskItem& t) {
            m_vecSent.push_back(t.m_strTaskName + "@" + TaskTime::Format(t.m_dtNextSending));
            if (m_fnDuringSend) m_fnDuringSend(t);
            return true;
        };
        ctx.pClock = &m_clock;
        m_pDlg = std::make_unique<CSendEmailDlg>(ctx);
    }
    // Each task as "name/interval count next", "off" before a disabled one's count; "*" in vecLike: not looked at.
    std::vector<std::string> States(const std::vector<std::string>& vecLike = {}) const {
        std::vector<std::string> vec;
        for (int i = 0; i < m_list.GetSize(); ++i) {
            const CTaskItem& t = m_list[i];
            const std::string strNext = TaskTime::Format(t.m_dtNextSending);
            vec.push_back(t.m_strTaskName + "/" + std::to_string(t.m_nMinuteInterval) + (t.m_bActive ? " " : " off ") +
                          std::to_string(t.m_nOccurrenceCount) + " " +
                          (strNext.size() > 11 ? strNext.substr(11) : "-"));
            if (static_cast<size_t>(i) < vecLike.size() && vecLike[static_cast<size_t>(i)] == "*") vec.back() = "*";
        }
        return vec;
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) m_pDlg->OnTimer();
    }
    // A tick a second for nSeconds from 2026-03-02 at h:mi; what they told on standard error.
    std::string TicksEachSecond(int h, int mi, int nSeconds) {
        const time_t tFrom = ValueOf(TaskTime::ToAbsolute(2026, 3, 2, h, mi, 0));
        ::testing::internal::CaptureStderr();
        for (int s = 0; s < nSeconds; ++s) {
            m_clock.Set(tFrom + s);
            Ticks(1);
        }
        return ::testing::internal::GetCapturedStderr();
    }

    CZoneGuard m_zone;
    CFixedClock m_clock;
    CTaskList m_list;
    std::vector<std::string> m_vecSent;
    std::function<void(const CTaskItem&)> m_fnDuringSend;
    std::unique_ptr<CSendEmailDlg> m_pDlg;
};

// [A, B, C], all due: while A is sent the user moves C to the top. Every
// task of the tick is still handled in it, each once.
TEST_F(WriteBackTest, ATaskMovedAboveTheTicksPlaceIsNotLeftOut) {
    for (const char* psz : {"A", "B", "C"}) m_list.Add(Every5(psz));
    m_fnDuringSend = [this](const CTaskItem& t) {
        if (t.m_strTaskName != "A") return;
        m_list.MoveUp(2);
        m_list.MoveUp(1);
    };
    Ticks(1);
    EXPECT_EQ(m_vecSent, (std::vector<std::string>{"A@2026-03-02 10:00", "B@2026-03-02 10:00", "C@2026-03-02 10:00"}));
    EXPECT_EQ(States(), (std::vector<std::string>{"C/5 1 10:05", "A/5 1 10:05", "B/5 1 10:05"}));
}

// An edit the user makes to the task being sent, first in the list, as the
// options sheet stores it: the whole task written back in its place.
std::function<void(CTaskList&)> EditSent(std::function<void(CTaskItem&)> fnChange) {
    return [fnChange](CTaskList& l) {
        CTaskItem t = static_cast<const CTaskList&>(l)[0];
        fnChange(t);
        l.SetAt(0, t);
    };
}

// Each row: what the user does to the task being sent, meanwhile; "other" is not due until 11:00.
TEST_F(WriteBackTest, EditsDuringTheSendSurviveAndRemovedTasksStayRemoved) {
    struct {
        const char* pszName;
        std::function<void(CTaskList&)> fnEdit;
        std::vector<std::string> vecStates;
    } const cases[] = {
        {"moved down: sent once, advanced in its new place",
         [](CTaskList& l) { l.MoveDown(0); },
         {"other/5 0 11:00", "sent/5 1 10:05"}},
        {"removed", [](CTaskList& l) { l.RemoveAt(0); }, {"other/5 0 11:00"}},
        // The occurrence is counted on the task as it is now.
        {"disabled and renamed",
         EditSent([](CTaskItem& t) {
             t.m_bActive = 0;
             t.m_strTaskName = "renamed";
         }),
         {"renamed/5 off 1 10:05", "other/5 0 11:00"}},
        // The edit wins over the stale advance.
        {"rescheduled",
         EditSent([](CTaskItem& t) {
             t.m_nMinuteInterval = 60;
             t.m_dtLastSent.Empty();
             t.m_dtNextSending = At(2026, 3, 2, 12, 0);
         }),
         {"sent/60 0 12:00", "other/5 0 11:00"}},
        // The options sheet schedules anew: the occurrence sent is counted on the new schedule, not sent again.
        {"rescheduled, the same occurrence next",
         EditSent([](CTaskItem& t) {
             t.m_nMinuteInterval = 15;
             t.m_dtStart = At(2026, 3, 2, 10, 0);
             t.m_dtLastSent.Empty();
         }),
         {"sent/15 1 10:15", "other/5 0 11:00"}},
        // Not written over by the removed task's advance.
        {"removed, other moved into its place",
         [](CTaskList& l) {
             l.RemoveAt(0);
             l.Add(Every5("late"));
         },
         {"other/5 0 11:00", "*"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_list.RemoveAll();
        m_vecSent.clear();
        m_list.Add(Every5("sent"));
        CTaskItem other = Every5("other");
        other.m_dtNextSending = At(2026, 3, 2, 11, 0);
        m_list.Add(other);
        bool bEdited = false;
        m_fnDuringSend = [&](const CTaskItem& t) {
            if (t.m_strTaskName == "sent" && !bEdited) {
                bEdited = true;
                c.fnEdit(m_list);
            }
        };
        Ticks(1);
        ASSERT_TRUE(bEdited);
        EXPECT_EQ(std::count(m_vecSent.begin(), m_vecSent.end(), "sent@2026-03-02 10:00"), 1);
        EXPECT_EQ(States(c.vecStates), c.vecStates);
    }
}

// Values outside their sets, or an interval of 0, used to leave the next
// time where it was: with send-overdue set the same occurrence went out on
// every tick. Each is sent at most once, then completed with its reason,
// which goes once the task is scheduled anew.
TEST_F(WriteBackTest, AScheduleThatCannotMoveOnSendsOnceAndCompletes) {
    // clang-format off
    struct {
        const char* pszName;
        std::function<void(CTaskItem&)> fnSet;
        const char* pszWhy;  // null: the outcome is open, at most one send
    } const cases[] = {
        {"weekly, no day", [](CTaskItem& t) { t.m_nRecurrence = 3; t.m_nWeeklyInterval = 1; for (int& b : t.m_bWeekDays) b = 0; },
         "a weekly task with no day ticked"},
        {"weekly mode 3", [](CTaskItem& t) { t.m_nRecurrence = 3; t.m_nWeeklyMode = 3; }, "the weekly mode 3 is not one of 0..1"},
        {"week of month 5", [](CTaskItem& t) { t.m_nRecurrence = 3; t.m_nWeeklyMode = 1; t.m_nWeeklyWeekOfMonth = 5; },
         "the week of the month 5 is not one of 0..2"},
        {"daily mode 2", [](CTaskItem& t) { t.m_nRecurrence = 2; t.m_nDailyMode = 2; }, "the daily mode 2 is not one of 0..1"},
        {"daily kind 7", [](CTaskItem& t) { t.m_nRecurrence = 2; t.m_nDailyMode = 1; t.m_nDailyDayKind = 7; },
         "the daily day kind 7 is not one of 0..4"},
        {"minutes 0", [](CTaskItem& t) { t.m_nMinuteInterval = 0; }, "a minutely task every 0 minutes (the interval must be at least 1)"},
        {"days 0", [](CTaskItem& t) { t.m_nRecurrence = 2; t.m_nDailyInterval = 0; }, "a daily task every 0 days (the interval must be at least 1)"},
        {"weeks 0", [](CTaskItem& t) { t.m_nRecurrence = 3; t.m_nWeeklyInterval = 0; t.m_bWeekDays[2] = 1; }, nullptr},
        {"months 0", [](CTaskItem& t) { t.m_nRecurrence = 4; t.m_nMonthlyDay = 2; t.m_nMonthlyInterval = 0; }, nullptr},
        {"monthly ordinal 9", [](CTaskItem& t) { t.m_nRecurrence = 4; t.m_nMonthlyMode = 1; t.m_nMonthlyOrdinal = 9; t.m_nMonthlyInterval2 = 1; }, nullptr},
        {"monthly kind 20", [](CTaskItem& t) { t.m_nRecurrence = 4; t.m_nMonthlyMode = 1; t.m_nMonthlyDayKind = 20; t.m_nMonthlyInterval2 = 1; }, nullptr},
        {"yearly mode 7", [](CTaskItem& t) { t.m_nRecurrence = 5; t.m_nYearlyMode = 7; }, nullptr},
        {"yearly month 15", [](CTaskItem& t) { t.m_nRecurrence = 5; t.m_nYearlyMonth = 15; t.m_nYearlyDay = 2; }, nullptr},
        {"yearly ordinal 8", [](CTaskItem& t) { t.m_nRecurrence = 5; t.m_nYearlyMode = 1; t.m_nYearlyOrdinal = 8; t.m_nYearlyMonth2 = 2; }, nullptr},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_list.RemoveAll();
        m_vecSent.clear();
        CTaskItem t = Every5(c.pszName);
        t.m_dtStart = At(2026, 2, 2, 9, 58);  // occurrences at 09:58
        t.m_dtLastSent = At(2026, 3, 2, 9, 30);
        c.fnSet(t);
        t.m_dtNextSending = At(2026, 3, 2, 9, 58);  // overdue, to be sent late
        m_list.Add(t);
        const std::string strErr = TicksEachSecond(10, 0, 120);
        EXPECT_LE(m_vecSent.size(), 1u);
        if (!c.pszWhy) continue;
        EXPECT_EQ(m_vecSent.size(), 1u);
        EXPECT_FALSE(m_list[0].m_dtNextSending.IsSet());
        const std::string* pWhy = m_pDlg->Stalled().Reason(m_list.IdAt(0), m_list[0]);
        ASSERT_TRUE(pWhy);
        EXPECT_EQ(*pWhy, c.pszWhy);
        const std::string strLine = std::string("task \"") + c.pszName + "\" is completed";
        EXPECT_TRUE(Contains(strErr, strLine));
        EXPECT_EQ(strErr.find(strLine), strErr.rfind(strLine)) << "reported once";
        EXPECT_TRUE(Contains(strErr, c.pszWhy));
        // Scheduled anew and completed normally later: no longer marked as one that could not move on.
        CTaskItem again = static_cast<const CTaskList&>(m_list)[0];
        again.m_nRecurrence = 0;
        again.m_dtStart = again.m_dtNextSending = At(2026, 3, 2, 10, 3);
        again.m_dtLastSent.Empty();
        m_list.SetAt(0, again);
        (void)TicksEachSecond(10, 3, 1);
        EXPECT_FALSE(m_list[0].m_dtNextSending.IsSet());
        EXPECT_EQ(m_list[0].m_nOccurrenceCount, 2);
        EXPECT_FALSE(m_pDlg->Stalled().Reason(m_list.IdAt(0), m_list[0]));
    }
}

// A last sending time that is set but cannot be read (a damaged or
// hand-edited list) used to stop the task for good without a word. The
// occurrence in its next time is handled by its own rule, told once, and
// the task moves on from it.
TEST_F(WriteBackTest, ALastSendingTimeThatCannotBeReadIsToldOnceAndTheTaskGoesOn) {
    using Strings = std::vector<std::string>;
    // Every 5 minutes, next 10:00; ticks for two and a half minutes from the start given.
    // clang-format off
    struct {
        const char* pszName;
        TaskDateTime dtLast;
        int nFromHour, nFromMinute;
        int32_t bSendOverdue;
        const char* pszWhy;
        const char* pszOutcome;  // what the line says became of the 10:00 occurrence
        Strings vecSent;         // the minutes sent
        int nCount;              // occurrences handled
    } const cases[] = {
        {"month 13", {2026, 13, 2, 2, 9, 55, 1}, 9, 59, 0, "month 13 is not 1..12", "sent", {"10:00"}, 1},
        {"hour 24", {2026, 3, 2, 2, 24, 0, 1}, 9, 59, 0, "hour 24 is not 0..23", "sent", {"10:00"}, 1},
        {"year 1066, sent late", {1066, 3, 2, 2, 9, 55, 1}, 10, 3, 1, "year 1066 is not 1900..9999", "sent", {"10:00", "10:05"}, 2},
        {"day 40, not sent late", {2026, 3, 40, 2, 9, 55, 1}, 10, 3, 0, "day 40 is not 1..31", "skipped", {"10:05"}, 2},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        m_list.RemoveAll();
        m_vecSent.clear();
        CTaskItem t = Every5(c.pszName);
        t.m_dtLastSent = c.dtLast;
        t.m_bSendOverdue = c.bSendOverdue;
        m_list.Add(t);
        const std::string strErr = TicksEachSecond(c.nFromHour, c.nFromMinute, 150);
        Strings vecWant;
        for (const std::string& str : c.vecSent) vecWant.push_back(std::string(c.pszName) + "@2026-03-02 " + str);
        EXPECT_EQ(m_vecSent, vecWant);
        EXPECT_EQ(m_list[0].m_nOccurrenceCount, c.nCount);
        EXPECT_TRUE(TaskTime::CheckGroup(m_list[0].m_dtLastSent).Ok()) << TaskTime::Format(m_list[0].m_dtLastSent);
        const std::string strLine = std::string("task \"") + c.pszName +
                                    "\" has a last sending time that cannot be read (" + c.pszWhy +
                                    "); its occurrence at 2026-03-02 10:00 is " + c.pszOutcome;
        EXPECT_TRUE(Contains(strErr, strLine));
        EXPECT_EQ(strErr.find("cannot be read"), strErr.rfind("cannot be read")) << "told once: " << strErr;
    }
}

// What the write-back relies on: an identity that follows its element.
TEST(CArrayIdentity, FollowsItsElementAndIsNeverGivenTwice) {
    CArray<std::string> arr, other;
    for (const char* psz : {"a", "b", "c"}) arr.Add(psz), other.Add(psz);
    const auto nA = arr.IdAt(0), nB = arr.IdAt(1), nC = arr.IdAt(2);
    EXPECT_TRUE(nA != nB && nB != nC && nA != nC);
    EXPECT_TRUE(arr == other) << "identities play no part in equality";
    for (int i = 0; i < 3; ++i) EXPECT_NE(other.IdAt(i), arr.IdAt(i)) << "fresh for every Add";
    arr.MoveDown(0);  // b a c
    EXPECT_EQ(arr.IndexOf(nA), 1);
    EXPECT_EQ(arr.IndexOf(nB), 0);
    arr.MoveUp(2);  // b c a
    EXPECT_EQ(arr.IndexOf(nA), 2);
    arr.SetAt(2, "a2");
    EXPECT_EQ(arr.IdAt(2), nA) << "a replaced element keeps its slot's identity";
    arr.RemoveAt(1);  // b a2
    EXPECT_EQ(arr.IndexOf(nC), -1);
    arr.Add("c");
    EXPECT_EQ(arr.IndexOf(nC), -1) << "an identity is not handed out again";
    EXPECT_EQ(arr.IndexOf(CArray<std::string>::kNoId), -1);
    arr.RemoveAll();
    EXPECT_EQ(arr.IndexOf(nB), -1);
    EXPECT_THROW(arr.IdAt(0), CTaskError);
}

}  // namespace
