#pragma once
#include "ITransport.h"

// Delivery through the local sendmail program when no account is set up.
// Recipients go on the command line (not -t), so the Bcc header never
// needs to exist in what the program reads.
class CSendmailTransport : public ITransport {
public:
    explicit CSendmailTransport(std::string strProgram) : m_strProgram(std::move(strProgram)) {}
    CSendResult Send(const CWireMessage& wire, const std::function<bool()>& fnHanded,
                     const std::atomic<bool>& bAbort) override;
    std::string Describe() const override { return m_strProgram; }

    // The first executable of the usual places, or empty.
    static std::string FindProgram();
    // user@host of whoever runs the host, for messages without a sender.
    static std::string LocalAddress();

private:
    std::string m_strProgram;
};
