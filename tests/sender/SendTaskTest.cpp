// Sending one task through the real host: object model, store, delivery
// worker and a loopback SMTP server that shows what arrived.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "CApplication.h"
#include "CApplicationEventsSink.h"
#include "CHostTestBase.h"
#include "Contains.h"
#include "SendTask.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace fs = std::filesystem;
using EKind = CSendStart::EKind;

namespace {

class SendTaskTest : public CHostTestBase {
protected:
    void SetUp() override {
        m_server.Start({});
        WritePlainAccount(m_server.Port());
        StartHost();
        m_spApp = CApplication::Create(*m_pHost);
        fs::create_directories(Dir() / "files");
    }
    void TearDown() override {
        if (m_spApp) m_spApp->Shutdown();
        m_spApp = nullptr;
    }

    // A template with a subject, body and one recipient, written through
    // the object model as the options sheet writes it.
    std::string MakeTemplate(const std::string& strSubject) {
        CComPtr<IDispatch> spItem;
        EXPECT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
        CComQIPtr<_MailItem> spMail(spItem.p);
        spMail->put_Subject(strSubject);
        spMail->put_Body("Hello from " + strSubject + "\n");
        spMail->put_To("Rita Receiver <rita@example.com>");
        const std::string strPath = (Dir() / (strSubject + ".oft")).string();
        EXPECT_EQ(spMail->SaveAs(strPath, CVariant(olTemplate)), S_OK);
        return strPath;
    }
    std::string File(const std::string& strName, const std::string& strBody = "data") {
        const fs::path p = Dir() / "files" / strName;
        fs::create_directories(p.parent_path());
        CTempDir::WriteFile(p.string(), strBody);
        return p.string();
    }
    // The attachment names of the nCount-th message that arrived.
    std::vector<std::string> ArrivedAttachments(size_t nCount = 1) {
        EXPECT_TRUE(m_server.WaitForCount(nCount, std::chrono::seconds(20)));
        std::vector<std::string> vec;
        const auto received = m_server.Received();
        if (received.size() < nCount) return vec;
        const std::string& strData = received[nCount - 1].strData;
        for (size_t pos = 0; (pos = strData.find("filename=", pos)) != std::string::npos; pos += 9) {
            size_t nStart = pos + 9 + (strData[pos + 9] == '"');
            size_t nEnd = strData.find_first_of("\"\r\n;", nStart);
            vec.push_back(strData.substr(nStart, nEnd - nStart));
        }
        return vec;
    }
    size_t OutboxAndSent() {
        return m_pHost->ListFolder(EMailFolder::Outbox).size() + m_pHost->ListFolder(EMailFolder::SentItems).size();
    }

    fs::path Dir() const { return fs::path(m_dir.Path()); }

    CComPtr<CApplication> m_spApp;
};

}  // namespace

// A folder mask takes the folder's files only and entries go as listed;
// "*.*" matches files without a dot; entries matching nothing still send the
// message, and the result names each of them. A file that is there but
// cannot be attached once went missing from a message whose result said
// sent; now the occurrence is not sent and says why.
TEST_F(SendTaskTest, AttachmentEntriesAreTakenAsListedAndWhatMatchesNothingIsNamed) {
    const fs::path files = Dir() / "files";
    for (const char* psz : {"a.txt", "B.TXT", "c.txt", "notes.md", "dir/README", "dir/x.cfg"}) File(psz);
    fs::create_directories(files / "sub.txt");
    fs::create_directories(files / "empty");
    const std::string strGone = File("gone.pdf");
    fs::remove(strGone);  // deleted after scheduling
    const std::string strReport = File("report.pdf", "%PDF");
    const std::string strLarge = File("big/huge.bin");
    fs::resize_file(strLarge, (64u << 20) + 1);                    // sparse: over the largest message the host takes
    const std::string strLong = std::string(300, 'x') + "/*.txt";  // too long a pattern
    using Strings = std::vector<std::string>;
    const struct {
        const char* pszSubject;
        Strings vecEntries;
        EKind kind;
        Strings vecArrived;
        std::string strNote;  // for a message not sent: a part of the text
    } cases[] = {
        // clang-format off
        {"Weekly figures", {files / "*.txt", strGone, files, strReport, strReport}, EKind::HandedOver,
         {"B.TXT", "a.txt", "c.txt", "report.pdf", "report.pdf"}, "nothing matched " + strGone + ", " + files.string()},
        {"All files", {files / "dir/*.*", files / "dir/?.CFG"}, EKind::HandedOver, {"README", "x.cfg", "x.cfg"}, ""},
        {"Nothing attached", {files / "empty/*.zip", files / "*.none", Dir() / "no-such-folder/*.txt", strLong},
         EKind::HandedOver, {}, "nothing matched " + (files / "empty/*.zip").string() + ", " +
             (files / "*.none").string() + ", " + (Dir() / "no-such-folder/*.txt").string() + ", " + strLong},
        {"Too large to attach", {File("big/small.txt"), strLarge}, EKind::Failed, {},
         "the attachment " + strLarge + " cannot be attached: file too large"},
        // clang-format on
    };
    size_t nArrived = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszSubject);
        CTaskItem task;
        task.m_strTemplateFile = MakeTemplate(c.pszSubject);
        for (const std::string& str : c.vecEntries) task.m_arrAttachments.Add(str);
        const CSendStart start = SendTask(m_spApp, task);
        EXPECT_EQ(start.kind, c.kind);
        EXPECT_EQ(start.strSubject, c.pszSubject);
        if (c.kind != EKind::HandedOver) {
            EXPECT_TRUE(Contains(start.strText, c.strNote));
            continue;
        }
        EXPECT_EQ(start.strNote, c.strNote);
        EXPECT_EQ(ArrivedAttachments(++nArrived), c.vecArrived);
        EXPECT_TRUE(Contains(m_server.Received().back().strData, std::string("Subject: ") + c.pszSubject));
        EXPECT_NE(m_server.Received().back().vecRcpt.size(), 0u);
    }
    // A copy of each is kept in Sent Items; nothing else went.
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, nArrived));
    EXPECT_EQ(m_pHost->ListFolder(EMailFolder::SentItems).size(), nArrived);
    EXPECT_EQ(OutboxAndSent(), nArrived);
    EXPECT_FALSE(m_server.WaitForCount(nArrived + 1, std::chrono::milliseconds(500)));
}

TEST_F(SendTaskTest, UnusableTemplatesSendNothingAndSayWhy) {
    CTaskItem task;
    EXPECT_EQ(SendTask(m_spApp, task).kind, EKind::TemplateMissing);  // no template named
    task.m_strTemplateFile = (Dir() / "missing.oft").string();
    const CSendStart missing = SendTask(m_spApp, task);
    EXPECT_EQ(missing.kind, EKind::TemplateMissing);
    EXPECT_EQ(missing.strText, task.m_strTemplateFile);
    task.m_strTemplateFile = (Dir() / "garbage.oft").string();
    static const char kGarbage[] = "\x00\x01\x02 not a message";
    CTempDir::WriteFile(task.m_strTemplateFile, std::string(kGarbage, sizeof kGarbage - 1));
    const CSendStart damaged = SendTask(m_spApp, task);
    EXPECT_EQ(damaged.kind, EKind::TemplateDamaged);
    EXPECT_EQ(damaged.strText, task.m_strTemplateFile);
    // Held open and locked by another program (a lock on another open file
    // conflicts just as one held by another process does).
    task.m_strTemplateFile = MakeTemplate("Locked");
    const int fd = ::open(task.m_strTemplateFile.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(SendTask(m_spApp, task).kind, EKind::TemplateMissing);
    ::close(fd);
    EXPECT_EQ(OutboxAndSent(), 0u);
    EXPECT_FALSE(m_server.WaitForCount(1, std::chrono::milliseconds(500)));
    // Unlocked, the same task goes out.
    EXPECT_EQ(SendTask(m_spApp, task).kind, EKind::HandedOver);
    EXPECT_TRUE(m_server.WaitForCount(1, std::chrono::seconds(20)));
}

TEST_F(SendTaskTest, TheResultComesBackWithTheTaskAndOccurrenceTheMessageWasStampedWith) {
    struct CHeard {
        int32_t nResult;
        std::string strText, strId, strTask, strOccurrence;
    };
    std::vector<CHeard> vecHeard;
    CComPtr<CApplicationEventsSink> spSink =
        MakeComObject<CApplicationEventsSink>([&](IDispatch* pItem, int32_t nResult, const std::string& strText) {
            CHeard heard{nResult, strText, "", "", ""};
            if (CComQIPtr<_MailItem> spMail(pItem); spMail) {
                spMail->get_MessageId(&heard.strId);
                spMail->GetHeader("X-Quillory-Task", &heard.strTask);
                spMail->GetHeader("x-quillory-occurrence", &heard.strOccurrence);
            }
            vecHeard.push_back(heard);
        });
    DWORD dwCookie = 0;
    ASSERT_EQ(AtlAdvise(static_cast<_Application*>(m_spApp.p), spSink->GetUnknown(), ApplicationEvents::iid, &dwCookie),
              S_OK);
    CTaskItem task;
    task.m_strTaskName = "Wöchentlicher Bericht";
    task.m_strTemplateFile = MakeTemplate("Weekly");
    task.m_dtNextSending = {2026, 12, 7, 2, 9, 5, 0};
    const CSendStart start = SendTask(m_spApp, task);
    ASSERT_EQ(start.kind, EKind::HandedOver);
    EXPECT_FALSE(start.strMessageId.empty());
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 1));
    ASSERT_EQ(vecHeard.size(), 1u);
    EXPECT_EQ(vecHeard[0].nResult, olSendSent);
    EXPECT_EQ(vecHeard[0].strId, start.strMessageId);
    EXPECT_EQ(vecHeard[0].strTask, "Wöchentlicher Bericht");
    EXPECT_EQ(vecHeard[0].strOccurrence, "2026-12-07 09:05");
    const std::string strData = m_server.Received().at(0).strData;
    EXPECT_TRUE(Contains(strData, start.strMessageId)) << "the id the server got";
    EXPECT_FALSE(Contains(strData, "X-Quillory")) << "the bookkeeping stays home:\n" << strData;
    // Unsubscribed, and after the host stopped, nothing more is heard.
    EXPECT_EQ(AtlUnadvise(static_cast<_Application*>(m_spApp.p), ApplicationEvents::iid, dwCookie), S_OK);
    const CSendStart again = SendTask(m_spApp, task);
    EXPECT_TRUE(again.kind == EKind::HandedOver && again.bAlreadyQueued) << "the same occurrence is not queued twice";
    EXPECT_EQ(again.strMessageId, start.strMessageId);
    task.m_dtNextSending.nMinute = 6;
    EXPECT_EQ(SendTask(m_spApp, task).kind, EKind::HandedOver);
    ASSERT_TRUE(WaitFor(EHostEvent::Sent, 2));
    EXPECT_EQ(vecHeard.size(), 1u);
}

TEST_F(SendTaskTest, ReceiveBeforeSendingRunsAnEnabledReceiveControlAndWaits) {
    CTaskItem task;
    task.m_strTemplateFile = MakeTemplate("Receive first");
    task.m_bReceiveBeforeSending = 1;
    std::vector<int> vecWaits;
    auto fnWait = [&](int n) { vecWaits.push_back(n); };
    EXPECT_EQ(SendTask(m_spApp, task, fnWait).kind, EKind::HandedOver);
    EXPECT_EQ(vecWaits, std::vector<int>{3000});
    EXPECT_TRUE(m_server.WaitForCount(1, std::chrono::seconds(20)));

    // Disabled control: no wait, the message still goes.
    CComPtr<_Explorer> spExplorer;
    ASSERT_EQ(m_spApp->ActiveExplorer(&spExplorer), S_OK);
    CComPtr<_CommandBars> spBars;
    spExplorer->get_CommandBars(&spBars);
    CComPtr<CommandBarControl> spControl;
    spBars->FindControl(vtMissing, CVariant(7095), vtMissing, vtMissing, &spControl);
    ASSERT_TRUE(spControl);
    spControl->put_Enabled(false);
    vecWaits.clear();
    EXPECT_EQ(SendTask(m_spApp, task, fnWait).kind, EKind::HandedOver);
    EXPECT_TRUE(vecWaits.empty());
    EXPECT_TRUE(m_server.WaitForCount(2, std::chrono::seconds(20)));
}

namespace {

// A host that fails where a real one might: it refuses to build an item,
// or builds one that is not a mail message. Counts what it was asked.
class CFailingApplication final : public CComObjectImpl<_Application> {
public:
    bool m_bNotMail = false;
    int m_nCreates = 0;
    HRESULT ActiveExplorer(_Explorer** pp) override { return *pp = nullptr, S_OK; }
    HRESULT get_Inspectors(_Inspectors** pp) override { return *pp = nullptr, E_FAIL; }
    HRESULT CreateItem(int32_t, IDispatch** pp) override { return *pp = nullptr, E_FAIL; }
    HRESULT CreateItemFromTemplate(const std::string&, const CVariant&, IDispatch** pp) override {
        ++m_nCreates;
        *pp = nullptr;
        if (!m_bNotMail) return E_FAIL;
        CComPtr<IDispatch> spOther = MakeComObject<COther>();
        *pp = spOther.Detach();
        return S_OK;
    }
    HRESULT GetNamespace(const std::string&, _NameSpace** pp) override { return *pp = nullptr, E_FAIL; }
    HRESULT get_Name(std::string* pstr) override { return *pstr = "", E_FAIL; }

private:
    class COther final : public CComObjectImpl<IDispatch> {};
};

}  // namespace

TEST(SendTaskFaults, RefusedOrForeignItemsEndTheAttemptQuietly) {
    CTempDir dir;
    const std::string strTemplate = dir / "t.oft";
    CTempDir::WriteFile(strTemplate, "To: a@b\r\nSubject: x\r\n\r\nbody\r\n");
    CTaskItem task;
    task.m_strTemplateFile = strTemplate;
    task.m_arrAttachments.Add(strTemplate);
    CComPtr<CFailingApplication> spApp = MakeComObject<CFailingApplication>();
    EXPECT_EQ(SendTask(spApp, task).kind, EKind::TemplateDamaged);
    spApp->m_bNotMail = true;
    EXPECT_EQ(SendTask(spApp, task).kind, EKind::TemplateDamaged);
    EXPECT_EQ(spApp->m_nCreates, 2);
}

// The third occurrence of a monthly report, 2027-01-04 09:00, whose
// subject, body and attachment entry name the month before; what happens
// when last month's file is not there is each row's rule.
TEST_F(SendTaskTest, PlaceholdersAreFilledInTextAndHtmlAndAnEntryMatchingNothingFollowsTheTasksRule) {
    using ENothing = CTaskRules::ENothingAttached;
    CTaskItem task;
    task.m_strTaskName = "Monthly";
    task.m_strTemplateFile = MakeTemplate("Report {month-1:%B %Y} #{n}");
    task.m_dtNextSending = {2027, 1, 4, 2, 9, 0, 0};
    task.m_nOccurrenceCount = 2;
    const std::string strEntry = (Dir() / "files" / "{month-1:%Y-%m}.csv").string();
    const std::string strFile = (Dir() / "files" / "2026-12.csv").string();
    task.m_arrAttachments.Add(strEntry);
    const std::string strNothing = "nothing matched " + strFile;
    const struct {
        const char* pszName;
        ENothing eRule, eWaitThen;
        int nMinutesLate;  // when the try is made
        bool bFile, bSendNow;
        EKind kind;
        std::string strText, strNote;
        int nRetrySeconds;
    } kRows[] = {
        {"the file is there", ENothing::Skip, ENothing::Skip, 0, true, false, EKind::HandedOver, "", "", 0},
        {"sent without it", ENothing::Send, ENothing::Skip, 0, false, false, EKind::HandedOver, "", strNothing, 0},
        {"skipped", ENothing::Skip, ENothing::Skip, 0, false, false, EKind::SkippedByRule, strNothing, "", 0},
        {"waits ten minutes", ENothing::Wait, ENothing::Skip, 5, false, false, EKind::WaitingForAttachments,
         strNothing + "; tried again until DEADLINE", "", 600},
        {"waits until the deadline", ENothing::Wait, ENothing::Skip, 55, false, false, EKind::WaitingForAttachments,
         strNothing + "; tried again until DEADLINE", "", 300},
        {"skipped at the deadline", ENothing::Wait, ENothing::Skip, 60, false, false, EKind::SkippedByRule,
         strNothing + " by DEADLINE", "", 0},
        {"sent without it at the deadline", ENothing::Wait, ENothing::Send, 61, false, false, EKind::HandedOver, "",
         strNothing + " by DEADLINE", 0},
        {"an extra message does not wait", ENothing::Wait, ENothing::Skip, 0, false, true, EKind::SkippedByRule,
         strNothing, "", 0},
    };
    size_t nArrived = 0;
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.pszName);
        if (row.bFile) File("2026-12.csv", "month,total\n");
        else fs::remove(strFile);
        CTaskRules rules;
        rules.eNothingAttached = row.eRule;
        rules.nWaitMinutes = 10;
        rules.nWaitDeadlineMinutes = 60;
        rules.eWaitThen = row.eWaitThen;
        // Each message its own occurrence, or the host takes it for one it holds already.
        task.m_dtNextSending.nDay = 4 + static_cast<int>(nArrived);
        const auto rOccurrence = TaskTime::ToAbsolute(task.m_dtNextSending);
        ASSERT_TRUE(rOccurrence);
        auto deadlined = [&](std::string str) {
            if (const size_t n = str.find("DEADLINE"); n != std::string::npos)
                str.replace(n, 8, "2027-01-0" + std::to_string(task.m_dtNextSending.nDay) + " 10:00");
            return str;
        };
        const CSendStart start = SendTask(m_spApp, task, {}, row.bSendNow ? "2027-01-04 21:30" : "", rules,
                                          *rOccurrence + row.nMinutesLate * 60);
        EXPECT_EQ(start.kind, row.kind);
        EXPECT_EQ(start.strText, deadlined(row.strText));
        EXPECT_EQ(start.strNote, deadlined(row.strNote));
        EXPECT_EQ(start.nRetrySeconds, row.nRetrySeconds);
        EXPECT_EQ(start.strSubject, "Report December 2026 #3");
        EXPECT_EQ(start.strUnfilled, "");
        if (row.kind != EKind::HandedOver) continue;
        ++nArrived;
        ASSERT_TRUE(m_server.WaitForCount(nArrived, std::chrono::seconds(20)));
        const std::string strData = m_server.Received().back().strData;
        EXPECT_TRUE(Contains(strData, "Subject: Report December 2026 #3"));
        EXPECT_TRUE(Contains(strData, "Hello from Report December 2026 #3"));  // the body
        EXPECT_EQ(strData.find("2026-12.csv") != std::string::npos, row.bFile) << strData;
    }
    EXPECT_EQ(nArrived, 3u);
    EXPECT_FALSE(m_server.WaitForCount(nArrived + 1, std::chrono::milliseconds(300))) << "nothing else went";

    // A task with a zone of its own names the occurrence as that zone reads it.
    const CZoneGuard here("America/New_York");
    CTaskItem tokyo;
    tokyo.m_strTaskName = "Tokyo";
    tokyo.m_strTemplateFile = MakeTemplate("Tokyo {date:%a %d %H:%M}");
    tokyo.m_dtNextSending = {2027, 1, 3, 1, 19, 0, 0};  // Sunday 19:00 here is Monday 09:00 there
    CTaskRules rules;
    rules.strZone = "Asia/Tokyo";
    const auto rAt = TaskTime::ToAbsolute(tokyo.m_dtNextSending);
    ASSERT_TRUE(rAt);
    EXPECT_EQ(SendTask(m_spApp, tokyo, {}, "", rules, *rAt).strSubject, "Tokyo Mon 04 09:00");

    // An HTML body is filled between its tags, the filled text escaped; a
    // text the task cannot fill goes as written, and the result says why.
    CTaskItem html;
    html.m_strTaskName = "Q&A <weekly>";
    html.m_strTemplateFile = (Dir() / "html.oft").string();
    CTempDir::WriteFile(html.m_strTemplateFile,
                        "To: rita@example.com\r\nSubject: {nme} for {date}\r\nMIME-Version: 1.0\r\n"
                        "Content-Type: text/html; charset=utf-8\r\n\r\n"
                        "<html><style>p {color: red}</style><p title=\"{n}\">{name}, {date:%d %B}</p></html>\r\n");
    html.m_dtNextSending = {2027, 2, 1, 2, 9, 0, 0};
    const CSendStart start = SendTask(m_spApp, html);
    ASSERT_EQ(start.kind, EKind::HandedOver) << start.strText;
    EXPECT_EQ(start.strSubject, "{nme} for {date}");
    EXPECT_EQ(start.strUnfilled, "subject: unknown placeholder {nme} at 1");
    ASSERT_TRUE(m_server.WaitForCount(nArrived + 2, std::chrono::seconds(20)));  // Tokyo's and this
    std::string strData;
    for (const auto& received : m_server.Received())
        if (received.strData.find("text/html") != std::string::npos) strData = received.strData;
    EXPECT_TRUE(Contains(strData,
                         "<html><style>p {color: red}</style><p title=\"{n}\">Q&amp;A &lt;weekly&gt;, 01 "
                         "February</p></html>"));
}
