// The headless host under faults, as real processes: SIGKILL anywhere in a
// busy minute, a full disk, a data folder it cannot write. Each occurrence
// reaches the server once (one cut off mid-transfer is held in doubt, never
// sent twice), none is lost, and the reason is told.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "CHeadlessTestBase.h"
#include "CMailStore.h"
#include "CMailhostRun.h"
#include "CSeededRandom.h"
#include "CTaskListFile.h"
#include "CTextCodec.h"
#include "Contains.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

class FaultsTest : public CHeadlessTestBase {
protected:
    // How often each subject starting with strPrefix reached the server.
    std::map<std::string, int> Arrivals(const std::string& strPrefix) const {
        std::map<std::string, int> map;
        const std::string strField = "Subject: " + strPrefix;
        for (const auto& r : m_server.Received()) {
            const size_t nAt = r.strData.find(strField);
            if (nAt == std::string::npos) continue;
            const size_t nValue = nAt + std::string("Subject: ").size();
            ++map[r.strData.substr(nValue, r.strData.find_first_of("\r\n", nValue) - nValue)];
        }
        return map;
    }
    // The subjects of the Outbox messages held in doubt.
    std::set<std::string> InDoubt() const {
        CMailStore store(m_dir / "data/mailhost");
        std::set<std::string> set;
        for (const auto& strId : store.List(EMailFolder::Outbox)) {
            CMailMessage msg;
            if (store.GetRecord(strId).state == EHostEvent::InDoubt && store.Load(EMailFolder::Outbox, strId, msg))
                set.insert(msg.strSubject);
        }
        return set;
    }
    // The task list as the file has it now.
    CTaskList FileList() const {
        CTaskList list;
        (void)CTaskListFile::LoadTaskList(TaskFile(), list, m_codec);  // the callers compare what was read
        return list;
    }
    int Handled(const CTaskList& list) const {
        int n = 0;
        for (const CTaskItem& t : list) n += t.m_nOccurrenceCount > 0;
        return n;
    }
    // Once tasks named strPrefix + index, due in this minute, each with its own subject.
    void ImportOnce(const std::string& strPrefix, int nCount) {
        CTaskList list;
        for (int i = 0; i < nCount; ++i) {
            const std::string strName = strPrefix + std::to_string(i);
            list.Add(Task(strName, MakeTemplate(strName, strName, "Body\n"), 0, MinuteFromNow(0), true));
        }
        Import(list);
    }
    static size_t FilesIn(const fs::path& dir) {
        std::error_code ec;
        size_t n = 0;
        for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) ++n;
        return n;
    }
    // The host started in a private mount namespace after strSetup (a shell
    // script, $1 the data home, $2 a scratch folder); only it sees the mounts.
    void StartHostIn(const std::string& strSetup) {
        fs::create_directories(m_dir / "stage");
        m_host.Start({"/usr/bin/unshare", "-m", "--propagation", "private", "sh", "-c",
                      "set -e; " + strSetup + "; exec \"$3\" --headless", "sh", m_dir / "data", m_dir / "stage",
                      MAILHOST_PROGRAM},
                     false, m_dir / "host.log");
    }
    int InHostNamespace(const std::string& strCommand) const {
        return CTestProcess::Run(
            {"/usr/bin/nsenter", "-t", std::to_string(m_host.Pid()), "-m", "sh", "-c", strCommand});
    }

    const CTextCodec m_codec = CTextCodec::Open("UTF-8").Value();
};

// Where in the busy minute the host is killed.
enum class EKillAt { FirstArrived, Midway, BeforeSave, AfterSave, Anywhere };

// 100 tasks due in one minute; the host killed at each point, then started
// again. QUILLORY_CRASH_KILLS asks for more kills (the rest at random moments).
TEST_F(FaultsTest, AHostKilledAnywhereInABusyMinuteSendsEachOccurrenceOnce) {
    constexpr int kTasks = 100;
    const char* pszKills = std::getenv("QUILLORY_CRASH_KILLS");
    const int nKills = pszKills ? std::max(1, std::atoi(pszKills)) : 4;
    const uint64_t nSeed = static_cast<uint64_t>(std::time(nullptr));
    RecordProperty("seed", std::to_string(nSeed));
    CSeededRandom random(nSeed);
    for (int nKill = 0; nKill < nKills; ++nKill) {
        const EKillAt at = nKill < 4 ? static_cast<EKillAt>(nKill) : EKillAt::Anywhere;
        const std::string strPrefix = "k" + std::to_string(nKill) + "t";
        SCOPED_TRACE("kill " + std::to_string(nKill) + ", seed " + std::to_string(nSeed));
        ImportOnce(strPrefix, kTasks);
        const auto tListWritten = fs::last_write_time(TaskFile());
        const fs::path outbox = m_dir / "data/mailhost/Outbox/cur", sent = m_dir / "data/mailhost/Sent Items/cur";

        StartHost();
        bool bReached = true;
        switch (at) {
            case EKillAt::FirstArrived:
                bReached = WaitUntil([&] { return !Arrivals(strPrefix).empty(); }, seconds(30));
                break;
            case EKillAt::Midway:
                bReached = WaitUntil([&] { return Arrivals(strPrefix).size() >= kTasks / 2; }, seconds(60));
                break;
            case EKillAt::BeforeSave:
                // Queued or sent, the list not yet written (or just written: still a kill).
                bReached = WaitUntil([&] { return FilesIn(outbox) + FilesIn(sent) >= 20; }, seconds(30));
                RecordProperty("killed_before_save", fs::last_write_time(TaskFile()) == tListWritten ? 1 : 0);
                break;
            case EKillAt::AfterSave:
                bReached = WaitUntil([&] { return fs::last_write_time(TaskFile()) != tListWritten; }, seconds(30));
                break;
            case EKillAt::Anywhere: std::this_thread::sleep_for(milliseconds(random.Int(500, 6000))); break;
        }
        m_host.Kill();
        EXPECT_TRUE(bReached) << "the kill point was not reached\n" << HostLog();
        RecordProperty("arrived_before_restart_" + std::to_string(nKill), static_cast<int>(Arrivals(strPrefix).size()));

        CTaskList killed;
        CTaskListFile::CLoadCounts counts;
        const auto rLoaded = CTaskListFile::LoadTaskList(TaskFile(), killed, m_codec, &counts);
        ASSERT_EQ(rLoaded.Problem(), "") << "a kill never damages the list";
        ASSERT_EQ(killed.GetSize(), kTasks);

        StartHost();
        ASSERT_TRUE(WaitUntil([&] { return Handled(FileList()) == kTasks; }, seconds(90))) << HostLog();
        // Every message out of the Outbox: arrived, or held in doubt.
        ASSERT_TRUE(WaitUntil(
            [&] {
                size_t nDoubt = 0;
                for (const auto& str : InDoubt()) nDoubt += str.rfind(strPrefix, 0) == 0;
                return Arrivals(strPrefix).size() + nDoubt >= kTasks;
            },
            seconds(90)))
            << HostLog();
        std::this_thread::sleep_for(milliseconds(1500));  // time for a copy to arrive, if one were sent
        m_host.Stop();

        const auto mapArrived = Arrivals(strPrefix);
        const auto setDoubt = InDoubt();
        int nDoubt = 0;
        for (int i = 0; i < kTasks; ++i) {
            const std::string strName = strPrefix + std::to_string(i);
            const auto it = mapArrived.find(strName);
            const int nArrived = it == mapArrived.end() ? 0 : it->second;
            EXPECT_LE(nArrived, 1) << strName << " arrived more than once";
            if (nArrived == 0) {
                EXPECT_TRUE(setDoubt.count(strName)) << strName << " neither arrived nor is held in doubt";
                ++nDoubt;
            }
        }
        // The host hands one message at a time to the server.
        EXPECT_LE(nDoubt, 1);
    }
}

// A full disk under the profile and the task list: nothing reaches the
// Outbox, nothing is counted, the reason is told; once there is room each
// occurrence goes out once, late, the minutely task's too.
TEST_F(FaultsTest, AFullDiskLosesNoOccurrenceAndSaysWhy) {
    if (::geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
    StartHostAndWait();  // makes the profile
    m_host.Stop();
    CTaskList list;
    for (int i = 0; i < 3; ++i) {
        const std::string strName = "full once " + std::to_string(i);
        list.Add(Task(strName, MakeTemplate(strName, strName, "Body\n"), 0, MinuteFromNow(0), true));
    }
    CTaskItem minutely =
        Task("full minutely", MakeTemplate("minutely", "full minutely", "Body\n"), 1, MinuteFromNow(0), true);
    minutely.m_nMinuteInterval = 1;
    list.Add(minutely);
    Import(list);

    StartHostIn(
        "cp -a \"$1/.\" \"$2\"; mount -t tmpfs -o size=16m quillory-full \"$1\"; cp -a \"$2/.\" \"$1\"; "
        "dd if=/dev/zero of=\"$1/filler\" bs=64k 2>/dev/null || true");
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "the host cannot store the message now", seconds(30))) << HostLog();
    EXPECT_TRUE(Contains(HostLog(), "No space left on device"));
    std::this_thread::sleep_for(seconds(2));
    EXPECT_TRUE(Arrivals("full").empty());
    (void)InHostNamespace("'" + std::string(MAILHOST_PROGRAM) + "' status > '" + m_dir / "status.txt" + "'");
    const std::string strStatus = CTempDir::ReadFile(m_dir / "status.txt");
    EXPECT_TRUE(Contains(strStatus, "cannot store new messages: "));
    EXPECT_TRUE(Contains(strStatus, "No space left on device"));

    ASSERT_EQ(InHostNamespace("rm -f '" + m_dir / "data/filler" + "'"), 0);
    // Tried again at the next minute.
    ASSERT_TRUE(WaitUntil([&] { return Arrivals("full").size() == 4; }, seconds(80))) << HostLog();
    // The minutely task catches up one occurrence a second, until the file and the server agree.
    nlohmann::json j;
    const auto fnSettled = [&] {
        std::this_thread::sleep_for(milliseconds(300));
        if (InHostNamespace("'" + std::string(QUILLORY_CLI) + "' export > '" + m_dir / "full.json" + "'") != 0)
            return false;
        j = nlohmann::json::parse(CTempDir::ReadFile(m_dir / "full.json"));
        return Arrivals("full")["full minutely"] == j[3]["occurrenceCount"].get<int>();
    };
    EXPECT_TRUE(WaitUntil(fnSettled, seconds(20))) << "every minute of the outage goes out late, once each";
    m_host.Stop();

    const auto mapArrived = Arrivals("full");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(j[i]["occurrenceCount"], 1);
        EXPECT_EQ(j[i]["nextSending"]["year"], 0) << "completed only once sent";
        EXPECT_EQ(mapArrived.at("full once " + std::to_string(i)), 1);
    }
    EXPECT_GE(j[3]["occurrenceCount"], 1);
}

// A data folder the host cannot write (immutable binds root too): the
// messages go, the list cannot record them and says so, and after a
// restart with it writable none goes a second time.
TEST_F(FaultsTest, AnUnwritableDataFolderSendsEachOccurrenceOnceAcrossRestarts) {
    ImportOnce("ro", 3);
    if (CTestProcess::Run({"/usr/bin/chattr", "+i", DataDir()}) != 0) GTEST_SKIP() << "chattr +i needs root and ext4";
    struct CWritableAgain {
        std::string strFolder;
        ~CWritableAgain() { (void)CTestProcess::Run({"/usr/bin/chattr", "-i", strFolder}); }  // the temp folder must go
    } writable{DataDir()};
    StartHost();
    ASSERT_TRUE(WaitUntil([&] { return Arrivals("ro").size() == 3; }, seconds(30))) << HostLog();
    ASSERT_TRUE(WaitForLog(m_dir / "host.log", "Operation not permitted", seconds(10))) << HostLog();
    // Told where an administrator looks, not only on the journal.
    CMailhostRun status = CMailhostRun::Run(m_dir, {"status"});
    EXPECT_EQ(status.nStatus, 5) << status.strOut << status.strErr;
    EXPECT_TRUE(Contains(status.strOut, "task list: cannot be saved: "));
    EXPECT_TRUE(Contains(status.strOut, "Operation not permitted"));
    m_host.Stop();
    EXPECT_EQ(Handled(FileList()), 0) << "the list could not record the sending";

    ASSERT_EQ(CTestProcess::Run({"/usr/bin/chattr", "-i", DataDir()}), 0);
    StartHost();
    ASSERT_TRUE(WaitUntil([&] { return Handled(FileList()) == 3; }, seconds(30))) << HostLog();
    status = CMailhostRun::Run(m_dir, {"status"});
    EXPECT_FALSE(Contains(status.strOut, "cannot be saved"));
    std::this_thread::sleep_for(seconds(2));
    m_host.Stop();
    EXPECT_TRUE(Contains(HostLog(), "the host holds its message already"));
    for (const auto& [strSubject, nArrived] : Arrivals("ro")) EXPECT_EQ(nArrived, 1) << strSubject;
    EXPECT_EQ(Arrivals("ro").size(), 3u);
}

}  // namespace
