// Delivery through a real SMTP server and a sendmail script, and what a
// stop at any moment leaves for the next start.
#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>

#include "CHostTestBase.h"
#include "CMimeReader.h"
#include "Contains.h"

namespace {

// A folder of the profile becomes a file: every write into it fails.
void BreakFolder(const std::string& strFolder) {
    std::filesystem::remove_all(strFolder);
    CTempDir::WriteFile(strFolder, "not a folder\n");
}

}  // namespace

class DeliveryTest : public CHostTestBase {
protected:
    CMailHost& StartWithServer(const CSmtpServer::COptions& opts = {}) {
        m_server.Start(opts);
        WritePlainAccount(m_server.Port());
        return StartHost();
    }
    // With the server down, nMessages submitted as "<strSubject> <i>" wait
    // in Outbox; the server comes back on m_nDownPort.
    void QueueWhileServerIsDown(const std::string& strSubject, int nMessages) {
        m_server.Start({});
        m_nDownPort = m_server.Port();
        m_server.Stop();
        WritePlainAccount(m_nDownPort);
        CMailHost& host = StartHost();
        for (int i = 0; i < nMessages; ++i)
            ASSERT_EQ(host.Submit(Message(strSubject + " " + std::to_string(i))).Problem(), "");
        ASSERT_TRUE(WaitFor(EHostEvent::RetryLater, static_cast<size_t>(nMessages)));
    }
    // Another program's file, put into the Outbox as such programs do.
    void DropIntoOutbox(const char* pszName, const std::string& strData, uintmax_t nSize = 0) {
        const std::string strTmp = m_dir / "profile/Outbox/tmp/" + pszName;
        CTempDir::WriteFile(strTmp, strData);
        if (nSize) std::filesystem::resize_file(strTmp, nSize);  // sparse: no disk used
        ASSERT_EQ(::rename(strTmp.c_str(), (m_dir / "profile/Outbox/new/" + pszName).c_str()), 0);
    }
    // The subjects the server got, each once (an unreadable one as "").
    std::multiset<std::string> ReceivedSubjects() const {
        std::multiset<std::string> set;
        for (const auto& r : m_server.Received()) {
            CResult<CMailMessage> rMessage = CMimeReader::Parse(r.strData);
            set.insert(rMessage ? rMessage->strSubject : std::string());
        }
        return set;
    }

    // Waits for the nth event of kind and gives its text.
    std::string TextOf(EHostEvent kind, size_t n) { return WaitFor(kind, n) ? Last(kind)->strText : "(it never came)"; }

    int m_nDownPort = 0;
};

TEST_F(DeliveryTest, MessagesArriveWithEveryPartAndBccOnlyInTheEnvelopeAndNothingUnsafeGoes) {
    CMailHost& host = StartWithServer();
    CMailMessage msg = Message("Grüße aus Köln");
    msg.vecCc = {"carl@example.com"};
    msg.vecBcc = {"Blind Copy <blind@example.com>"};
    msg.strBody = "line one\n.leading dot\nlast line\n";
    CMailAttachment att{"Übersicht.bin", "", {}};
    for (int i = 0; i < 3000; ++i) att.vecData.push_back(static_cast<uint8_t>(i * 7));
    msg.vecAttachments = {att};
    ASSERT_EQ(host.Submit(msg).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 1));

    auto vec = m_server.Received();
    ASSERT_EQ(vec.size(), 1u);
    EXPECT_EQ(vec[0].strMailFrom, "sender@example.org");
    EXPECT_EQ(std::multiset<std::string>(vec[0].vecRcpt.begin(), vec[0].vecRcpt.end()),
              (std::multiset<std::string>{"rita@example.com", "carl@example.com", "blind@example.com"}));
    EXPECT_FALSE(std::regex_search(vec[0].strData, std::regex("(^|[^\r])\n"))) << "a bare LF";
    EXPECT_FALSE(Contains(vec[0].strData.substr(0, vec[0].strData.find("\r\n\r\n")), "\nBcc:"));
    EXPECT_FALSE(Contains(vec[0].strData, "blind@example.com"));
    CResult<CMailMessage> rGot = CMimeReader::Parse(vec[0].strData);
    ASSERT_EQ(rGot.Problem(), "");
    EXPECT_EQ(rGot->strFrom, "Test Sender <sender@example.org>");
    EXPECT_EQ(rGot->strSubject, msg.strSubject);
    EXPECT_EQ(CMimeWriter::CrlfToLf(rGot->strBody), msg.strBody);
    ASSERT_EQ(rGot->vecAttachments.size(), 1u);
    EXPECT_EQ(rGot->vecAttachments[0].strFileName, "Übersicht.bin");
    EXPECT_EQ(rGot->vecAttachments[0].vecData, att.vecData);
    EXPECT_FALSE(rGot->strMessageId.empty());

    EXPECT_TRUE(host.ListFolder(EMailFolder::Outbox).empty());
    auto vecSent = host.ListFolder(EMailFolder::SentItems);
    ASSERT_EQ(vecSent.size(), 1u);
    CMailMessage sent;
    ASSERT_EQ(host.LoadFromFolder(EMailFolder::SentItems, vecSent[0], sent).Problem(), "");
    EXPECT_TRUE(sent.bSent);
    EXPECT_EQ(sent.vecBcc, msg.vecBcc);  // the sender's copy remembers them

    // A file another program drops into the Outbox goes out with the account's From.
    DropIntoOutbox("drop.1", "To: dropped@example.com\nSubject: dropped in\n\ntext\n");
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 2));
    vec = m_server.Received();
    ASSERT_EQ(vec.size(), 2u);
    EXPECT_EQ(vec[1].vecRcpt, std::vector<std::string>{"dropped@example.com"});
    EXPECT_TRUE(Contains(vec[1].strData, "From: Test Sender <sender@example.org>"));

    // What cannot be sent is refused at once.
    CMailMessage bad = Message("x");
    bad.vecTo.clear();
    EXPECT_NE(host.Submit(bad).Problem(), "");
    bad.vecTo = {"not an address"};
    EXPECT_TRUE(Contains(host.Submit(bad).Problem(), "not an address"));
    EXPECT_TRUE(host.ListFolder(EMailFolder::Outbox).empty());

    // STARTTLS is required unless turned off.
    WritePlainAccount(m_server.Port(), "");
    ASSERT_EQ(StartHost().Submit(Message("secret")).Problem(), "");
    ASSERT_TRUE(Contains(TextOf(EHostEvent::RetryLater, 1), "STARTTLS"));
    EXPECT_EQ(m_server.Received().size(), 2u);
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Outbox).size(), 1u);
}

TEST_F(DeliveryTest, ServerDownThenUpDeliversEachQueuedMessageOnce) {
    ASSERT_NO_FATAL_FAILURE(QueueWhileServerIsDown("queued", 3));
    CMailHost& host = *m_pHost;
    EXPECT_EQ(host.ListFolder(EMailFolder::Outbox).size(), 3u);
    EXPECT_EQ(host.DeliveryStatus(host.ListFolder(EMailFolder::Outbox)[0]).state, EHostEvent::RetryLater);
    // The status bar and the task's result name the server and the next try, not the library's words.
    const std::string strText = Last(EHostEvent::RetryLater)->strText;
    EXPECT_TRUE(
        std::regex_match(strText, std::regex("cannot reach 127\\.0\\.0\\.1; trying again at [0-2][0-9]:[0-5][0-9]")))
        << strText;

    m_server.Start({.nPort = m_nDownPort});
    host.SendReceiveNow();
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 3));
    host.SendReceiveNow();
    host.Stop();
    EXPECT_EQ(ReceivedSubjects(), (std::multiset<std::string>{"queued 0", "queued 1", "queued 2"}));
    EXPECT_EQ(host.ListFolder(EMailFolder::SentItems).size(), 3u);
    EXPECT_TRUE(host.ListFolder(EMailFolder::Outbox).empty());
}

TEST_F(DeliveryTest, PermanentRefusalKeepsTheMessageWithTheReason) {
    CMailHost& host = StartWithServer({.strDataReply = "554 5.7.1 Message rejected as spam"});
    ASSERT_EQ(host.Submit(Message("spammy")).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::Failed, 1));
    auto vecOut = host.ListFolder(EMailFolder::Outbox);
    ASSERT_EQ(vecOut.size(), 1u);
    CDeliveryRecord rec = host.DeliveryStatus(vecOut[0]);
    EXPECT_EQ(rec.state, EHostEvent::Failed);
    EXPECT_TRUE(Contains(rec.strReason, "554 5.7.1 Message rejected as spam"));

    // Held back: another round does not try again, an explicit retry does.
    host.SendReceiveNow();
    ASSERT_EQ(host.RetryDelivery(vecOut[0]).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::Failed, 2));
    EXPECT_EQ(Count(EHostEvent::RetryLater), 0u);
    EXPECT_EQ(host.DeliveryStatus(vecOut[0]).nAttempts, 1);
    EXPECT_NE(host.RetryDelivery("no-such-id").Problem(), "");
}

// A refused recipient does not stop the others; every recipient refused is
// a permanent failure.
TEST_F(DeliveryTest, RefusedRecipientsAreKeptWithTheMessage) {
    CMailHost& host = StartWithServer({.vecRefuse = {"nobody@example.com", "rita@example.com"}});
    CMailMessage msg = Message("partly");
    msg.vecTo = {"one@example.com", "Nobody <nobody@example.com>"};
    msg.vecCc = {"two@example.com"};
    ASSERT_EQ(host.Submit(msg).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::SentWithRefusals, 1));
    auto vec = m_server.Received();
    ASSERT_EQ(vec.size(), 1u);
    EXPECT_EQ(vec[0].vecRcpt, (std::vector<std::string>{"one@example.com", "two@example.com"}));
    std::string strId = Last(EHostEvent::SentWithRefusals)->strId;
    CDeliveryRecord rec = host.DeliveryStatus(strId);
    EXPECT_EQ(rec.state, EHostEvent::SentWithRefusals);
    ASSERT_EQ(rec.vecRefused.size(), 1u);
    EXPECT_TRUE(Contains(rec.vecRefused[0], "nobody@example.com: 550"));
    EXPECT_EQ(host.ListFolder(EMailFolder::SentItems), std::vector<std::string>{strId});

    ASSERT_EQ(host.Submit(Message("nobody home")).Problem(), "");
    ASSERT_TRUE(Contains(TextOf(EHostEvent::Failed, 1), "550"));
    EXPECT_EQ(m_server.Received().size(), 1u);
}

// The whole message went over and the connection ended before the server
// answered: it may have arrived, so it is held in doubt. After a new start
// the round that sends the next message leaves it be.
TEST_F(DeliveryTest, AConnectionLostBeforeTheAnswerHoldsTheMessageInDoubt) {
    CMailHost& host = StartWithServer({.bHangUpAfterData = true});
    ASSERT_EQ(host.Submit(Message("Unanswered")).Problem(), "");
    const std::string strDoubt = TextOf(EHostEvent::InDoubt, 1);
    EXPECT_TRUE(Contains(strDoubt, "before the server answered")) << strDoubt;
    const std::vector<std::string> vecOutbox = host.ListFolder(EMailFolder::Outbox);
    ASSERT_EQ(vecOutbox.size(), 1u);
    ASSERT_EQ(StartHost().Submit(Message("Next")).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::InDoubt, 2));  // the next one
    m_pHost->Stop();
    const auto vecReceived = m_server.Received();
    ASSERT_EQ(vecReceived.size(), 2u);
    EXPECT_TRUE(Contains(vecReceived[0].strData, "Subject: Unanswered"));
    EXPECT_TRUE(Contains(vecReceived[1].strData, "Subject: Next"));
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Outbox).size(), 2u);
    EXPECT_EQ(m_pHost->DeliveryStatus(vecOutbox[0]).state, EHostEvent::InDoubt);
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::SentItems).empty());
}

TEST_F(DeliveryTest, RestartWithAFullOutboxLosesAndRepeatsNothing) {
    ASSERT_NO_FATAL_FAILURE(QueueWhileServerIsDown("kept", 5));
    m_pHost.reset();
    // Another program drops a message in; two earlier runs "crashed" at the
    // worst moments: one right after handing a message over, one after the
    // server's yes but before the move. A third message's record cannot be
    // read: it may have said "handed", so it is held in doubt too.
    CTempDir::WriteFile(m_dir / "profile/Outbox/new/foreign.1",
                        "From: x@example.org\nTo: f@example.com\nSubject: foreign\n\nhello\n");
    const std::vector<std::string> vecIds = CMailStore(m_dir / "profile").List(EMailFolder::Outbox);
    ASSERT_EQ(vecIds.size(), 6u);
    CTempDir::WriteFile(m_dir / ("profile/.delivery/" + vecIds[0]), "state=handed\n");
    CTempDir::WriteFile(m_dir / ("profile/.delivery/" + vecIds[1]), "state=sent\n");
    std::filesystem::remove(m_dir / ("profile/.delivery/" + vecIds[2]));  // its record of the retry
    std::filesystem::create_directory(m_dir / ("profile/.delivery/" + vecIds[2]));

    m_vecEvents.clear();
    m_server.Start({.nPort = m_nDownPort});
    CMailHost& host = StartHost();
    host.SendReceiveNow();
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 4));  // three sent now, one only moved
    ASSERT_TRUE(WaitFor(EHostEvent::InDoubt, 2));
    host.Stop();
    EXPECT_EQ(host.ListFolder(EMailFolder::Outbox), (std::vector<std::string>{vecIds[0], vecIds[2]}));
    EXPECT_EQ(host.DeliveryStatus(vecIds[0]).state, EHostEvent::InDoubt);
    const CDeliveryRecord unread = host.DeliveryStatus(vecIds[2]);
    EXPECT_EQ(unread.state, EHostEvent::InDoubt);
    EXPECT_TRUE(Contains(unread.strReason, "its delivery record cannot be read")) << unread.strReason;
    EXPECT_EQ(host.ListFolder(EMailFolder::SentItems).size(), 4u);
    // Three distinct messages, the foreign one among them: none went twice.
    const std::multiset<std::string> setSubjects = ReceivedSubjects();
    EXPECT_EQ(setSubjects.size(), 3u);
    EXPECT_EQ(std::set<std::string>(setSubjects.begin(), setSubjects.end()).size(), 3u);
    EXPECT_TRUE(setSubjects.count("foreign"));
}

// A wrong password or a certificate not named keeps the message queued;
// the login over STARTTLS with the server's own certificate sends it, and
// so does implicit TLS.
TEST_F(DeliveryTest, StartTlsWithLoginAndOwnCertificate) {
    m_server.Start({.bStartTls = true, .strAuth = "sam:s3cret"});
    WritePassword("wrong");
    WritePlainAccount(m_server.Port(), "User = sam\nPasswordFile = password\nCaFile = " + m_server.CertPath() + "\n");
    ASSERT_EQ(StartHost().Submit(Message("over tls")).Problem(), "");
    ASSERT_TRUE(Contains(TextOf(EHostEvent::RetryLater, 1), "login"));

    WritePassword("s3cret");
    WritePlainAccount(m_server.Port(), "User = sam\nPasswordFile = password\n");  // no CaFile
    StartHost().SendReceiveNow();
    ASSERT_TRUE(WaitFor(EHostEvent::RetryLater, 2));
    EXPECT_TRUE(m_server.Received().empty());
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Outbox).size(), 1u);

    WritePlainAccount(m_server.Port(), "Security = starttls\nUser = sam\nPasswordFile = password\nCaFile = " +
                                           m_server.CertPath() + "\n");
    CMailHost& host = StartHost();
    EXPECT_TRUE(host.ConfigMessages().empty());
    host.SendReceiveNow();
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 1));
    EXPECT_EQ(m_server.Received().size(), 1u);

    m_server.Stop();
    m_server.Start({.bImplicitTls = true});
    WriteAccounts("[Account]\nAddress = sender@example.org\nSmtpUrl = smtps://127.0.0.1:" +
                  std::to_string(m_server.Port()) + "\nCaFile = " + m_server.CertPath() + "\n");
    ASSERT_EQ(StartHost().Submit(Message("implicit")).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 2));
    ASSERT_EQ(m_server.Received().size(), 2u);
    EXPECT_TRUE(Contains(m_server.Received()[1].strData, "Subject: implicit"));
}

// A message larger than can be sent is refused when it is sent, with its
// size and the limit: the server's SIZE once it has said one, else the most
// a message may have. Neither waits in the Outbox for good.
TEST_F(DeliveryTest, AMessageTooLargeIsRefusedWithItsSizeAndTheLimit) {
    CMailHost& host = StartWithServer({.nSizeLimit = 20000});
    // Before any connection: larger than a folder can give back (50 MB, over 64 MB once encoded).
    CMailMessage huge = Message("huge");
    huge.vecAttachments.push_back({"huge.bin", "", std::vector<uint8_t>(50u << 20, 'h')});
    EXPECT_TRUE(Contains(host.Submit(huge).Problem(), "more than " + std::to_string(CMaildir::kMaxMessageBytes) +
                                                          " bytes (the most a message may have)"));
    CMailMessage big = Message("big");
    big.strBody = std::string(30000, 'x') + "\n";
    // Before any connection the limit is unknown: the server refuses it for good.
    ASSERT_EQ(host.Submit(big).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::Failed, 1));
    // Now it is known, and the next is refused before it is stored.
    const std::string strProblem = host.Submit(big).Problem();
    EXPECT_TRUE(Contains(strProblem, "too large to send"));
    EXPECT_TRUE(Contains(
        strProblem, "more than 20000 bytes (the most the server smtp://127.0.0.1:" + std::to_string(m_server.Port())));
    ASSERT_EQ(host.Submit(Message("small")).Problem(), "");
    // Moved to Sent Items only after the server's yes: waiting for the server alone races the move.
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 1));
    EXPECT_EQ(m_server.Received().size(), 1u);
    EXPECT_EQ(host.ListFolder(EMailFolder::Outbox).size(), 1u) << "only the refused one the server saw";
    // One dropped in too large to read is told, not left waiting unseen.
    DropIntoOutbox("drop.2", "To: dropped@example.com\n", CMaildir::kMaxMessageBytes + 1);
    ASSERT_TRUE(Contains(TextOf(EHostEvent::Failed, 2), "file too large"));
}

TEST_F(DeliveryTest, WithoutAnAccountTheSendmailProgramGetsRecipientsAndNoBccAndItsFailuresAreTold) {
    std::string strScript = m_dir / "sendmail";
    CTempDir::WriteFile(strScript, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\ncat > \"$0.stdin\"\n");
    ::chmod(strScript.c_str(), 0700);
    CMailHost& host = StartHost(strScript);
    EXPECT_EQ(host.TransportName(), strScript);
    CMailMessage msg = Message("local");
    msg.strFrom = "me@example.org";
    msg.vecBcc = {"blind@example.com"};
    ASSERT_EQ(host.Submit(msg).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 1));
    EXPECT_EQ(CTempDir::ReadFile(strScript + ".args"),
              "-i\n-f\nme@example.org\n--\nrita@example.com\nblind@example.com\n");
    std::string strIn = CTempDir::ReadFile(strScript + ".stdin");
    EXPECT_FALSE(Contains(strIn, '\r'));
    EXPECT_FALSE(Contains(strIn, "blind@example.com"));
    EXPECT_TRUE(Contains(strIn, "Subject: local"));

    // Its failures, and no way to send at all.
    CTempDir::WriteFile(strScript, "#!/bin/sh\ncat >/dev/null\nexit 67\n");
    ASSERT_EQ(StartHost(strScript).Submit(Message("no such user")).Problem(), "");
    ASSERT_TRUE(Contains(TextOf(EHostEvent::Failed, 1), "exit status 67"));
    CTempDir::WriteFile(strScript, "#!/bin/sh\nexit 75\n");  // does not even read
    ASSERT_EQ(StartHost(strScript).Submit(Message("later")).Problem(), "");
    ASSERT_TRUE(WaitFor(EHostEvent::RetryLater, 1));
    StartHost("none");
    ASSERT_TRUE(Contains(TextOf(EHostEvent::Stuck, 1), "no sendmail program"));
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Outbox).size(), 2u);

    // A broken accounts file sends nothing, not even through sendmail, and says why.
    WriteAccounts("[Account]\nAddress = sender@example.org\nSmtpUrl = smtp://127.0.0.1:25\nColour = blue\n");
    ASSERT_EQ(StartHost("/bin/false").Submit(Message("stuck")).Problem(), "");
    m_vecEvents.clear();
    ASSERT_TRUE(Contains(TextOf(EHostEvent::Stuck, 1), "accounts.ini:4: unknown key \"Colour\""));
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::Outbox).size(), 3u);
}

// The "handed" record is what keeps a crash from sending a message twice:
// when it cannot be written, the message must not be handed over at all.
TEST_F(DeliveryTest, NoHandOverWithoutTheHandedRecord) {
    CMailHost& host = StartWithServer();
    const std::string strLedger = host.ProfileDir() + "/.delivery";
    BreakFolder(strLedger);
    ASSERT_EQ(host.Submit(Message("must wait")).Problem(), "");
    const std::string strRetry = TextOf(EHostEvent::RetryLater, 1);
    EXPECT_TRUE(Contains(strRetry, ".delivery")) << "the file problem is named: " << strRetry;
    EXPECT_FALSE(m_server.WaitForCount(1, std::chrono::milliseconds(500))) << "nothing reached the server";
    EXPECT_EQ(Count(EHostEvent::Sent), 0u);
    const auto vecOutbox = host.ListFolder(EMailFolder::Outbox);
    ASSERT_EQ(vecOutbox.size(), 1u) << "still queued";
    const CDeliveryRecord rec = host.DeliveryStatus(vecOutbox[0]);
    EXPECT_EQ(rec.state, EHostEvent::RetryLater);
    EXPECT_TRUE(Contains(rec.strReason, "delivery record could not be written"));
    // Once records can be written again, it goes out once.
    std::filesystem::remove(strLedger);
    std::filesystem::create_directories(strLedger);
    host.SendReceiveNow();
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 1));
    EXPECT_EQ(m_server.Received().size(), 1u);
}

namespace {

// Counts what is handed over; the server says yes, refusing the recipients
// in m_vecRefused. At the hand-over it notes whether Sent Items already held
// the message, which would make a copy there no proof that this delivery got
// the server's yes.
class CCountingTransport : public ITransport {
public:
    CCountingTransport(CMailStore& store, std::string strId) : m_store(store), m_strId(std::move(strId)) {}
    CSendResult Send(const CWireMessage&, const std::function<bool()>& fnHanded, const std::atomic<bool>&) override {
        ++m_nSent;
        m_bCopyInSentAtHandOver = m_bCopyInSentAtHandOver || m_store.IsIn(EMailFolder::SentItems, m_strId);
        CSendResult result;
        result.bHanded = result.bVerdict = fnHanded();
        result.outcome = result.bHanded ? EHostEvent::Sent : EHostEvent::RetryLater;
        if (result.bHanded) result.vecRefused = m_vecRefused;
        if (m_fnAfterYes) m_fnAfterYes();
        return result;
    }
    std::string Describe() const override { return "counting"; }

    std::atomic<int> m_nSent{0};
    std::atomic<bool> m_bCopyInSentAtHandOver{false};
    std::vector<std::string> m_vecRefused;
    std::function<void()> m_fnAfterYes;  // a fault between the yes and the move

private:
    CMailStore& m_store;
    std::string m_strId;
};

using Events = std::vector<CHostEventRecord>;

bool Has(const Events& vec, EHostEvent kind, const std::string& strText = "") {
    return std::any_of(vec.begin(), vec.end(),
                       [&](const CHostEventRecord& e) { return e.kind == kind && Contains(e.strText, strText); });
}

}  // namespace

class DeliveryWorkerTest : public ::testing::Test {
protected:
    // One message from the sender to rita in the store's Outbox; its id.
    static std::string QueueOne(CMailStore& store, const std::string& strSubject) {
        CMailMessage msg;
        msg.strFrom = "sender@example.org";
        msg.vecTo = {"rita@example.com"};
        msg.strSubject = strSubject;
        std::string strId;
        EXPECT_EQ(store.Open().Problem(), "");
        EXPECT_EQ(store.Save(EMailFolder::Outbox, msg, strId).Problem(), "");
        return strId;
    }
    // What a worker run saw: its events, with those of the stop, and what
    // its counting transport counted.
    struct CRun {
        Events vecEvents;
        int nSent = 0;
        bool bCopyInSentAtHandOver = false;
    };
    // A worker on the store with this transport, run until fnDone holds
    // (at most nTenths tenths of a second).
    static CRun RunWorker(CMailStore& store, std::unique_ptr<CCountingTransport> pTransport,
                          const std::function<bool(const CRun&)>& fnDone, int nTenths = 30) {
        CCountingTransport& transport = *pTransport;
        CHostEvents events;
        CDeliveryWorker worker(store, events, std::move(pTransport), nullptr, {});
        worker.Start();
        CRun run;
        auto fnDrain = [&] {
            for (auto& e : events.Drain()) run.vecEvents.push_back(std::move(e));
            run.nSent = transport.m_nSent;
            run.bCopyInSentAtHandOver = transport.m_bCopyInSentAtHandOver;
        };
        for (int i = 0; i < nTenths && !fnDone(run); ++i) {
            events.WaitFor(std::chrono::milliseconds(100));
            fnDrain();
        }
        worker.Stop();
        fnDrain();
        return run;
    }

    CTempDir m_dir;
};

// With refused recipients the "sent" record (which keeps their names) is
// what lets a restart finish the move instead of taking the message as in
// doubt: when it cannot be written (the disk fails right after the
// hand-over), the user is told, and the message still moves to Sent Items.
TEST_F(DeliveryWorkerTest, ASentRecordThatCannotBeWrittenIsReportedBeforeTheMove) {
    CMailStore store(m_dir / "profile");
    const std::string strId = QueueOne(store, "disk trouble");
    auto pTransport = std::make_unique<CCountingTransport>(store, strId);
    pTransport->m_vecRefused = {"<nobody@example.org>: 550 no such user"};
    pTransport->m_fnAfterYes = [&] { BreakFolder(store.ProfileDir() + "/.delivery"); };
    const auto fnDone = [](const CRun& r) { return Has(r.vecEvents, EHostEvent::SentWithRefusals); };
    const Events vecEvents = RunWorker(store, std::move(pTransport), fnDone, 300).vecEvents;
    ASSERT_TRUE(Has(vecEvents, EHostEvent::SentWithRefusals));
    auto it = std::find_if(vecEvents.begin(), vecEvents.end(), [&](const CHostEventRecord& e) {
        return e.kind == EHostEvent::Warning && e.strId == strId && Contains(e.strText, "not recorded as sent");
    });
    ASSERT_NE(it, vecEvents.end()) << "the failed record write is reported";
    EXPECT_TRUE(Contains(it->strText, ".delivery")) << "and names the file";
    EXPECT_TRUE(store.List(EMailFolder::Outbox).empty());
    EXPECT_EQ(store.List(EMailFolder::SentItems), std::vector<std::string>{strId});
}

// Each state on disk that a stop (a kill, a power cut) can leave a message
// in on its way out, written as the rules say it looks, and a new host on
// it: nothing is sent again, nothing is lost, and each delivered message
// ends up once in Sent Items. A stale copy in Sent Items from a move a crash
// cut short is no proof of delivery: it goes before the hand-over.
TEST_F(DeliveryWorkerTest, EveryStateAStopCanLeaveIsRecoveredWithoutLossOrRepeat) {
    enum class EOutbox { Kept, Gone, Unreadable };
    struct CCase {
        const char* pszName;
        EHostEvent record;  // Queued: no record
        EOutbox outbox;
        bool bCopyInSent;
        // What the restarted host must make of it.
        bool bInOutboxAfter, bInSentAfter;
        EHostEvent recordAfter;
        EHostEvent event;
    };
    using E = EHostEvent;
    const CCase cases[] = {
        {"queued, never handed over", E::Queued, EOutbox::Kept, false, false, true, E::Queued, E::Sent},
        {"queued, a stale copy in Sent Items", E::Queued, EOutbox::Kept, true, false, true, E::Queued, E::Sent},
        {"handed, no answer yet", E::Handed, EOutbox::Kept, false, true, false, E::InDoubt, E::InDoubt},
        // Its bytes do not matter: it may have arrived all the same.
        {"handed, Outbox file unreadable", E::Handed, EOutbox::Unreadable, false, true, false, E::InDoubt, E::InDoubt},
        {"accepted, copied to Sent Items", E::Handed, EOutbox::Kept, true, false, true, E::Queued, E::Sent},
        {"accepted, Outbox file gone", E::Handed, EOutbox::Gone, true, false, true, E::Queued, E::Warning},
        {"accepted with refusals, recorded", E::Sent, EOutbox::Kept, false, false, true, E::SentWithRefusals, E::Sent},
        {"accepted with refusals, copied to Sent Items", E::Sent, EOutbox::Kept, true, false, true, E::SentWithRefusals,
         E::Sent},
        {"accepted with refusals, moved, record not rewritten", E::Sent, EOutbox::Gone, true, false, true,
         E::SentWithRefusals, E::Sent},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CTempDir dir;
        CMailStore store(dir / "profile");
        const std::string strId = QueueOne(store, c.pszName);
        namespace fs = std::filesystem;
        const fs::path outboxFile = dir / "profile/Outbox/cur/" + strId + ":2,";
        ASSERT_TRUE(fs::exists(outboxFile));
        // The move's copy is a second name of the same file, as link() makes it.
        if (c.bCopyInSent) fs::create_hard_link(outboxFile, dir / "profile/Sent Items/cur/" + strId + ":2,S");
        if (c.outbox == EOutbox::Gone) fs::remove(outboxFile);
        // Too large to be read now (sparse: it takes no room).
        if (c.outbox == EOutbox::Unreadable) fs::resize_file(outboxFile, CMaildir::kMaxMessageBytes + 1);
        if (c.record != E::Queued) {
            CDeliveryRecord rec{c.record, "", {}, 1};
            if (c.record == E::Sent) rec.vecRefused = {"<x@example.org>: 550 no"};
            ASSERT_EQ(store.PutRecord(strId, rec).Problem(), "");
        }

        CMailStore restarted(dir / "profile");  // a new process knows nothing yet
        ASSERT_EQ(restarted.Open().Problem(), "");
        const CRun run =
            RunWorker(restarted, std::make_unique<CCountingTransport>(restarted, strId),
                      [](const CRun& r) { return Has(r.vecEvents, E::Sent) || Has(r.vecEvents, E::InDoubt); });

        EXPECT_EQ(run.nSent, c.record != E::Queued ? 0 : 1) << "handed over again, or never";
        EXPECT_FALSE(run.bCopyInSentAtHandOver);
        const auto vecOutbox = restarted.List(EMailFolder::Outbox);
        const auto vecSent = restarted.List(EMailFolder::SentItems);
        EXPECT_EQ(vecOutbox.size(), c.bInOutboxAfter ? 1u : 0u);
        EXPECT_EQ(vecSent.size(), c.bInSentAfter ? 1u : 0u) << "once in Sent Items";
        EXPECT_EQ(restarted.GetRecord(vecOutbox.empty() ? (vecSent.empty() ? strId : vecSent[0]) : vecOutbox[0]).state,
                  c.recordAfter);
        EXPECT_TRUE(c.outbox == EOutbox::Gone || Has(run.vecEvents, c.event)) << "the user is told";
        EXPECT_TRUE(restarted.StoredRecordIds().size() <= 1u);
    }
}

// When the move to Sent Items fails after the server's yes, a "sent" record
// is what keeps the message from being taken as in doubt: the next start
// finishes the move and sends nothing again.
TEST_F(DeliveryWorkerTest, AMoveThatFailsAfterTheYesIsFinishedAtTheNextStart) {
    const std::string strProfile = m_dir / "profile";
    const std::string strSentCur = strProfile + "/Sent Items/cur";
    std::string strId;
    {
        CMailStore store(strProfile);
        strId = QueueOne(store, "no room in Sent Items");
        auto pTransport = std::make_unique<CCountingTransport>(store, strId);
        pTransport->m_fnAfterYes = [&] { BreakFolder(strSentCur); };  // the move fails
        auto fnWarned = [](const CRun& r) { return Has(r.vecEvents, EHostEvent::Warning, "not moved to Sent Items"); };
        const CRun run = RunWorker(store, std::move(pTransport), fnWarned);
        ASSERT_TRUE(fnWarned(run));
        EXPECT_EQ(run.nSent, 1);
        EXPECT_EQ(store.GetRecord(strId).state, EHostEvent::Sent);
    }
    std::filesystem::remove(strSentCur);
    std::filesystem::create_directories(strSentCur);

    CMailStore store(strProfile);
    ASSERT_EQ(store.Open().Problem(), "");
    auto fnSent = [](const CRun& r) { return Has(r.vecEvents, EHostEvent::Sent); };
    const CRun run = RunWorker(store, std::make_unique<CCountingTransport>(store, strId), fnSent);
    EXPECT_TRUE(fnSent(run));
    EXPECT_EQ(run.nSent, 0) << "not handed over again";
    EXPECT_TRUE(store.List(EMailFolder::Outbox).empty());
    EXPECT_EQ(store.List(EMailFolder::SentItems), std::vector<std::string>{strId});
    EXPECT_TRUE(store.StoredRecordIds().empty());
}
