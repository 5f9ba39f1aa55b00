#pragma once
#include <curl/curl.h>

#include "CAccount.h"
#include "CReplyLines.h"
#include "ITransport.h"

// SMTP submission with libcurl. One easy handle for the transport's life,
// so consecutive messages reuse the open connection.
class CSmtpTransport : public ITransport {
public:
    explicit CSmtpTransport(CAccount account);
    ~CSmtpTransport() override;
    CSmtpTransport(const CSmtpTransport&) = delete;
    CSmtpTransport& operator=(const CSmtpTransport&) = delete;

    CSendResult Send(const CWireMessage& wire, const std::function<bool()>& fnHanded,
                     const std::atomic<bool>& bAbort) override;
    std::string Describe() const override { return m_account.strSmtpUrl; }
    size_t AnnouncedMaxBytes() const override { return m_nAnnouncedMax.load(); }

    // Per-transfer state the curl callbacks work on.
    struct CTransfer {
        const std::string* pBytes = nullptr;
        size_t nSent = 0;
        const std::function<bool()>* pfnHanded = nullptr;
        const std::atomic<bool>* pbAbort = nullptr;
        bool bHanded = false;
        bool bVerdict = false;
        bool bNotRecorded = false;   // fnHanded refused: dropped before the end of the data
        std::string strPendingRcpt;  // RCPT sent, reply not yet read
        std::string strLastReply;    // last complete server reply line
        std::string strFirstError;   // first 4xx/5xx reply: the reason for a failure
        std::vector<std::string> vecRefused;
        CReplyLines replyLines;
        size_t nAnnouncedMax = 0;  // the SIZE line of the greeting's capabilities
    };

private:
    CAccount m_account;
    CURL* m_pCurl = nullptr;
    std::atomic<size_t> m_nAnnouncedMax{0};
};
