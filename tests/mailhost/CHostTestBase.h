#pragma once
#include <sys/stat.h>

#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "CMailHost.h"
#include "CSmtpServer.h"
#include "CTempDir.h"

// A host with its profile and accounts file in a temp folder, plus an
// SMTP server, for delivery tests. Events are collected in m_vecEvents.
class CHostTestBase : public ::testing::Test {
protected:
    CHostTestBase() : m_server(m_dir / "smtp") {}

    void WriteAccounts(const std::string& strBody) { CTempDir::WriteFile(m_dir / "accounts.ini", strBody); }
    void WritePlainAccount(int nPort, const std::string& strExtra = "Security = none\n") {
        WriteAccounts("[Account]\nName = Test Sender\nAddress = sender@example.org\nSmtpUrl = smtp://127.0.0.1:" +
                      std::to_string(nPort) + "\n" + strExtra);
    }
    void WritePassword(const std::string& strPassword, int nMode = 0600) {
        CTempDir::WriteFile(m_dir / "password", strPassword + "\n");
        ::chmod((m_dir / "password").c_str(), static_cast<mode_t>(nMode));
    }

    CMailHost& StartHost(const std::string& strSendmail = "none") {
        m_pHost.reset();
        CHostOptions opts;
        opts.strProfileDir = m_dir / "profile";
        opts.strAccountsPath = m_dir / "accounts.ini";
        opts.strSendmail = strSendmail;
        m_pHost = std::make_unique<CMailHost>(opts);
        EXPECT_EQ(m_pHost->Start().Problem(), "");
        return *m_pHost;
    }

    static CMailMessage Message(const std::string& strSubject) {
        CMailMessage msg;
        msg.vecTo = {"Rita Receiver <rita@example.com>"};
        msg.strSubject = strSubject;
        msg.strBody = "Body of " + strSubject + "\n";
        return msg;
    }

    size_t Count(EHostEvent kind) const {
        size_t n = 0;
        for (const auto& e : m_vecEvents) n += e.kind == kind;
        return n;
    }
    const CHostEventRecord* Last(EHostEvent kind) const {
        for (auto it = m_vecEvents.rbegin(); it != m_vecEvents.rend(); ++it) {
            if (it->kind == kind) return &*it;
        }
        return nullptr;
    }
    // Drains the host's events until nCount of kind have been seen.
    bool WaitFor(EHostEvent kind, size_t nCount, std::chrono::seconds timeout = std::chrono::seconds(30)) {
        auto tEnd = std::chrono::steady_clock::now() + timeout;
        while (Count(kind) < nCount) {
            // A receive failure ends a wait for received mail at once.
            if (kind == EHostEvent::Received && Count(EHostEvent::ReceiveFailed)) return false;
            if (std::chrono::steady_clock::now() > tEnd) return false;
            m_pHost->Events().WaitFor(std::chrono::milliseconds(100));
            for (auto& e : m_pHost->Events().Drain()) m_vecEvents.push_back(std::move(e));
        }
        return true;
    }

    CTempDir m_dir;
    CSmtpServer m_server;
    std::unique_ptr<CMailHost> m_pHost;
    std::vector<CHostEventRecord> m_vecEvents;
};
