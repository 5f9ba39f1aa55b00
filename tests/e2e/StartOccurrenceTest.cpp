// The headless host with the add-in and a loopback SMTP server: a monthly
// task scheduled ahead of a start that is itself an occurrence goes out in
// its start minute, although it keeps its start as the seed of its schedule.
#include <thread>

#include "CHeadlessTestBase.h"
#include "TaskTime.h"

namespace {

using std::chrono::seconds;

class StartOccurrenceTest : public CHeadlessTestBase {};

TEST_F(StartOccurrenceTest, AMonthlyTaskOnItsStartDayIsSentAtItsStartWithoutOverdue) {
    // A start a minute or two ahead, so that the host is up before it.
    const std::time_t tNow = std::time(nullptr);
    const TaskDateTime dtStart = MinuteFromNow(tNow % 60 < 40 ? 1 : 2);
    CTaskItem t = Task("monthly", MakeTemplate("monthly", "On the start day", "Monthly body\n"), 4, dtStart, false);
    t.m_nMonthlyDay = dtStart.nDay;
    t.m_nMonthlyInterval = 1;
    t.m_dtLastSent = dtStart;  // the seed, as the options sheet stores it
    CTaskList list;
    list.Add(t);
    Import(list);

    StartHost();
    // Sent late, it would be skipped: nothing would come at all.
    ASSERT_TRUE(WaitForMessages(1, seconds(150))) << CTempDir::ReadFile(m_dir / "host.log");
    m_host.Stop();
    EXPECT_EQ(CountSubject("On the start day"), 1u);
    const nlohmann::json j = Export();
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_NE(j[0]["nextSending"]["month"], dtStart.nMonth) << "the next one is a month on";
}

}  // namespace
