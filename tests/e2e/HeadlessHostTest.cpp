// The headless host with the add-in, as a user runs it: scheduled mail
// reaches a real SMTP server, overdue tasks follow their option, and a
// second host on the same profile is refused (kills: FaultsTest).
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "CHeadlessTestBase.h"
#include "Contains.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "ZoneGuard.h"

namespace {

using std::chrono::seconds;

std::string Format(const nlohmann::json& j) {
    TaskDateTime dt;
    dt.nYear = j["year"];
    dt.nMonth = j["month"];
    dt.nDay = j["day"];
    dt.nHour = j["hour"];
    dt.nMinute = j["minute"];
    return TaskTime::Format(dt);
}

class EndToEndTest : public CHeadlessTestBase {};

TEST_F(EndToEndTest, ScheduledMessagesArriveAndTheTaskListMovesOn) {
    CZoneGuard zone("Asia/Kolkata");  // a half-hour offset
    const std::string strEntry = MakeAttachmentFolder();
    const TaskDateTime dtNow = MinuteFromNow(0), dtNext = MinuteFromNow(1);
    CTaskList list;
    CTaskItem minutely =
        Task("every five", MakeTemplate("every-five", "Every five minutes", "Minutely body\n"), 1, dtNow, true);
    minutely.m_arrAttachments.Add(strEntry);
    list.Add(minutely);
    CTaskItem once = Task("once", MakeTemplate("once", "Just once", "Once body\n"), 0, dtNext, false);
    once.m_arrAttachments.Add(strEntry);
    list.Add(once);
    Import(list);

    StartHost();
    ASSERT_TRUE(WaitForMessages(2, seconds(100))) << CTempDir::ReadFile(m_dir / "host.log");
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
    const std::string strLog = CTempDir::ReadFile(m_dir / "host.log");
    EXPECT_TRUE(Contains(strLog, "add-in Quillory (TarnwickQuillory.Addin) disconnected"));

    EXPECT_EQ(CountSubject("Every five minutes"), 1u);
    EXPECT_EQ(CountSubject("Just once"), 1u);
    for (const auto& r : m_server.Received()) {
        EXPECT_TRUE(Contains(r.strData, "Rita Receiver"));
        EXPECT_TRUE(r.strData.find("Minutely body") != std::string::npos ||
                    r.strData.find("Once body") != std::string::npos);
        EXPECT_TRUE(Contains(r.strData, "a.txt"));
        EXPECT_TRUE(Contains(r.strData, "b.txt"));
        EXPECT_FALSE(Contains(r.strData, "c.log")) << "the mask leaves other files out";
        EXPECT_EQ(r.vecRcpt, std::vector<std::string>{"rita@example.com"});
    }

    const nlohmann::json j = Export();
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_EQ(Format(j[0]["lastSent"]), TaskTime::Format(dtNow));
    EXPECT_EQ(Format(j[0]["nextSending"]),
              TaskTime::Format(TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(dtNow)) + 300)));
    EXPECT_EQ(j[1]["occurrenceCount"], 1);
    EXPECT_EQ(Format(j[1]["lastSent"]), TaskTime::Format(dtNext));
    EXPECT_EQ(j[1]["nextSending"]["year"], 0) << "a once task is completed";
}

class OverdueTest : public CHeadlessTestBase, public ::testing::WithParamInterface<const char*> {};

TEST_P(OverdueTest, MinutesPassedWhileTheHostWasDownAreSentOrSkippedByTheirOption) {
    CZoneGuard zone(GetParam());
    const TaskDateTime dtPast = MinuteFromNow(-10);
    CTaskList list;
    list.Add(Task("late", MakeTemplate("late", "Sent late", "Late body\n"), 0, dtPast, true));
    list.Add(Task("skipped", MakeTemplate("skipped", "Never sent", "Skipped body\n"), 0, dtPast, false));
    const TaskDateTime dtHourlyStart = MinuteFromNow(-125);  // taken once: a minute may pass meanwhile
    CTaskItem hourly = Task("hourly", MakeTemplate("hourly", "Hourly skipped", "Hourly\n"), 1, dtHourlyStart, false);
    hourly.m_nMinuteInterval = 60;
    list.Add(hourly);
    Import(list);

    StartHost();
    ASSERT_TRUE(WaitForMessages(1, seconds(30))) << CTempDir::ReadFile(m_dir / "host.log");
    // Long enough for the three ticks the hourly task needs to catch up.
    std::this_thread::sleep_for(seconds(4));
    m_host.Stop();
    EXPECT_EQ(m_server.Received().size(), 1u);
    EXPECT_EQ(CountSubject("Sent late"), 1u);

    const nlohmann::json j = Export();
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_EQ(j[1]["occurrenceCount"], 1);
    EXPECT_EQ(Format(j[1]["lastSent"]), TaskTime::Format(dtPast));
    EXPECT_EQ(j[1]["nextSending"]["year"], 0);
    EXPECT_EQ(j[2]["occurrenceCount"], 3) << "two hours behind: three missed occurrences";
    EXPECT_EQ(Format(j[2]["nextSending"]),
              TaskTime::Format(TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(dtHourlyStart)) + 3 * 3600)));
}

INSTANTIATE_TEST_SUITE_P(Zones, OverdueTest, TestZones("UTC", "America/New_York", "Pacific/Chatham"),
                         [](const auto& info) { return ZoneTestName(info.param); });

TEST_F(EndToEndTest, ASecondHostOnTheSameProfileExitsAtOnce) {
    StartHost();
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "connected", seconds(20))) << CTempDir::ReadFile(m_dir / "host.log");
    CTestProcess second;
    StartHost(second, m_dir / "second.log");
    EXPECT_EQ(second.Wait(std::chrono::milliseconds(5000)), 1);
    const std::string strLog = CTempDir::ReadFile(m_dir / "second.log");
    EXPECT_TRUE(Contains(strLog, "is already running on the profile " + m_dir / "data/mailhost"));
    EXPECT_FALSE(Contains(strLog, "connected")) << "the second host loads nothing";
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
    // Once the first is gone the profile is free again.
    StartHost(second, m_dir / "third.log");
    EXPECT_TRUE(WaitForLog(m_dir / "third.log", "connected", seconds(20)));
    second.Stop();
}

TEST_F(EndToEndTest, RegistrationToolReportsItsOutcome) {
    EXPECT_EQ(CTestProcess::Run({MAILHOST_PROGRAM, "--unregister", QUILSEND_MODULE}), 0);
    EXPECT_EQ(CTestProcess::Run({MAILHOST_PROGRAM, "--register", m_dir / "missing.so"}), 2) << "a file: data";
    EXPECT_EQ(CTestProcess::Run({MAILHOST_PROGRAM, "--register"}), 1) << "a missing value: usage";
    // Unregistered: the host starts and runs without the add-in.
    StartHost();
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "profile ", seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_host.Stop();
    EXPECT_FALSE(Contains(CTempDir::ReadFile(m_dir / "host.log"), "add-in"));
}

}  // namespace
