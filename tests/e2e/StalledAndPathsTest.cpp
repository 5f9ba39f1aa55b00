// The headless host with the add-in: a weekly task with no day ticked goes
// out once and not again, and a host started with relative profile,
// accounts and registry paths keeps using them after the add-in has moved
// the process into its install folder.
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "CHeadlessTestBase.h"
#include "CTaskListFile.h"
#include "CTextCodec.h"
#include "Contains.h"

namespace fs = std::filesystem;

namespace {

using std::chrono::seconds;

class StalledAndPathsTest : public CHeadlessTestBase {};

TEST_F(StalledAndPathsTest, AWeeklyTaskWithNoDayTickedIsSentOnce) {
    CTaskList list;
    CTaskItem t = Task("no day", MakeTemplate("no-day", "No day ticked", "Weekly body\n"), 3, MinuteFromNow(-2), true);
    t.m_nWeeklyInterval = 1;
    for (int32_t& b : t.m_bWeekDays) b = 0;
    list.Add(t);
    // The tool refuses such a task; a file written by an older version or by
    // hand may still hold one.
    std::filesystem::create_directories(DataDir());
    ASSERT_EQ(CTaskListFile::SaveTaskList(TaskFile(), list, CTextCodec::Open("UTF-8").Value()).Problem(), "");

    StartHost();
    ASSERT_TRUE(WaitForMessages(1, seconds(60))) << CTempDir::ReadFile(m_dir / "host.log");
    // Before, every tick (one a second) sent it again.
    std::this_thread::sleep_for(seconds(6));
    m_host.Stop();
    EXPECT_EQ(CountSubject("No day ticked"), 1u);
    const std::string strLog = CTempDir::ReadFile(m_dir / "host.log");
    EXPECT_TRUE(Contains(strLog, "task \"no day\" is completed: its schedule cannot move on"));
    EXPECT_TRUE(Contains(strLog, "a weekly task with no day ticked"));
}

TEST_F(StalledAndPathsTest, RelativeHostPathsStayWhereTheHostStarted) {
    const fs::path old = fs::current_path();
    struct CBack {
        fs::path dir;
        ~CBack() {
            fs::current_path(dir);
            unsetenv("MAILHOST_PROFILE");
            unsetenv("MAILHOST_ACCOUNTS");
        }
    } back{old};
    fs::current_path(m_dir.Path());
    fs::copy_file(m_dir / "config/mailhost/accounts.ini", m_dir / "accounts.ini");
    fs::remove(m_dir / "config/mailhost/accounts.ini");
    setenv("MAILHOST_PROFILE", "profile", 1);
    setenv("MAILHOST_ACCOUNTS", "accounts.ini", 1);
    setenv("MAILHOST_REGISTRY", "registry.reg", 1);  // where the fixture registered the add-in

    CTaskList list;
    list.Add(Task("now", MakeTemplate("now", "Relative paths", "Body\n"), 0, MinuteFromNow(0), true));
    Import(list);
    StartHost();
    ASSERT_TRUE(WaitForMessages(1, seconds(60))) << CTempDir::ReadFile(m_dir / "host.log");
    // The copy for Sent Items lands in the profile the host started with.
    const fs::path sent = m_dir / "profile/Sent Items";
    auto fnFiles = [&] {
        size_t n = 0;
        if (fs::exists(sent))
            for (const auto& e : fs::recursive_directory_iterator(sent)) n += e.is_regular_file();
        return n;
    };
    for (int i = 0; i < 100 && fnFiles() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_host.Stop();
    const std::string strLog = CTempDir::ReadFile(m_dir / "host.log");
    EXPECT_TRUE(Contains(strLog, "profile " + (m_dir / "profile")));
    EXPECT_EQ(fnFiles(), 1u) << strLog;
    EXPECT_FALSE(fs::exists(fs::path(QUILSEND_MODULE).parent_path() / "profile"))
        << "nothing went to the install folder";
}

}  // namespace
