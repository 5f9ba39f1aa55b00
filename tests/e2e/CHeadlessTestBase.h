#pragma once
// Real processes end to end: a loopback SMTP server, a profile whose
// accounts file points at it, the add-in registered, task lists written by
// the quillory tool, and `mailhost --headless` started and stopped.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "CMailMessage.h"
#include "CSmtpServer.h"
#include "CTaskItem.h"
#include "CTempDir.h"
#include "CTestProcess.h"
#include "ShellRun.h"
#include "WaitUntil.h"

class CHeadlessTestBase : public ::testing::Test {
protected:
    CHeadlessTestBase();
    ~CHeadlessTestBase() override;

    static constexpr const char* kConnected = "add-in Quillory (TarnwickQuillory.Addin) connected";

    std::string DataDir() const { return m_dir / "data/Tarnwick Software/Mail Host/Quillory/"; }
    std::string TaskFile() const { return DataDir() + "emails.dat"; }
    std::string HostLog() const { return CTempDir::ReadFile(m_dir / "host.log"); }
    // A template made through the host's SaveAs(path, olTemplate).
    std::string MakeTemplate(const std::string& strName, const std::string& strSubject, const std::string& strBody);
    // A folder with a.txt, b.txt and c.log, and its "*.txt" entry.
    std::string MakeAttachmentFolder();
    // The account the host sends through: a loopback server, no TLS.
    void WriteAccount(int nPort) const;
    // One message put straight into the host's Outbox, as another program does.
    void QueueInOutbox(CMailMessage msg) const;
    // The tool with these arguments on the default task list (the host's),
    // its standard input from strStdin when one is named.
    CShellRun Tool(const std::vector<std::string>& vecArgs, const std::string& strStdin = "") const;
    void Import(const CTaskList& list);
    nlohmann::json Export();
    static std::vector<std::string> Names(const nlohmann::json& jTasks);
    // Local time cut to the minute, plus nMinutes.
    static TaskDateTime MinuteFromNow(int nMinutes);
    static CTaskItem Task(const std::string& strName, const std::string& strTemplate, int nRecurrence,
                          TaskDateTime dtStart, bool bOverdue);

    void StartHost(CTestProcess& process, const std::string& strLog);
    void StartHost() { StartHost(m_host, m_dir / "host.log"); }
    // Started, and on until its add-in has connected.
    void StartHostAndWait(CTestProcess& process, const std::string& strLog);
    void StartHostAndWait() { StartHostAndWait(m_host, m_dir / "host.log"); }
    // Waits for text in a log file.
    static bool WaitForLog(const std::string& strLog, const std::string& strText, std::chrono::seconds timeout);
    // Messages at the server whose data holds "Subject: " + strSubject.
    size_t CountSubject(const std::string& strSubject) const;
    bool WaitForMessages(size_t nCount, std::chrono::seconds timeout) const;
    // Stops the host after a few more ticks (which must send nothing) and
    // checks the one message the server got: its subject, body, attached
    // file names, that no "c.log" of the attachment folder came along, and
    // its one recipient.
    void ExpectOneMessage(const std::string& strSubject, const std::string& strBody,
                          const std::vector<std::string>& vecAttached, const std::string& strRecipient);

    CTempDir m_dir;
    CSmtpServer m_server;
    CTestProcess m_host;
};
