// The headless host as a systemd service sees it: notifications on a
// datagram socket the test binds as NOTIFY_SOCKET, and one structured
// journal entry per message on a socket that stands in for the journal's.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <regex>

#include "CEnvScope.h"
#include "CHeadlessTestBase.h"
#include "CMailhostRun.h"
#include "Contains.h"
#include "UnixSocket.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A bound Unix datagram socket; each datagram is one notification or entry.
class CDatagramSink {
public:
    explicit CDatagramSink(const std::string& strPath) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const sockaddr_un addr = UnixAddress(strPath);
        if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("cannot bind " + strPath);
    }
    ~CDatagramSink() { ::close(m_fd); }
    // "" when none comes in time.
    std::string Next(milliseconds timeout) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0) return {};
        std::string str(1 << 16, '\0');
        const ssize_t n = ::recv(m_fd, str.data(), str.size(), 0);
        str.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return str;
    }

private:
    int m_fd = -1;
};

// The journal's native form: "KEY=value\n", or "KEY\n", a 64-bit
// little-endian length, the value and "\n".
std::map<std::string, std::string> Decode(const std::string& str) {
    std::map<std::string, std::string> map;
    for (size_t i = 0; i < str.size();) {
        const size_t nEnd = str.find('\n', i), nEq = str.find('=', i);
        if (nEq < nEnd) {
            map[str.substr(i, nEq - i)] = str.substr(nEq + 1, nEnd - nEq - 1);
            i = nEnd + 1;
            continue;
        }
        uint64_t nLen = 0;
        for (int k = 0; k < 8; ++k)
            nLen |= static_cast<uint64_t>(static_cast<unsigned char>(str[nEnd + 1 + k])) << (8 * k);
        map[str.substr(i, nEnd - i)] = str.substr(nEnd + 9, nLen);
        i = nEnd + 9 + nLen + 1;
    }
    return map;
}

class ServiceTest : public CHeadlessTestBase {
protected:
    ~ServiceTest() override {
        m_host.Stop();
        for (const char* psz : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "MAILHOST_JOURNAL_SOCKET"}) unsetenv(psz);
    }
    // Started with the service manager's socket (and a watchdog, or none); ready.
    std::unique_ptr<CDatagramSink> StartNotifyingHost(const char* pszWatchdogUsec) {
        auto pNotify = std::make_unique<CDatagramSink>(m_dir / "notify");
        setenv("NOTIFY_SOCKET", (m_dir / "notify").c_str(), 1);
        if (pszWatchdogUsec) setenv("WATCHDOG_USEC", pszWatchdogUsec, 1);
        else unsetenv("WATCHDOG_USEC");
        StartHost();
        const std::string strReady = pNotify->Next(seconds(20));
        EXPECT_EQ(strReady.rfind("READY=1\nSTATUS=running, sending via ", 0), 0u) << strReady;
        return pNotify;
    }
};

// Ready, alive every 100 ms (while it stands aside for the windows too),
// the status that says so, and stopping.
TEST_F(ServiceTest, TellsTheManagerItIsReadyAliveStandingAsideAndStopping) {
    const auto pNotify = StartNotifyingHost("200000");
    CDatagramSink& notify = *pNotify;
    auto tStart = std::chrono::steady_clock::now();
    int nPings = 0;
    while (nPings < 5 && std::chrono::steady_clock::now() - tStart < seconds(5))
        nPings += notify.Next(milliseconds(500)) == "WATCHDOG=1";
    EXPECT_EQ(nPings, 5);
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, seconds(2));

    // Only the headless host talks to the service manager.
    unsetenv("NOTIFY_SOCKET");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    CTestProcess windows;
    windows.Start({MAILHOST_PROGRAM}, false, m_dir / "windows.log");
    unsetenv("QT_QPA_PLATFORM");
    // What arrives until a datagram starts with strWanted, pings counted apart.
    const auto waitFor = [&notify, &nPings](const std::string& strWanted) {
        const auto tEnd = std::chrono::steady_clock::now() + seconds(30);
        while (std::chrono::steady_clock::now() < tEnd) {
            const std::string str = notify.Next(milliseconds(500));
            if (str == "WATCHDOG=1") ++nPings;
            else if (str.rfind(strWanted, 0) == 0) return true;
        }
        return false;
    };
    ASSERT_TRUE(waitFor("STATUS=standing aside for the windowed host")) << HostLog();
    ASSERT_TRUE(WaitForLog(m_dir / "windows.log", kConnected, seconds(30)));
    nPings = 0;
    tStart = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - tStart < seconds(1))
        nPings += notify.Next(milliseconds(300)) == "WATCHDOG=1";
    EXPECT_GE(nPings, 5);

    windows.Stop();
    EXPECT_EQ(windows.ExitStatus(), 0);
    ASSERT_TRUE(waitFor("STATUS=running, sending via ")) << HostLog();
    EXPECT_TRUE(m_host.Running());
    m_host.Stop();
    std::string str;
    while ((str = notify.Next(milliseconds(500))) == "WATCHDOG=1") {}
    EXPECT_EQ(str, "STOPPING=1");
}

TEST_F(ServiceTest, EveryMessagesResultIsAStructuredJournalEntry) {
    CSmtpServer picky(m_dir / "picky");
    picky.Start({.vecRefuse = {"nobody@example.org"}});
    WriteAccount(picky.Port());
    for (const auto& [strSubject, strTo] :
         {std::pair<std::string, std::string>{"Goes out", "rita@example.com"}, {"Refused", "nobody@example.org"}}) {
        CMailMessage msg;
        msg.vecTo = {strTo};
        msg.strSubject = strSubject;
        msg.strMessageId = std::to_string(strTo.size()) + ".queued@example.org";  // as Submit gives each
        // As the add-in stamps a scheduled message, or an extra one sent now.
        msg.vecHeaders = {{"X-Quillory-Task", "Wöchentlicher Bericht: " + strSubject}};
        if (strSubject == "Goes out") msg.vecHeaders.emplace_back("X-Quillory-Occurrence", "2026-12-07 09:00");
        else msg.vecHeaders.emplace_back("X-Quillory-Send-Now", "2026-12-07 21:30");
        QueueInOutbox(msg);
    }
    CDatagramSink journal(m_dir / "journal");
    setenv("MAILHOST_JOURNAL_SOCKET", (m_dir / "journal").c_str(), 1);
    StartHost();

    std::map<std::string, std::map<std::string, std::string>> mapBySubject;
    for (int i = 0; i < 2; ++i) {
        auto fields = Decode(journal.Next(seconds(30)));
        mapBySubject[fields["SUBJECT"]] = fields;
    }
    ASSERT_TRUE(picky.WaitForCount(1, milliseconds(5000)));
    const std::string strData = picky.Received().at(0).strData;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(strData, m, std::regex("Message-ID: *<([^>\r\n]+)>", std::regex::icase)));

    auto& sent = mapBySubject["Goes out"];
    EXPECT_EQ(sent["RESULT"], "sent");
    EXPECT_EQ(sent["QUILLORY_MESSAGE_ID"], m[1].str()) << "the id the server got";
    EXPECT_EQ(sent["RECIPIENTS"], "rita@example.com");
    EXPECT_EQ(sent["PRIORITY"], "6");
    EXPECT_EQ(sent["SYSLOG_IDENTIFIER"], "mailhost");
    EXPECT_TRUE(Contains(sent["MESSAGE"], "mailhost: sent "));
    EXPECT_EQ(sent["TASK"], "Wöchentlicher Bericht: Goes out");
    EXPECT_EQ(sent["OCCURRENCE"], "2026-12-07 09:00");
    EXPECT_FALSE(Contains(strData, "X-Quillory")) << "the task's bookkeeping stays home:\n" << strData;

    auto& failed = mapBySubject["Refused"];
    EXPECT_EQ(failed["RECIPIENTS"], "nobody@example.org");
    EXPECT_TRUE(Contains(failed["REASON"], "550"));
    EXPECT_EQ(failed["QUILLORY_MESSAGE_ID"], "18.queued@example.org");
    EXPECT_EQ(failed["TASK"], "Wöchentlicher Bericht: Refused");
    EXPECT_EQ(failed.count("OCCURRENCE"), 0u) << "sent now, for no occurrence";
    EXPECT_EQ(failed["SEND_NOW"], "2026-12-07 21:30");
    EXPECT_EQ(sent.count("SEND_NOW"), 0u);
}

TEST_F(ServiceTest, AccountSetTellsOnlyAHostThatReadsThatFileWhichThenSendsThroughIt) {
    const auto pNotify = StartNotifyingHost(nullptr);
    CDatagramSink& notify = *pNotify;
    EXPECT_EQ(notify.Next(milliseconds(1500)), "") << "without a watchdog there are no pings";
    m_server.Stop();
    CSmtpServer other(m_dir / "other");
    other.Start({});
    // Delivery, started again with the new account, finds it in the Outbox.
    CMailMessage msg;
    msg.vecTo = {"rita@example.com"};
    msg.strSubject = "Through the new server";
    QueueInOutbox(msg);
    const std::string strUrl = "smtp://127.0.0.1:" + std::to_string(other.Port());
    std::filesystem::create_symlink(m_dir / "config", m_dir / "config-link");
    const struct {
        const char* pszName;
        const char* pszAccounts;  // MAILHOST_ACCOUNTS under the test's folder, or nullptr
        bool bTold;
    } kCases[] = {
        {"another accounts file", "elsewhere/accounts.ini", false},
        {"the host's file through a link", "config-link/mailhost/accounts.ini", true},
        {"the default file", nullptr, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        const std::string strAccounts = c.pszAccounts ? m_dir / c.pszAccounts : "";
        const CEnvScope env("MAILHOST_ACCOUNTS", c.pszAccounts ? strAccounts.c_str() : nullptr);
        const CMailhostRun run =
            CMailhostRun::Run(m_dir, {"account", "set", "--address", "zoe@example.org", "--smtp", strUrl});
        EXPECT_EQ(run.nStatus, 0) << run.strErr;
        if (!c.bTold) {
            EXPECT_TRUE(Contains(run.strOut, "uses " + m_dir / "config/mailhost/accounts.ini" + ", not this file"))
                << run.strOut;
            EXPECT_EQ(notify.Next(milliseconds(1500)), "");
            continue;
        }
        EXPECT_TRUE(Contains(run.strOut, ") reads the account again\n")) << run.strOut;
        // The status the service manager shows follows the account.
        const std::string strStatus = notify.Next(seconds(20));
        EXPECT_EQ(strStatus.rfind("STATUS=running, sending via ", 0), 0u) << strStatus;
        EXPECT_TRUE(Contains(strStatus, std::to_string(other.Port()))) << strStatus;
    }
    EXPECT_TRUE(other.WaitForCount(1, milliseconds(20000))) << HostLog();
    EXPECT_TRUE(m_host.Running());
}

}  // namespace
