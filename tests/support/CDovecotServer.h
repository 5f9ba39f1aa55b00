#pragma once
#include <sys/types.h>

#include <string>

#include "CTestProcess.h"

// A private dovecot instance for receive tests: its own config, users
// file, mail folders and run folder in a temp dir, IMAP and POP3 on free
// loopback ports, plain-text login allowed. Works as root (the login
// processes then run as the package's unprivileged users) and as a user.
class CDovecotServer {
public:
    explicit CDovecotServer(std::string strWorkDir);
    void Start();  // throws when the server does not come up
    void Stop() { m_process.Stop(); }
    int ImapPort() const { return m_nImapPort; }
    int Pop3Port() const { return m_nPop3Port; }
    static constexpr const char* kUser = "tess";
    static constexpr const char* kPassword = "tess-pw";
    // Delivers a message the way a local delivery agent would.
    void Deliver(const std::string& strName, const std::string& strBytes) const;

private:
    std::string m_strWorkDir;
    int m_nImapPort = 0, m_nPop3Port = 0;
    uid_t m_nMailUid = 0;  // dovecot refuses root as the mail user
    gid_t m_nMailGid = 0;
    CTestProcess m_process;
};
