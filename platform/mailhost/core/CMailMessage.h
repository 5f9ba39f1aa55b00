#pragma once
#include <cstdint>
#include <string>
#include <utility>
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
    // Further header fields ("X-..." names, Reply-To, In-Reply-To,
    // References) kept as they are, in order;
    // those under kLocalHeaderPrefix stay in the host's folders and are
    // never transmitted.
    std::vector<std::pair<std::string, std::string>> vecHeaders;
};

// Header fields an add-in stamps for its own bookkeeping ("X-Quillory-Task"):
// the recipient has no business with them.
inline constexpr const char* kLocalHeaderPrefix = "X-Quillory-";
// The scheduled task a message was sent for, and the local time of its
// occurrence ("2026-12-07 09:00"), so that its result finds its way back.
inline constexpr const char* kTaskHeader = "X-Quillory-Task";
inline constexpr const char* kOccurrenceHeader = "X-Quillory-Occurrence";
// An extra message sent on request, outside its task's schedule, carries
// this in place of the occurrence: the local time it was asked for.
inline constexpr const char* kSendNowHeader = "X-Quillory-Send-Now";
