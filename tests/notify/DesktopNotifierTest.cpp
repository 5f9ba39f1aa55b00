// Desktop notifications over a real, private session bus: dbus-run-session
// with a recording notification server, and none at all.
#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CDesktopNotifier.h"
#include "CTempDir.h"
#include "CTestProcess.h"
#include "WaitUntil.h"

namespace {

using namespace std::chrono_literals;

// Waits until the file holds nLines lines.
std::vector<nlohmann::json> WaitForLines(const std::string& strPath, size_t nLines, std::chrono::seconds timeout) {
    std::vector<nlohmann::json> vec;
    (void)WaitUntil(
        [&] {
            vec.clear();
            const std::string strText = CTempDir::ReadFile(strPath);
            size_t nStart = 0;
            for (size_t nEnd; (nEnd = strText.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1)
                vec.push_back(nlohmann::json::parse(strText.substr(nStart, nEnd - nStart)));
            return vec.size() >= nLines;
        },
        timeout);
    return vec;
}

}  // namespace

// Each case runs this program again as a child, so that the child's one
// session bus connection is made with the address the case gives it.
int RunChild(const std::vector<std::string>& vecEnv) {
    std::vector<std::string> vecArgs = {"/usr/bin/env", "-u", "DBUS_SESSION_BUS_ADDRESS", "-u", "DISPLAY"};
    vecArgs.insert(vecArgs.end(), vecEnv.begin(), vecEnv.end());
    vecArgs.insert(vecArgs.end(), {SELF_PROGRAM, "--gtest_filter=DesktopNotifierTest.DISABLED_SendTwo",
                                   "--gtest_also_run_disabled_tests"});
    return CTestProcess::Run(vecArgs);
}

TEST(DesktopNotifierTest, WithoutASessionBusNothingHappensAndNothingFails) {
    CTempDir dir;
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_EQ(RunChild({"DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir / "no-bus"}), 0);
    EXPECT_EQ(RunChild({}), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, 20s) << "nothing waits for a bus that is not there";
}

TEST(DesktopNotifierTest, EachNotificationReachesTheSessionsNotificationServer) {
    CTempDir dir;
    CTestProcess bus;
    bus.Start({"/usr/bin/dbus-run-session", "--", "/usr/bin/python3", NOTIFICATION_SERVER, "--out", dir / "shown.jsonl",
               "--ready", dir / "address", "--stop", dir / "stop"},
              false, dir / "bus.log");
    // The server ends when told, and the bus with it.
    struct CStopper {
        CTestProcess& bus;
        std::string strStop;
        ~CStopper() {
            CTempDir::WriteFile(strStop, "");
            (void)bus.Wait(10s);  // one that will not end is stopped by the process's own destructor
        }
    } stopper{bus, dir / "stop"};
    (void)WaitUntil([&] { return !CTempDir::ReadFile(dir / "address").empty(); }, 20s);
    const std::string strAddress = CTempDir::ReadFile(dir / "address");
    ASSERT_FALSE(strAddress.empty()) << CTempDir::ReadFile(dir / "bus.log");
    ASSERT_EQ(RunChild({"DBUS_SESSION_BUS_ADDRESS=" + strAddress}), 0);
    const auto vec = WaitForLines(dir / "shown.jsonl", 2, 20s);
    ASSERT_EQ(vec.size(), 2u) << CTempDir::ReadFile(dir / "bus.log");
    EXPECT_EQ(vec[0]["app"], "Quillory");
    EXPECT_EQ(vec[0]["summary"], "A scheduled message failed");
    EXPECT_EQ(vec[0]["body"], "Weekly report (2026-12-07 09:00): 550 5.1.1 no such user");
    // A failure is critical and stays until dismissed; news is normal and goes.
    EXPECT_EQ(vec[0]["urgency"], 2);
    EXPECT_EQ(vec[0]["timeout"], 0);
    EXPECT_EQ(vec[1]["urgency"], 1);
    EXPECT_EQ(vec[1]["timeout"], -1);
    EXPECT_EQ(vec[1]["summary"], "Messages were due while Mail Host was not running");
    EXPECT_EQ(vec[1]["body"], "Wöchentlich: 2 sent late\nDaily: 1 skipped");
}

// Run by the test above as a child on the private bus.
TEST(DesktopNotifierTest, DISABLED_SendTwo) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    CDesktopNotifier notifier;
    notifier.Notify("A scheduled message failed", "Weekly report (2026-12-07 09:00): 550 5.1.1 no such user",
                    INotifier::EUrgency::Critical);
    notifier.Notify("Messages were due while Mail Host was not running", "Wöchentlich: 2 sent late\nDaily: 1 skipped");
    // Sent without waiting for answers: let them leave before the process ends.
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(10ms);
    }
}
