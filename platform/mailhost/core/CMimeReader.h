#pragma once
#include <string>

#include "CMailMessage.h"
#include "CResult.h"

// Reads any well-formed MIME message into a CMailMessage: addresses and
// subject decoded to UTF-8, the text/plain body preferred over text/html,
// every other leaf part an attachment.
class CMimeReader {
public:
    // With bWholeOnly, a message cut short (a multipart part without its
    // closing boundary) is a problem: a file that is to be sent must not go
    // out with part of an attachment missing. Mail received stays readable.
    static CResult<CMailMessage> Parse(const std::string& strBytes, bool bWholeOnly = false);
    // Only the Message-ID and the "X-" fields (vecHeaders) of a message's
    // first bytes; what cannot be read stays empty. For a folder's worth of
    // messages, whose bodies need not be read.
    static CMailMessage ParseHeaderFields(const std::string& strHead);
};
