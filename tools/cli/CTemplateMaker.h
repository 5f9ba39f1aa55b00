#pragma once
#include <string>

#include "CResult.h"
#include "CScheduleOptions.h"

// The message of `quillory add` and `quillory set`, written as a template
// in the host's own template format: an RFC 5322 message read from --eml,
// or one made from --to, --cc, --bcc, --subject and --body, with the files
// of --attach embedded. Like the message window's button, it refuses a
// message without a subject, a body or a recipient; the problem names the
// option ("--to: \"rita@\" is no address: ...").
class CTemplateMaker {
public:
    // The message's subject, which names a new task that --name does not.
    static CResult<std::string> Write(const CScheduleOptions& opt, const std::string& strPath);
};
