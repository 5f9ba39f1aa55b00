// The headless host with the add-in, as a user runs it: scheduled mail
// reaches a real SMTP server with texts filled for their occurrence, entries
// that match nothing follow the task's rules, overdue and missed
// occurrences follow their options, a second host on the same profile is
// refused, and relative host paths survive the add-in's change of folder.
#include <filesystem>
#include <map>
#include <thread>

#include "CEnvScope.h"
#include "CHeadlessTestBase.h"
#include "CTaskListFile.h"
#include "CTextCodec.h"
#include "Contains.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "ZoneGuard.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

std::string Format(const nlohmann::json& j) {
    return TaskTime::Format({j["year"], j["month"], j["day"], 0, j["hour"], j["minute"], 0});
}

class EndToEndTest : public CHeadlessTestBase {};

// The store's entry of a task, with these rules, as the tool keeps them.
nlohmann::json StoreEntry(const CTaskItem& task, const std::string& strId, const nlohmann::json& jRules) {
    return {fs::path(task.m_strTemplateFile).filename().string(),
            {{"id", strId}, {"history", nlohmann::json::array()}, {"settings", {{"rules", jRules}}}}};
}
std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// Each kind of task in one run: a minutely and a once task with folder
// attachments; a monthly task whose start, kept as its schedule's seed, is
// itself an occurrence; a weekly task with no day ticked (out once, not
// again); texts filled for their occurrence; and entries that match
// nothing: one skips, one waits for a file written late, one gives up.
TEST_F(EndToEndTest, ScheduledMessagesArriveOnceEachAndTheTaskListMovesOn) {
    CZoneGuard zone("Asia/Kolkata");  // a half-hour offset
    const std::string strEntry = MakeAttachmentFolder();
    const TaskDateTime dtNow = MinuteFromNow(0), dtNext = MinuteFromNow(1);
    // Ahead, so that the host is up before it.
    const TaskDateTime dtStart = MinuteFromNow(std::time(nullptr) % 60 < 40 ? 1 : 2);
    CTaskList list;
    CTaskItem minutely =
        Task("every five", MakeTemplate("every-five", "Every five minutes", "Minutely body\n"), 1, dtNow, true);
    minutely.m_arrAttachments.Add(strEntry);
    list.Add(minutely);
    CTaskItem once = Task("once", MakeTemplate("once", "Just once", "Once body\n"), 0, dtNext, false);
    once.m_arrAttachments.Add(strEntry);
    list.Add(once);
    CTaskItem monthly =
        Task("monthly", MakeTemplate("monthly", "On the start day", "Monthly body\n"), 4, dtStart, false);
    monthly.m_nMonthlyDay = dtStart.nDay;
    monthly.m_nMonthlyInterval = 1;
    monthly.m_dtLastSent = dtStart;  // the seed, as the options sheet stores it
    list.Add(monthly);
    CTaskItem noDay =
        Task("no day", MakeTemplate("no-day", "No day ticked", "Weekly body\n"), 3, MinuteFromNow(-2), true);
    noDay.m_nWeeklyInterval = 1;
    for (int32_t& b : noDay.m_bWeekDays) b = 0;
    list.Add(noDay);

    // Written from the calendar, not through the code that fills them.
    const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
    const std::string strDate =
        std::to_string(dtNow.nYear) + "-" + TwoDigits(dtNow.nMonth) + "-" + TwoDigits(dtNow.nDay);
    const std::string strLastMonth = std::string(kMonths[(dtNow.nMonth + 10) % 12]) + " " +
                                     std::to_string(dtNow.nMonth == 1 ? dtNow.nYear - 1 : dtNow.nYear);
    const fs::path folder = m_dir / "reports";
    fs::create_directories(folder);
    CTempDir::WriteFile(folder / (strDate + ".csv"), "day,total\n");
    CTaskItem filled = Task(
        "Filled",
        MakeTemplate("filled", "Report {date:%Y-%m-%d} #{n} {name}", "Figures of {month-1:%B %Y}, {{as agreed}}.\n"), 0,
        dtNow, true);
    filled.m_arrAttachments.Add((folder / "{date:%Y-%m-%d}.csv").string());
    list.Add(filled);
    CTaskItem skipper = Task("Skipper", MakeTemplate("skipper", "Skipped report", "Never sent\n"), 0, dtNow, true);
    skipper.m_arrAttachments.Add((folder / "missing-{n}.csv").string());
    list.Add(skipper);
    CTaskItem waiter =
        Task("Waiter", MakeTemplate("waiter", "Late report", "Sent when its file came\n"), 0, dtNow, true);
    waiter.m_arrAttachments.Add((folder / "late-{date:%d}.csv").string());
    list.Add(waiter);
    CTaskItem giver = Task("Giver", MakeTemplate("giver", "Given up", "Never sent either\n"), 0, dtNow, true);
    giver.m_arrAttachments.Add((folder / "never.csv").string());
    list.Add(giver);
    // The tool refuses a weekly task with no day; an older or hand-written file may hold one.
    ASSERT_EQ(CTaskListFile::SaveTaskList(TaskFile(), list, CTextCodec::Open("UTF-8").Value()).Problem(), "");
    const nlohmann::json jStore = {
        {"version", 2},
        {"tasks",
         {StoreEntry(skipper, "00000000000000b1", {{"ifNothingAttached", "skip"}}),
          StoreEntry(waiter, "00000000000000b2",
                     {{"ifNothingAttached", "wait"}, {"waitMinutes", 1}, {"waitDeadlineMinutes", 5}}),
          StoreEntry(giver, "00000000000000b3",
                     {{"ifNothingAttached", "wait"}, {"waitMinutes", 1}, {"waitDeadlineMinutes", 1}})}}};
    CTempDir::WriteFile(DataDir() + "tasks.json", jStore.dump(2));

    StartHost();
    const std::string strLogPath = m_dir / "host.log";
    const std::string strOccurrence = "occurrence " + TaskTime::Format(dtNow);
    ASSERT_TRUE(WaitForLog(strLogPath,
                           "task \"Waiter\", " + strOccurrence +
                               ", subject \"Late report\": waiting for its attachments: nothing matched " +
                               (folder / ("late-" + TwoDigits(dtNow.nDay) + ".csv")).string(),
                           seconds(60)))
        << HostLog();
    CTempDir::WriteFile(folder / ("late-" + TwoDigits(dtNow.nDay) + ".csv"), "written late\n");
    // Sent late, the monthly one would be skipped: nothing would come of it at all.
    ASSERT_TRUE(WaitForMessages(6, seconds(150))) << HostLog();
    // Skipped a minute after its occurrence; every tick meanwhile once sent the one with no day again.
    ASSERT_TRUE(WaitForLog(strLogPath,
                           "task \"Giver\", " + strOccurrence + ", subject \"Given up\": skipped: nothing matched " +
                               (folder / "never.csv").string() + " by ",
                           seconds(100)))
        << HostLog();
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
    const std::string strLog = HostLog();
    EXPECT_TRUE(Contains(strLog, "add-in Quillory (TarnwickQuillory.Addin) disconnected"));
    EXPECT_TRUE(Contains(strLog, "task \"no day\" is completed: its schedule cannot move on"));
    EXPECT_TRUE(Contains(strLog, "a weekly task with no day ticked"));
    EXPECT_TRUE(Contains(strLog, "task \"Skipper\", " + strOccurrence +
                                     ", subject \"Skipped report\": skipped: nothing matched " +
                                     (folder / "missing-1.csv").string()));

    EXPECT_EQ(m_server.Received().size(), 6u);
    for (const std::string& strSubject :
         {std::string("Every five minutes"), std::string("Just once"), std::string("On the start day"),
          std::string("No day ticked"), "Report " + strDate + " #1 Filled", std::string("Late report")})
        EXPECT_EQ(CountSubject(strSubject), 1u) << strSubject;
    for (const auto& r : m_server.Received()) {
        if (Contains(r.strData, "Subject: Report")) {
            EXPECT_TRUE(Contains(r.strData, "Figures of " + strLastMonth + ", {as agreed}."));
            EXPECT_TRUE(Contains(r.strData, strDate + ".csv"));
        } else if (Contains(r.strData, "Subject: Late report")) {
            EXPECT_TRUE(Contains(r.strData, "late-" + TwoDigits(dtNow.nDay) + ".csv"));
        } else if (Contains(r.strData, "Minutely body") || Contains(r.strData, "Once body")) {
            EXPECT_TRUE(Contains(r.strData, "Rita Receiver"));
            EXPECT_TRUE(Contains(r.strData, "a.txt"));
            EXPECT_TRUE(Contains(r.strData, "b.txt"));
            EXPECT_FALSE(Contains(r.strData, "c.log")) << "the mask leaves other files out";
            EXPECT_EQ(r.vecRcpt, std::vector<std::string>{"rita@example.com"});
        }
    }

    const nlohmann::json j = Export();
    ASSERT_EQ(j.size(), 8u);
    EXPECT_EQ(j[0]["occurrenceCount"], 1);
    EXPECT_EQ(Format(j[0]["lastSent"]), TaskTime::Format(dtNow));
    EXPECT_EQ(Format(j[0]["nextSending"]),
              TaskTime::Format(TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(dtNow)) + 300)));
    EXPECT_EQ(j[1]["occurrenceCount"], 1);
    EXPECT_EQ(Format(j[1]["lastSent"]), TaskTime::Format(dtNext));
    EXPECT_EQ(j[1]["nextSending"]["year"], 0) << "a once task is completed";
    EXPECT_EQ(j[2]["occurrenceCount"], 1);
    EXPECT_NE(j[2]["nextSending"]["month"], dtStart.nMonth) << "the next monthly one is a month on";
    // The texts' once tasks are done with: two sent, two skipped, none waits.
    for (size_t i = 4; i < 8; ++i) EXPECT_EQ(j[i]["nextSending"]["year"], 0) << j[i].dump();
    const std::string strStore = CTempDir::ReadFile(DataDir() + "tasks.json");
    const nlohmann::json jKept = nlohmann::json::parse(strStore);
    for (const auto& [pTask, strKind] : {std::pair{&skipper, "skipped"}, {&giver, "skipped"}, {&waiter, "sent"}}) {
        const std::string strFile = fs::path(pTask->m_strTemplateFile).filename().string();
        ASSERT_TRUE(jKept["tasks"].contains(strFile)) << strStore;
        EXPECT_EQ(jKept["tasks"][strFile]["history"].back()["kind"], strKind) << strStore;
    }
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
    ASSERT_TRUE(WaitForMessages(1, seconds(30))) << HostLog();
    std::this_thread::sleep_for(seconds(4));  // the three ticks the hourly task needs to catch up
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

// A second host on the same profile exits at once; once the first is gone
// the profile is free again, and unregistered, the add-in is not loaded.
TEST_F(EndToEndTest, ASecondHostOnTheSameProfileExitsAtOnceAndTheAddinCanBeUnregistered) {
    StartHostAndWait();
    CTestProcess second;
    StartHost(second, m_dir / "second.log");
    EXPECT_EQ(second.Wait(std::chrono::milliseconds(5000)), 1);
    const std::string strLog = CTempDir::ReadFile(m_dir / "second.log");
    EXPECT_TRUE(Contains(strLog, "is already running on the profile " + m_dir / "data/mailhost"));
    EXPECT_FALSE(Contains(strLog, "connected")) << "the second host loads nothing";
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);

    EXPECT_EQ(CTestProcess::Run({MAILHOST_PROGRAM, "--unregister", QUILSEND_MODULE}), 0);
    EXPECT_EQ(CTestProcess::Run({MAILHOST_PROGRAM, "--register", m_dir / "missing.so"}), 2) << "a file: data";
    EXPECT_EQ(CTestProcess::Run({MAILHOST_PROGRAM, "--register"}), 1) << "a missing value: usage";
    StartHost(second, m_dir / "third.log");
    ASSERT_TRUE(WaitForLog(m_dir / "third.log", "profile ", seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    second.Stop();
    const std::string strThird = CTempDir::ReadFile(m_dir / "third.log");
    EXPECT_FALSE(Contains(strThird, "already running")) << "the profile is free again";
    EXPECT_FALSE(Contains(strThird, "add-in"));
}

TEST_F(EndToEndTest, RelativeHostPathsStayWhereTheHostStarted) {
    struct CBack {
        fs::path dir = fs::current_path();
        ~CBack() { fs::current_path(dir); }
    } back;
    fs::current_path(m_dir.Path());
    fs::rename(m_dir / "config/mailhost/accounts.ini", m_dir / "accounts.ini");
    const CEnvScope profile("MAILHOST_PROFILE", "profile"), accounts("MAILHOST_ACCOUNTS", "accounts.ini");
    setenv("MAILHOST_REGISTRY", "registry.reg", 1);  // where the fixture registered the add-in

    CTaskList list;
    list.Add(Task("now", MakeTemplate("now", "Relative paths", "Body\n"), 0, MinuteFromNow(0), true));
    Import(list);
    StartHost();
    ASSERT_TRUE(WaitForMessages(1, seconds(60))) << HostLog();
    // The copy for Sent Items lands in the profile the host started with.
    const fs::path sent = m_dir / "profile/Sent Items";
    auto fnFiles = [&] {
        size_t n = 0;
        if (fs::exists(sent))
            for (const auto& e : fs::recursive_directory_iterator(sent)) n += e.is_regular_file();
        return n;
    };
    WaitUntil([&] { return fnFiles() > 0; }, seconds(5));
    m_host.Stop();
    const std::string strLog = HostLog();
    EXPECT_TRUE(Contains(strLog, "profile " + (m_dir / "profile")));
    EXPECT_EQ(fnFiles(), 1u) << strLog;
    EXPECT_FALSE(fs::exists(fs::path(QUILSEND_MODULE).parent_path() / "profile"))
        << "nothing went to the install folder";
}

constexpr int kMissedDays = 4;  // the last one two minutes ago

// One row: the rule options given to `quillory set`, and for each missed
// occurrence, oldest first, the reason it is skipped ("" when sent).
struct CMissedCase {
    const char* pszName;
    std::vector<std::string> vecRuleArgs;
    std::vector<std::string> vecSkipped;
    const char* pszRulesLeft;  // the rules `list --json` shows afterwards
};

const CMissedCase kCases[] = {
    {"Each", {"--missed", "each"}, {"", "", "", ""}, R"({})"},
    {"Latest",
     {"--missed", "latest"},
     {"missed, a later one is sent", "missed, a later one is sent", "missed, a later one is sent", ""},
     R"({"missed":"latest"})"},
    {"SkipNext", {"--skip-next"}, {"the next occurrence was to be skipped", "", "", ""}, R"({})"},
};

// The same minute nDays later on the calendar, whatever the clocks did between.
TaskDateTime DaysLater(const TaskDateTime& dt, int nDays) {
    TaskDateTime dtDay = TaskTime::DateOfDay(TaskTime::DayNumber(dt.nYear, dt.nMonth, dt.nDay) + nDays);
    dtDay.nHour = dt.nHour;
    dtDay.nMinute = dt.nMinute;
    return dtDay;
}

class MissedWhileOffTest : public CHeadlessTestBase, public ::testing::WithParamInterface<const char*> {
protected:
    // The history beside the list per task name: each outcome's occurrence, kind and text.
    std::map<std::string, nlohmann::json> Histories(const std::map<std::string, std::string>& mapTemplates) const {
        const nlohmann::json jStore = nlohmann::json::parse(CTempDir::ReadFile(DataDir() + "tasks.json"));
        std::map<std::string, nlohmann::json> map;
        for (const auto& [strName, strTemplate] : mapTemplates)
            map[strName] = jStore["tasks"][fs::path(strTemplate).filename().string()]["history"];
        return map;
    }
};

// Daily tasks started days ago, their rules set with the tool, one start of
// the host: which occurrences go (by the date in the subject), the history,
// `list --json` and `show`, the next sending past now, and a second start
// that sends nothing more.
TEST_P(MissedWhileOffTest, EachRuleSendsExactlyItsOccurrencesOnceAndMovesOnPastNow) {
    CZoneGuard zone(GetParam());
    const TaskDateTime dtLast = MinuteFromNow(-2);
    const TaskDateTime dtFirst = DaysLater(dtLast, 1 - kMissedDays);
    CTaskList list;
    std::map<std::string, std::string> mapTemplates;
    for (const CMissedCase& c : kCases) {
        CTaskItem task =
            Task(c.pszName, MakeTemplate(c.pszName, std::string(c.pszName) + " {date:%Y-%m-%d}", "Daily\n"), 2, dtFirst,
                 true);
        task.m_nDailyInterval = 1;
        mapTemplates[c.pszName] = task.m_strTemplateFile;
        list.Add(task);
    }
    Import(list);
    for (const CMissedCase& c : kCases) {
        std::vector<std::string> vecArgs = {"set", c.pszName};
        vecArgs.insert(vecArgs.end(), c.vecRuleArgs.begin(), c.vecRuleArgs.end());
        const CShellRun run = Tool(vecArgs);
        ASSERT_EQ(run.nExit, 0) << c.pszName << ": " << run.strErr;
    }
    // `set` schedules the task anew from the present, as the sheet does; the
    // list imported again puts the missed occurrences back and keeps the
    // rules, whose entries are keyed by the templates' names.
    Import(list);
    for (const auto& jTask : Export()) ASSERT_EQ(jTask["nextSending"]["day"], dtFirst.nDay) << jTask.dump();

    size_t nExpected = 0;
    for (const CMissedCase& c : kCases)
        for (const std::string& str : c.vecSkipped) nExpected += str.empty();
    const std::string strNext = TaskTime::Format(DaysLater(dtLast, 1));
    StartHost();
    ASSERT_TRUE(WaitForMessages(nExpected, seconds(60))) << HostLog();
    // Every task has moved on once its last outcome is in (sent, not only handed over).
    WaitUntil(
        [&] {
            const CShellRun run = Tool({"list", "--json"});
            bool bDone = run.nExit == 0;
            for (const auto& jTask : nlohmann::json::parse(run.nExit == 0 ? run.strOut : "[]"))
                bDone = bDone && jTask["nextSending"] == strNext && jTask.contains("lastResult") &&
                        jTask["lastResult"]["kind"] != "handed-over";
            return bDone;
        },
        seconds(30));
    std::this_thread::sleep_for(seconds(2));  // ticks that must send nothing more
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
    ASSERT_EQ(m_server.Received().size(), nExpected) << HostLog();

    const auto mapHistories = Histories(mapTemplates);
    const nlohmann::json jList = nlohmann::json::parse(Tool({"list", "--json"}).strOut);
    ASSERT_EQ(jList.size(), std::size(kCases));
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const CMissedCase& c = kCases[i];
        SCOPED_TRACE(c.pszName);
        const nlohmann::json& jHistory = mapHistories.at(c.pszName);
        ASSERT_EQ(jHistory.size(), static_cast<size_t>(kMissedDays)) << jHistory.dump(1);
        int nSent = 0;
        for (int nDay = 0; nDay < kMissedDays; ++nDay) {
            const TaskDateTime dtOccurrence = DaysLater(dtFirst, nDay);
            const std::string strSkipped = c.vecSkipped[nDay];
            const std::string strSubject = std::string(c.pszName) + " " + TaskTime::Format(dtOccurrence).substr(0, 10);
            EXPECT_EQ(CountSubject(strSubject), strSkipped.empty() ? 1u : 0u) << strSubject;
            nSent += strSkipped.empty();
            EXPECT_EQ(jHistory[nDay]["occurrence"], TaskTime::Format(dtOccurrence));
            EXPECT_EQ(jHistory[nDay]["kind"], strSkipped.empty() ? "sent" : "skipped") << jHistory[nDay].dump();
            if (!strSkipped.empty()) {
                EXPECT_EQ(jHistory[nDay]["text"], strSkipped);
            }
        }
        // A skip by a rule does not use up an occurrence.
        EXPECT_EQ(Export()[i]["occurrenceCount"], nSent);
        const nlohmann::json& jTask = jList[i];
        EXPECT_EQ(jTask["name"], c.pszName);
        EXPECT_EQ(jTask["nextSending"], strNext);
        EXPECT_GT(ValueOf(TaskTime::ToAbsolute(DaysLater(dtLast, 1))), std::time(nullptr));
        EXPECT_EQ(jTask["lastResult"]["occurrence"], TaskTime::Format(dtLast));
        EXPECT_EQ(jTask["rules"], nlohmann::json::parse(c.pszRulesLeft));
        const std::string strShow = Tool({"show", c.pszName}).strOut;
        const std::string strLastSkip = c.vecSkipped.back();
        EXPECT_TRUE(Contains(strShow, strLastSkip.empty() ? "Last sent:       " + TaskTime::Format(dtLast)
                                                          : "was skipped by the task's rules: " + strLastSkip))
            << strShow;
        EXPECT_TRUE(Contains(
            strShow,
            "Occurrences:     " + std::to_string(nSent) + " so far" +
                (nSent ? ", " + std::to_string(nSent) + " sent" : "") +
                (nSent == kMissedDays ? "\n" : "; " + std::to_string(kMissedDays - nSent) + " skipped by its rules\n")))
            << strShow;
    }

    // A second start finds nothing due.
    const std::string strSecondLog = m_dir / "host-again.log";
    StartHost(m_host, strSecondLog);
    ASSERT_TRUE(WaitForLog(strSecondLog, kConnected, seconds(30))) << CTempDir::ReadFile(strSecondLog);
    std::this_thread::sleep_for(seconds(3));
    m_host.Stop();
    EXPECT_EQ(m_server.Received().size(), nExpected);
    EXPECT_EQ(Histories(mapTemplates), mapHistories);
}

INSTANTIATE_TEST_SUITE_P(Zones, MissedWhileOffTest, TestZones("America/New_York", "Pacific/Chatham"),
                         [](const auto& info) { return ZoneTestName(info.param); });

}  // namespace
