// Receiving over IMAP and POP3 from a real server.
#include <set>

#include "CDovecotServer.h"
#include "CHostTestBase.h"
#include "Contains.h"

class ReceiveTest : public CHostTestBase {
protected:
    ReceiveTest() : m_dovecot(m_dir / "dovecot") {}

    void WriteReceiveAccount(const std::string& strReceiveUrl) {
        WritePassword(CDovecotServer::kPassword);
        WriteAccounts(std::string("[Account]\nAddress = tess@example.org\nSmtpUrl = smtp://127.0.0.1:9\n") +
                      "Security = none\nUser = " + CDovecotServer::kUser + "\nPasswordFile = password\n" +
                      "ReceiveUrl = " + strReceiveUrl + "\n");
    }
    std::set<std::string> InboxSubjects() {
        std::set<std::string> set;
        for (const auto& strId : m_pHost->ListFolder(EMailFolder::Inbox)) {
            CMailMessage msg;
            EXPECT_EQ(m_pHost->LoadFromFolder(EMailFolder::Inbox, strId, msg).Problem(), "");
            EXPECT_TRUE(msg.bSent);
            set.insert(msg.strSubject);
        }
        return set;
    }
    // One send/receive round: waits for its Received events or its failure.
    void Round(size_t nExpectedTotal) {
        size_t nFailed = Count(EHostEvent::ReceiveFailed);
        m_pHost->SendReceiveNow();
        while (Count(EHostEvent::Received) < nExpectedTotal) {
            ASSERT_TRUE(WaitFor(EHostEvent::Received, Count(EHostEvent::Received) + 1)) << EventText();
            ASSERT_EQ(Count(EHostEvent::ReceiveFailed), nFailed) << Last(EHostEvent::ReceiveFailed)->strText;
        }
    }

    std::string EventText() const {
        std::string str;
        for (const auto& e : m_vecEvents) str += std::string(CHostEvents::KindName(e.kind)) + ": " + e.strText + "\n";
        return str;
    }

    CDovecotServer m_dovecot;
};

static std::string Mail(const std::string& strSubject) {
    return "From: Far Away <far@example.net>\nTo: tess@example.org\nSubject: " + strSubject + "\n\nHello\n";
}

TEST_F(ReceiveTest, ImapFetchesEachNewMessageOnceAndAFailedRoundIsReported) {
    m_dovecot.Start();
    m_dovecot.Deliver("1.a", Mail("first"));
    m_dovecot.Deliver("2.a", Mail("Grüße"));
    WriteReceiveAccount("imap://127.0.0.1:" + std::to_string(m_dovecot.ImapPort()));
    StartHost();
    Round(2);
    EXPECT_EQ(InboxSubjects(), (std::set<std::string>{"first", "Grüße"}));

    m_dovecot.Deliver("3.a", Mail("third"));
    Round(3);
    // A restarted host remembers what it fetched.
    StartHost();
    m_dovecot.Deliver("4.a", Mail("fourth"));
    Round(4);
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Inbox).size(), 4u);
    EXPECT_EQ(InboxSubjects(), (std::set<std::string>{"first", "Grüße", "third", "fourth"}));
    EXPECT_EQ(Count(EHostEvent::ReceiveFailed), 0u);

    // A damaged record (cut to nothing, a UID that is none) is told and
    // fetches nothing: read as empty it would fetch all again, and it once ended the host.
    const std::string strState = m_dir / "profile/.receive/state";
    const std::string strWhole = CTempDir::ReadFile(strState);
    for (const std::string& strDamaged : {std::string(), strWhole + "seen=x\n"}) {
        CTempDir::WriteFile(strState, strDamaged);
        const size_t nFailed = Count(EHostEvent::ReceiveFailed);
        StartHost().SendReceiveNow();
        ASSERT_TRUE(WaitFor(EHostEvent::ReceiveFailed, nFailed + 1));
        EXPECT_TRUE(Contains(Last(EHostEvent::ReceiveFailed)->strText, "damaged"));
        EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Inbox).size(), 4u);
    }
    CTempDir::WriteFile(strState, strWhole);

    // A wrong password, then the server down: each round is reported, nothing fetched.
    m_dovecot.Deliver("5.a", Mail("locked"));
    WritePassword("not-it");
    StartHost().SendReceiveNow();
    ASSERT_TRUE(WaitFor(EHostEvent::ReceiveFailed, 3));
    m_dovecot.Stop();
    WritePassword(CDovecotServer::kPassword);
    StartHost().SendReceiveNow();
    ASSERT_TRUE(WaitFor(EHostEvent::ReceiveFailed, 4));
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Inbox).size(), 4u);
}

TEST_F(ReceiveTest, Pop3FetchesEachNewMessageOnceAndLeavesThemOnTheServer) {
    m_dovecot.Start();
    m_dovecot.Deliver("1.a", Mail("pop one"));
    WriteReceiveAccount("pop3://127.0.0.1:" + std::to_string(m_dovecot.Pop3Port()));
    StartHost();
    Round(1);
    m_dovecot.Deliver("2.a", Mail("pop two"));
    StartHost();
    Round(2);
    EXPECT_EQ(InboxSubjects(), (std::set<std::string>{"pop one", "pop two"}));
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Inbox).size(), 2u);
}
