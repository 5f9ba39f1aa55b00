#include "CHeadlessTestBase.h"

#include <cstdlib>
#include <filesystem>

#include "CApplication.h"
#include "CMailHost.h"
#include "CMailStore.h"
#include "CTaskJson.h"
#include "Contains.h"
#include "ResultValue.h"
#include "TaskTime.h"

namespace fs = std::filesystem;

CHeadlessTestBase::CHeadlessTestBase() : m_server(m_dir / "smtp") {
    fs::create_directories(m_dir / "smtp");
    m_server.Start({});
    setenv("HOME", m_dir.Path().c_str(), 1);
    setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    setenv("MAILHOST_REGISTRY", (m_dir / "registry.reg").c_str(), 1);
    setenv("QUILLORY_CODEPAGE", "UTF-8", 1);
    // The host's socket in a folder of this test's own.
    fs::create_directories(m_dir / "run");
    fs::permissions(m_dir / "run", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (m_dir / "run").c_str(), 1);
    unsetenv("MAILHOST_PROFILE");
    unsetenv("MAILHOST_ACCOUNTS");
    fs::create_directories(m_dir / "config/mailhost");
    fs::create_directories(DataDir());
    WriteAccount(m_server.Port());
    EXPECT_EQ(CTestProcess::Run({MAILHOST_PROGRAM, "--register", QUILSEND_MODULE}), 0);
}

CHeadlessTestBase::~CHeadlessTestBase() {
    m_host.Stop();
    m_server.Stop();
    for (const char* psz :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "MAILHOST_REGISTRY", "QUILLORY_CODEPAGE"})
        unsetenv(psz);
}

void CHeadlessTestBase::WriteAccount(int nPort) const {
    CTempDir::WriteFile(m_dir / "config/mailhost/accounts.ini",
                        "[Account]\nName = Quillory Test\nAddress = sender@example.org\nSmtpUrl = smtp://127.0.0.1:" +
                            std::to_string(nPort) + "\nSecurity = none\n");
}

void CHeadlessTestBase::QueueInOutbox(CMailMessage msg) const {
    CMailStore store(m_dir / "data/mailhost");
    ASSERT_TRUE(store.Open().Ok());
    if (msg.strBody.empty()) msg.strBody = "body\n";
    std::string strId;
    ASSERT_TRUE(store.Save(EMailFolder::Outbox, msg, strId).Ok());
}

std::string CHeadlessTestBase::MakeTemplate(const std::string& strName, const std::string& strSubject,
                                            const std::string& strBody) {
    CHostOptions opts;
    opts.strProfileDir = m_dir / "scratch-profile";
    CMailHost backend(opts);
    CComPtr<CApplication> spApp = CApplication::Create(backend);
    CComPtr<IDispatch> spItem;
    EXPECT_EQ(spApp->CreateItem(olMailItem, &spItem), S_OK);
    CComQIPtr<_MailItem> spMail(spItem);
    spMail->put_To("Rita Receiver <rita@example.com>");
    spMail->put_Subject(strSubject);
    spMail->put_Body(strBody);
    const std::string strPath = DataDir() + strName + ".oft";
    EXPECT_EQ(spMail->SaveAs(strPath, CVariant(static_cast<int>(olTemplate))), S_OK);
    spApp->Shutdown();
    return strPath;
}

std::string CHeadlessTestBase::MakeAttachmentFolder() {
    fs::create_directories(m_dir / "attach");
    CTempDir::WriteFile(m_dir / "attach/a.txt", "alpha\n");
    CTempDir::WriteFile(m_dir / "attach/b.txt", "beta\n");
    CTempDir::WriteFile(m_dir / "attach/c.log", "not wanted\n");
    return m_dir / "attach/*.txt";
}

CShellRun CHeadlessTestBase::Tool(const std::vector<std::string>& vecArgs, const std::string& strStdin) const {
    std::string strCmd = ShellQuoted(QUILLORY_CLI) + ShellWords(vecArgs);
    if (!strStdin.empty()) strCmd += " < " + ShellQuoted(strStdin);
    return RunShell(strCmd + " 2> " + ShellQuoted(m_dir / "tool.err"), m_dir / "tool.err");
}

void CHeadlessTestBase::Import(const CTaskList& list) {
    CTempDir::WriteFile(m_dir / "tasks.json", CTaskJson::ToJson(list).dump(2));
    const CShellRun run = Tool({"import"}, m_dir / "tasks.json");
    ASSERT_EQ(run.nExit, 0) << run.strErr;
}

nlohmann::json CHeadlessTestBase::Export() {
    const CShellRun run = Tool({"export"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    return nlohmann::json::parse(run.strOut);
}

std::vector<std::string> CHeadlessTestBase::Names(const nlohmann::json& jTasks) {
    std::vector<std::string> vec;
    for (const auto& t : jTasks) vec.push_back(t["taskName"]);
    return vec;
}

TaskDateTime CHeadlessTestBase::MinuteFromNow(int nMinutes) {
    // The one place where the real clock decides: what "now" is for a host
    // that runs on it.
    TaskDateTime dt = TaskTime::FromAbsolute(std::time(nullptr));
    return TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute)) +
                                  nMinutes * 60);
}

CTaskItem CHeadlessTestBase::Task(const std::string& strName, const std::string& strTemplate, int nRecurrence,
                                  TaskDateTime dtStart, bool bOverdue) {
    CTaskItem t;
    t.m_bActive = 1;
    t.m_strTaskName = strName;
    t.m_strTemplateFile = strTemplate;
    t.m_bSendOverdue = bOverdue;
    t.m_nRecurrence = nRecurrence;
    t.m_nMinuteInterval = 5;
    t.m_dtStart = dtStart;
    t.m_nEndKind = 0;
    t.m_dtNextSending = dtStart;
    return t;
}

void CHeadlessTestBase::StartHost(CTestProcess& process, const std::string& strLog) {
    process.Start({MAILHOST_PROGRAM, "--headless"}, false, strLog);
}

void CHeadlessTestBase::StartHostAndWait(CTestProcess& process, const std::string& strLog) {
    StartHost(process, strLog);
    ASSERT_TRUE(WaitForLog(strLog, kConnected, std::chrono::seconds(20))) << CTempDir::ReadFile(strLog);
}

bool CHeadlessTestBase::WaitForLog(const std::string& strLog, const std::string& strText,
                                   std::chrono::seconds timeout) {
    return WaitUntil([&] { return CTempDir::ReadFile(strLog).find(strText) != std::string::npos; }, timeout);
}

size_t CHeadlessTestBase::CountSubject(const std::string& strSubject) const {
    size_t n = 0;
    for (const auto& r : m_server.Received())
        n += r.strData.find("Subject: " + strSubject + "\r\n") != std::string::npos ||
             r.strData.find("Subject: " + strSubject + "\n") != std::string::npos;
    return n;
}

void CHeadlessTestBase::ExpectOneMessage(const std::string& strSubject, const std::string& strBody,
                                         const std::vector<std::string>& vecAttached, const std::string& strRecipient) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // ticks that must send nothing more
    m_host.Stop();
    EXPECT_EQ(m_host.ExitStatus(), 0);
    const auto vecReceived = m_server.Received();
    ASSERT_EQ(vecReceived.size(), 1u);
    const std::string& strData = vecReceived[0].strData;
    EXPECT_EQ(CountSubject(strSubject), 1u);
    EXPECT_TRUE(Contains(strData, strBody));
    for (const std::string& strName : vecAttached) EXPECT_TRUE(Contains(strData, strName)) << strName;
    EXPECT_FALSE(Contains(strData, "c.log")) << "the mask leaves other files out";
    EXPECT_EQ(vecReceived[0].vecRcpt, std::vector<std::string>{strRecipient});
}

bool CHeadlessTestBase::WaitForMessages(size_t nCount, std::chrono::seconds timeout) const {
    return m_server.WaitForCount(nCount, std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
}
