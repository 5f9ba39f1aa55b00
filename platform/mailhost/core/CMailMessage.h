#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A file carried by a message: the name shown to the recipient and its bytes.
struct CMailAttachment {
    std::string strFileName;
    std::string strContentType = "application/octet-stream";
    std::vector<uint8_t> vecData;
};

// One message as the host keeps it in memory. Addresses are RFC 5322
// mailboxes ("Name <a@b>" or "a@b"), texts UTF-8.
struct CMailMessage {
    std::string strFrom;
    std::vector<std::string> vecTo, vecCc, vecBcc;
    std::string strSubject;
    std::string strBody;
    bool bHtml = false;
    std::vector<CMailAttachment> vecAttachments;
    std::string strMessageId;  // empty until stored or sent
    int64_t nDate = 0;         // from the Date header, seconds since the epoch; 0 when unknown
    bool bSent = false;        // true for messages sent or received
};
