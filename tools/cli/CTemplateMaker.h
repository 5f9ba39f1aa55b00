#pragma once
#include <string>

#include "CMailMessage.h"
#include "CResult.h"
#include "CScheduleOptions.h"

// The message of `quillory add` and `quillory set`, written as a template
// in the host's own template format: an RFC 5322 message read from --eml,
// or one made from --to, --cc, --bcc, --subject and --body, with the files
// of --attach embedded. For set, pBase is the task's message now: what is
// given replaces that part of it (--to the recipients, --attach the
// embedded files) and the rest stays. Like the message window's button, it
// refuses a message without a subject, a body or a recipient; the problem
// names the option ("--to: \"rita@\" is no address: ..."), as it does for
// every placeholder of the subject and body given that sending could not
// fill ("--subject: unknown placeholder {dat} at 8").
//
// An --eml message keeps its own header fields (Reply-To, In-Reply-To,
// References, X- fields) but not its From: the account's address is both
// the envelope sender and the From of every message the host sends, so a
// From that names someone else is dropped and strNotice says so.
class CTemplateMaker {
public:
    struct CWritten {
        std::string strSubject;  // names a new task that --name does not
        std::string strNotice;   // what the user should know of the message; empty when nothing
    };
    static CResult<CWritten> Write(const CScheduleOptions& opt, const std::string& strPath,
                                   const CMailMessage* pBase = nullptr);
};
