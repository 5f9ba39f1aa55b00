#pragma once
#include <chrono>
#include <string>
#include <vector>

#include "CTestProcess.h"

// A real SMTP server on 127.0.0.1 for tests: the loopback server script
// run by the system Python. What it accepts is read back with Received().
class CSmtpServer {
public:
    struct COptions {
        bool bStartTls = false;
        bool bImplicitTls = false;
        std::string strAuth;  // "user:password"
        std::vector<std::string> vecRefuse;
        std::string strDataReply;
        size_t nSizeLimit = 0;          // the SIZE announced and enforced; 0: the server's default
        bool bHangUpAfterData = false;  // each message stored, the connection dropped before the answer
        int nPort = 0;                  // 0: a free one
    };
    struct CReceived {
        std::string strMailFrom;
        std::vector<std::string> vecRcpt;
        std::string strData;
    };

    explicit CSmtpServer(std::string strWorkDir);
    void Start(const COptions& opts);
    void Stop() { m_process.Stop(); }
    int Port() const { return m_nPort; }
    std::string CertPath() const { return m_strWorkDir + "/cert.pem"; }

    std::vector<CReceived> Received() const;
    bool WaitForCount(size_t nCount, std::chrono::milliseconds timeout) const;

private:
    void MakeCertificate();

    std::string m_strWorkDir;
    std::string m_strOutDir;
    int m_nPort = 0;
    CTestProcess m_process;
};
