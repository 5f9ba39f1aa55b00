// Texts that know their occurrence, and entries that match nothing, through
// the headless host and a loopback SMTP server: the subject, the body and
// an attachment entry filled for the occurrence; a task that skips without
// its file; one that waits for a file written late; one whose wait ends
// unsent. The rules are in the store beside the list, as the tool keeps them.
#include <filesystem>

#include "CHeadlessTestBase.h"
#include "Contains.h"
#include "ResultValue.h"
#include "TaskTime.h"

namespace fs = std::filesystem;
using std::chrono::seconds;

namespace {

class TaskTextTest : public CHeadlessTestBase {
protected:
    // The store's entry of the task whose template is strTemplate, with these rules.
    static nlohmann::json Entry(const std::string& strId, const nlohmann::json& jRules) {
        return {{"id", strId}, {"history", nlohmann::json::array()}, {"settings", {{"rules", jRules}}}};
    }
    static std::string Two(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }
};

}  // namespace

TEST_F(TaskTextTest, PlaceholdersAreFilledAndEntriesMatchingNothingFollowTheTasksRules) {
    const TaskDateTime dtNow = MinuteFromNow(0);
    // Written from the calendar, not through the code that fills them.
    const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
    const std::string strDate = std::to_string(dtNow.nYear) + "-" + Two(dtNow.nMonth) + "-" + Two(dtNow.nDay);
    const std::string strLastMonth = std::string(kMonths[(dtNow.nMonth + 10) % 12]) + " " +
                                     std::to_string(dtNow.nMonth == 1 ? dtNow.nYear - 1 : dtNow.nYear);
    const fs::path folder = m_dir / "reports";
    fs::create_directories(folder);
    CTempDir::WriteFile(folder / (strDate + ".csv"), "day,total\n");

    CTaskList list;
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
    Import(list);
    const nlohmann::json jStore = {
        {"version", 2},
        {"tasks",
         {{fs::path(skipper.m_strTemplateFile).filename().string(),
           Entry("00000000000000b1", {{"ifNothingAttached", "skip"}})},
          {fs::path(waiter.m_strTemplateFile).filename().string(),
           Entry("00000000000000b2", {{"ifNothingAttached", "wait"}, {"waitMinutes", 1}, {"waitDeadlineMinutes", 5}})},
          {fs::path(giver.m_strTemplateFile).filename().string(),
           Entry("00000000000000b3",
                 {{"ifNothingAttached", "wait"}, {"waitMinutes", 1}, {"waitDeadlineMinutes", 1}})}}}};
    CTempDir::WriteFile(DataDir() + "tasks.json", jStore.dump(2));

    StartHost();
    const std::string strLog = m_dir / "host.log";
    ASSERT_TRUE(WaitForLog(strLog,
                           "task \"Waiter\", occurrence " + TaskTime::Format(dtNow) +
                               ", subject \"Late report\": waiting for its attachments: nothing matched " +
                               (folder / ("late-" + Two(dtNow.nDay) + ".csv")).string(),
                           seconds(60)))
        << CTempDir::ReadFile(strLog);
    CTempDir::WriteFile(folder / ("late-" + Two(dtNow.nDay) + ".csv"), "written late\n");
    ASSERT_TRUE(WaitForMessages(2, seconds(100))) << CTempDir::ReadFile(strLog);
    // The giver's wait ended a minute after its occurrence: skipped, told by then.
    ASSERT_TRUE(WaitForLog(strLog,
                           "task \"Giver\", occurrence " + TaskTime::Format(dtNow) +
                               ", subject \"Given up\": skipped: nothing matched " + (folder / "never.csv").string() +
                               " by ",
                           seconds(100)))
        << CTempDir::ReadFile(strLog);
    m_host.Stop();
    const std::string strHostLog = CTempDir::ReadFile(strLog);
    EXPECT_TRUE(Contains(strHostLog, "task \"Skipper\", occurrence " + TaskTime::Format(dtNow) +
                                         ", subject \"Skipped report\": skipped: nothing matched " +
                                         (folder / "missing-1.csv").string()))
        << strHostLog;

    ASSERT_EQ(m_server.Received().size(), 2u);
    EXPECT_EQ(CountSubject("Report " + strDate + " #1 Filled"), 1u);
    EXPECT_EQ(CountSubject("Late report"), 1u);
    for (const auto& r : m_server.Received()) {
        if (Contains(r.strData, "Subject: Report")) {
            EXPECT_TRUE(Contains(r.strData, "Figures of " + strLastMonth + ", {as agreed}.")) << r.strData;
            EXPECT_TRUE(Contains(r.strData, strDate + ".csv")) << r.strData;
        } else {
            EXPECT_TRUE(Contains(r.strData, "late-" + Two(dtNow.nDay) + ".csv")) << r.strData;
        }
    }
    // Every once task is done with: two sent, two skipped, none waits any more.
    const nlohmann::json j = Export();
    ASSERT_EQ(j.size(), 4u);
    for (const auto& jTask : j) EXPECT_EQ(jTask["nextSending"]["year"], 0) << jTask.dump();
    const std::string strStore = CTempDir::ReadFile(DataDir() + "tasks.json");
    const nlohmann::json jKept = nlohmann::json::parse(strStore);
    for (const auto& [pTask, strKind] : {std::pair{&skipper, "skipped"}, {&giver, "skipped"}, {&waiter, "sent"}}) {
        const std::string strFile = fs::path(pTask->m_strTemplateFile).filename().string();
        ASSERT_TRUE(jKept["tasks"].contains(strFile)) << strStore;
        EXPECT_EQ(jKept["tasks"][strFile]["history"].back()["kind"], strKind) << strStore;
    }
}
