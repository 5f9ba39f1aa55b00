#pragma once
#include <string>
#include <vector>

#include "CMailMessage.h"
#include "CResult.h"

// What goes over the wire for one message: envelope and CRLF bytes.
struct CWireMessage {
    std::string strFrom;               // bare address
    std::vector<std::string> vecRcpt;  // bare addresses, To + Cc + Bcc, no repeats
    std::string strBytes;              // CRLF line endings, no Bcc header
};

// Builds RFC 5322/MIME files from messages with GMime.
class CMimeWriter {
public:
    struct COptions {
        bool bDate = true;  // stamp a Date header
    };
    // LF line endings, Bcc kept: the form for templates and the store.
    static CResult<std::string> Compose(const CMailMessage& msg, const COptions& opts);
    // Turns a stored file into what is transmitted. A missing From is taken
    // from strDefaultFrom ("Name <addr>"); missing Date and Message-ID are added.
    static CResult<CWireMessage> PrepareForWire(const std::string& strStored, const std::string& strDefaultFrom,
                                                const std::string& strEnvelopeFrom);
    static std::string NewMessageId(const std::string& strFromAddress);
    // Local files and programs use bare LF.
    static std::string CrlfToLf(const std::string& strBytes);
    // Checks one "Name <a@b>" or "a@b" and gives the bare address.
    static CResult<std::string> ParseMailbox(const std::string& strMailbox);
};
