// `mailhost status` against the real host and tool: whether a host runs,
// the Outbox with the server's reasons (kept after the host stops), and
// the tasks due within the hour, worked out in several zones.
#include <filesystem>
#include <regex>

#include "CHeadlessTestBase.h"
#include "CMailhostRun.h"
#include "Contains.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

using std::chrono::seconds;

class StatusCommandTest : public CHeadlessTestBase {
protected:
    CMailhostRun Status(std::vector<std::string> vecArgs = {}) {
        vecArgs.insert(vecArgs.begin(), "status");
        return CMailhostRun::Run(m_dir, vecArgs);
    }
    bool WaitForStatus(const std::string& strText) {
        return WaitUntil([&] { return Status().strOut.find(strText) != std::string::npos; }, seconds(60));
    }
    void Queue(const std::string& strSubject, const std::string& strTo) {
        CMailMessage msg;
        msg.strFrom = "sender@example.org";
        msg.vecTo = {strTo};
        msg.strSubject = strSubject;
        QueueInOutbox(msg);
    }
    static TaskDateTime At(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
        return {nYear, nMonth, nDay, 0, nHour, nMinute, 0};
    }
};

TEST_F(StatusCommandTest, ShowsTheHostAndTheOutboxWithTheServersReasons) {
    // Refuses one recipient for good and asks to try the other message later.
    CSmtpServer picky(m_dir / "picky");
    picky.Start({.vecRefuse = {"nobody@example.org"}, .strDataReply = "451 4.3.0 try again later"});
    WriteAccount(picky.Port());
    Queue("Later", "rita@example.com");
    Queue("Never", "nobody@example.org");

    CMailhostRun run = Status();
    EXPECT_EQ(run.nStatus, 4) << run.strErr;
    EXPECT_TRUE(Contains(run.strOut, "host: not running\n"));
    EXPECT_TRUE(Contains(run.strOut, "Outbox: 2 waiting, 0 retrying, 0 failed, 0 in doubt\n"));

    StartHost();
    ASSERT_TRUE(WaitForStatus("Outbox: 0 waiting, 1 retrying, 1 failed, 0 in doubt\n")) << Status().strOut << HostLog();
    run = Status();
    EXPECT_EQ(run.nStatus, 5) << "failed for good outranks waiting to retry";
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.strOut, m,
                                  std::regex("host: running, pid ([0-9]+), headless, since "
                                             "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\n")))
        << run.strOut;
    EXPECT_EQ(CTempDir::ReadFile("/proc/" + m[1].str() + "/cmdline"),
              std::string(MAILHOST_PROGRAM) + '\0' + "--headless" + '\0')
        << "the host's own pid";
    EXPECT_TRUE(std::regex_search(
        run.strOut, std::regex("\n  retrying  \"Later\" to rita@example.com: [^\n]*451[^\n]*\\(attempt [0-9]+\\)\n")))
        << run.strOut;
    EXPECT_TRUE(std::regex_search(run.strOut, std::regex("\n  failed    \"Never\" to nobody@example.org: [^\n]*550")))
        << run.strOut;

    // Stopped, the host leaves its word on each message behind; a new one waits.
    m_host.Stop();
    Queue("Meanwhile", "rita@example.com");
    run = Status();
    EXPECT_TRUE(Contains(run.strOut, "host: not running\n"));
    EXPECT_TRUE(Contains(run.strOut, "Outbox: 1 waiting, 1 retrying, 1 failed, 0 in doubt\n"));
    EXPECT_TRUE(Contains(run.strOut, "\n  waiting   \"Meanwhile\" to rita@example.com\n"));
    EXPECT_TRUE(Contains(run.strOut, "\n  retrying  \"Later\""));
}

// What a script relies on: the exit status, the same in text and JSON,
// for each way a running host and a loopback server can leave the Outbox.
TEST_F(StatusCommandTest, TheExitStatusSaysWhetherAnythingWaitsInFailure) {
    const struct {
        const char* pszName;
        CSmtpServer::COptions server;
        int nExit;
        std::string strCounts;  // the Outbox line's counts
    } kRows[] = {
        {"the server says later",
         {.strDataReply = "451 4.3.0 try again later"},
         6,
         "0 waiting, 1 retrying, 0 failed, 0 in doubt"},
        {"all delivered", {}, 0, "0 waiting, 0 retrying, 0 failed, 0 in doubt"},
    };
    int nRow = 0;
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.pszName);
        m_host.Stop();
        std::filesystem::remove_all(m_dir / "data/mailhost");
        CSmtpServer server(m_dir / ("server" + std::to_string(++nRow)));
        server.Start(row.server);
        WriteAccount(server.Port());
        Queue("Report", "rita@example.com");
        StartHost();
        // The host line and the Outbox are read one after the other: a host
        // starting in between may have sent the message already.
        CMailhostRun run;
        WaitUntil(
            [&] {
                run = Status();
                return Contains(run.strOut, "Outbox: " + row.strCounts + "\n") && run.nStatus == row.nExit;
            },
            seconds(60));
        EXPECT_TRUE(Contains(run.strOut, "Outbox: " + row.strCounts + "\n"));
        EXPECT_EQ(run.nStatus, row.nExit) << run.strOut << run.strErr << HostLog();
        const CMailhostRun runJson = Status({"--json"});
        EXPECT_EQ(runJson.nStatus, row.nExit);
        const auto json = nlohmann::json::parse(runJson.strOut, nullptr, false);
        ASSERT_TRUE(json.is_object()) << runJson.strOut;
        EXPECT_EQ(json["exitStatus"], row.nExit);
        EXPECT_EQ(json["host"]["running"], true);
        const auto& outbox = json["outbox"];
        EXPECT_EQ(std::to_string(outbox["waiting"].get<int>()) + " waiting, " +
                      std::to_string(outbox["retrying"].get<int>()) + " retrying, " +
                      std::to_string(outbox["failed"].get<int>()) + " failed, " +
                      std::to_string(outbox["inDoubt"].get<int>()) + " in doubt",
                  row.strCounts);
        if (row.nExit != 0) {
            ASSERT_EQ(outbox["messages"].size(), 1u) << runJson.strOut;
            EXPECT_EQ(outbox["messages"][0]["subject"], "Report");
            EXPECT_EQ(outbox["messages"][0]["to"], nlohmann::json::array({"rita@example.com"}));
        }
    }
}

// A task whose last occurrence was not sent is named with the reason, by
// the tool's structured listing, and counts as no failure that waits.
TEST_F(StatusCommandTest, ATaskWhoseTemplateWasMissingNeedsAttention) {
    const TaskDateTime dtDue = MinuteFromNow(-3);  // read once: the host may start in the next minute
    CTaskList list;
    list.Add(Task("No template", (m_dir / "gone.oft"), 0, dtDue, true));
    Import(list);
    StartHost();
    ASSERT_TRUE(
        WaitForStatus("tasks needing attention:\n  No template: template missing: " + (m_dir / "gone.oft") + "\n"))
        << Status().strOut << HostLog();
    EXPECT_EQ(Status().nStatus, 0);
    const auto json = nlohmann::json::parse(Status({"--json"}).strOut);
    EXPECT_EQ(json["tasks"]["needingAttention"][0]["lastResult"]["kind"], "template-missing");
    // The journal's one line names the task and the occurrence.
    EXPECT_TRUE(WaitForLog(m_dir / "host.log",
                           "Quillory: task \"No template\", occurrence " + TaskTime::Format(dtDue) +
                               ": template missing: " + (m_dir / "gone.oft") + "\n",
                           seconds(10)))
        << HostLog();
}

TEST_F(StatusCommandTest, TasksDueWithinTheHourCountRealMinutesInEveryZone) {
    // On 29 March 2026 Berlin's clocks go from 02:00 to 03:00; New York
    // changed on 8 March and UTC never does. From 01:30 local, 03:20 is 50
    // real minutes away in Berlin and 110 everywhere else.
    CTaskList list;
    auto Add = [&list](const char* pszName, TaskDateTime dtNext, bool bActive, int nRecurrence = 1) {
        CTaskItem t = Task(pszName, "/nowhere/t.oft", nRecurrence, dtNext, true);
        t.m_bActive = bActive;
        if (nRecurrence == 0) t.m_dtNextSending.Empty();
        list.Add(t);
    };
    Add("past the gap", At(2026, 3, 29, 3, 20), true);
    Add("overdue", At(2026, 3, 29, 1, 10), true);
    Add("disabled", At(2026, 3, 29, 1, 45), false);
    Add("in half an hour", At(2026, 3, 29, 1, 59), true);
    Add("tomorrow", At(2026, 3, 30, 1, 40), true);
    Add("completed", At(2026, 3, 29, 1, 0), true, 0);
    Import(list);

    for (const auto& [pszTz, bGapDue] :
         {std::pair{"UTC", false}, {"Europe/Berlin", true}, {"America/New_York", false}}) {
        CZoneGuard guard(pszTz);
        const CMailhostRun run = Status({"--now", "2026-03-29 01:30"});
        EXPECT_EQ(run.nStatus, 4) << pszTz << run.strErr;  // no host
        std::string strExpected = "tasks due in the next hour:\n";
        if (bGapDue) strExpected += "  2026-03-29 03:20  past the gap\n";
        strExpected += "  2026-03-29 01:10  overdue (overdue)\n  2026-03-29 01:59  in half an hour\n";
        const size_t nAt = run.strOut.find("tasks due");
        EXPECT_EQ(nAt == std::string::npos ? run.strOut : run.strOut.substr(nAt), strExpected) << pszTz;
    }
    // The host reads dates with the tool's parser: a day its month lacks is
    // a mistake, not the 2nd of March.
    const CMailhostRun run = Status({"--now", "2027-02-30 09:00"});
    EXPECT_EQ(run.nStatus, 1);
    EXPECT_TRUE(Contains(run.strErr, "--now must be \"YYYY-MM-DD HH:MM\", not \"2027-02-30 09:00"));
}

}  // namespace
