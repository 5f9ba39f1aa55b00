// Occurrences that fell due while no host ran, end to end: daily tasks
// started days ago, their rules set with the tool, one start of the headless
// host. Each task's messages (which occurrences, by the date in the subject),
// the history beside the list, what `list --json` and `show` say, the next
// sending past the present, and a second start that sends nothing more.
#include <filesystem>
#include <map>
#include <thread>

#include "CHeadlessTestBase.h"
#include "Contains.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "TestZones.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;
using std::chrono::seconds;

namespace {

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
    // The history beside the list, per task name: each outcome's occurrence, kind and text.
    std::map<std::string, nlohmann::json> Histories(const std::map<std::string, std::string>& mapTemplates) const {
        const nlohmann::json jStore = nlohmann::json::parse(CTempDir::ReadFile(DataDir() + "tasks.json"));
        std::map<std::string, nlohmann::json> map;
        for (const auto& [strName, strTemplate] : mapTemplates)
            map[strName] = jStore["tasks"][fs::path(strTemplate).filename().string()]["history"];
        return map;
    }
};

}  // namespace

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
    const std::string strLog = m_dir / "host.log";
    ASSERT_TRUE(WaitForMessages(nExpected, seconds(60))) << CTempDir::ReadFile(strLog);
    // Every task has moved on once its last outcome is in (sent, not only handed over).
    const auto tEnd = std::chrono::steady_clock::now() + seconds(30);
    for (bool bDone = false; !bDone && std::chrono::steady_clock::now() < tEnd;) {
        const CShellRun run = Tool({"list", "--json"});
        bDone = run.nExit == 0;
        for (const auto& jTask : nlohmann::json::parse(run.nExit == 0 ? run.strOut : "[]"))
            bDone = bDone && jTask["nextSending"] == strNext && jTask.contains("lastResult") &&
                    jTask["lastResult"]["kind"] != "handed-over";
        if (!bDone) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::this_thread::sleep_for(seconds(2));  // ticks that must send nothing more
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
    const std::string strHostLog = CTempDir::ReadFile(strLog);
    ASSERT_EQ(m_server.Received().size(), nExpected) << strHostLog;

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
    ASSERT_TRUE(WaitForLog(strSecondLog, "add-in Quillory (TarnwickQuillory.Addin) connected", seconds(30)))
        << CTempDir::ReadFile(strSecondLog);
    std::this_thread::sleep_for(seconds(3));
    m_host.Stop();
    EXPECT_EQ(m_server.Received().size(), nExpected);
    EXPECT_EQ(Histories(mapTemplates), mapHistories);
}

INSTANTIATE_TEST_SUITE_P(Zones, MissedWhileOffTest, TestZones("America/New_York", "Pacific/Chatham"),
                         [](const auto& info) { return ZoneTestName(info.param); });
