#include "CTemplateMaker.h"

#include <iostream>
#include <iterator>

#include "CFileOps.h"
#include "CMaildir.h"
#include "CMimeReader.h"
#include "CMimeWriter.h"
#include "CPlaceholders.h"
#include "CTemplateFile.h"

namespace {

CResult<std::string> ReadAll(const std::string& strOption, const std::string& strPath) {
    if (strPath == "-") return std::string(std::istreambuf_iterator<char>(std::cin), {});
    // A FIFO or a device named here is a problem, never a wait.
    auto rBytes = CFileOps::ReadFile(strPath, CMaildir::kMaxMessageBytes);
    if (!rBytes) return CProblem(strOption + ": " + rBytes.Problem());
    return rBytes;
}

CResult<> CheckAddresses(const char* pszOption, const std::vector<std::string>& vec) {
    for (const std::string& str : vec)
        if (const auto r = CMimeWriter::ParseMailbox(str); !r)
            return CProblem(std::string(pszOption) + ": \"" + str + "\" is no address: " + r.Problem());
    return {};
}

std::string FileNameOf(const std::string& strPath) { return strPath.substr(strPath.find_last_of('/') + 1); }

}  // namespace

CResult<CTemplateMaker::CWritten> CTemplateMaker::Write(const CScheduleOptions& opt, const std::string& strPath,
                                                        const CMailMessage* pBase) {
    CMailMessage msg;
    CWritten written;
    if (!opt.strEml.empty()) {
        QUILLORY_TRY_VALUE(const std::string strBytes, ReadAll("--eml", opt.strEml));
        auto rParsed = CMimeReader::Parse(strBytes, true);
        if (!rParsed) return CProblem("--eml: " + opt.strEml + ": " + rParsed.Problem());
        msg = std::move(rParsed).Value();
        if (msg.vecTo.empty() && msg.vecCc.empty() && msg.vecBcc.empty())
            return CProblem("--eml: the message has no recipient");
        if (msg.strSubject.empty()) return CProblem("--eml: the message has no subject");
        if (msg.strBody.empty()) return CProblem("--eml: the message has no body");
        if (!msg.strFrom.empty())
            written.strNotice =
                "--eml: the message's From (" + msg.strFrom + ") is left out: it goes out from the account's address";
        msg.strFrom.clear();
        msg.strMessageId.clear();  // each sending is a message of its own
        msg.nDate = 0;
    } else {
        if (pBase) msg = *pBase;
        QUILLORY_TRY(CheckAddresses("--to", opt.vecTo));
        QUILLORY_TRY(CheckAddresses("--cc", opt.vecCc));
        QUILLORY_TRY(CheckAddresses("--bcc", opt.vecBcc));
        // Recipients are replaced as one part: --to alone keeps Cc and Bcc.
        if (!opt.vecTo.empty() || !pBase) msg.vecTo = opt.vecTo;
        if (!opt.vecCc.empty() || !pBase) msg.vecCc = opt.vecCc;
        if (!opt.vecBcc.empty() || !pBase) msg.vecBcc = opt.vecBcc;
        if (opt.optSubject || !pBase) msg.strSubject = opt.optSubject.value_or("");
        if (opt.optBodyFile) {
            QUILLORY_TRY_VALUE(msg.strBody, ReadAll("--body-file", *opt.optBodyFile));
            msg.bHtml = false;
        } else if (opt.optBody || !pBase) {
            msg.strBody = opt.optBody.value_or("");
            msg.bHtml = false;
        }
        if (msg.vecTo.empty() && msg.vecCc.empty() && msg.vecBcc.empty())
            return CProblem("--to: the message needs at least one recipient");
        if (msg.strSubject.empty()) return CProblem("--subject: the message needs a subject");
        if (msg.strBody.empty()) return CProblem("--body: the message needs a body");
    }
    // The texts given now are filled at each sending: a placeholder that
    // cannot be is refused here, where it can still be mended.
    CProblems problems;
    const bool bGivenSubject = !opt.strEml.empty() || opt.optSubject || !pBase;
    const bool bGivenBody = !opt.strEml.empty() || opt.optBody || opt.optBodyFile || !pBase;
    if (bGivenSubject)
        CPlaceholders::Check(msg.strSubject, opt.strEml.empty() ? "--subject" : "--eml: subject", problems);
    if (bGivenBody)
        CPlaceholders::Check(msg.strBody,
                             !opt.strEml.empty() ? "--eml: body"
                             : opt.optBodyFile   ? "--body-file"
                                                 : "--body",
                             problems, msg.bHtml);
    if (!problems.Empty()) return problems.AsProblem();
    if (!opt.vecAttach.empty()) msg.vecAttachments.clear();
    for (const std::string& strFile : opt.vecAttach) {
        QUILLORY_TRY_VALUE(const std::string strBytes, ReadAll("--attach", strFile));
        CMailAttachment attachment;
        attachment.strFileName = FileNameOf(strFile);
        attachment.vecData.assign(strBytes.begin(), strBytes.end());
        msg.vecAttachments.push_back(std::move(attachment));
    }
    msg.bSent = false;
    // The data folder's trouble (full, read-only), not the message's.
    if (const auto rSaved = CTemplateFile::Save(strPath, msg); !rSaved)
        return CProblem("cannot write the message into the data folder: " + rSaved.Problem());
    written.strSubject = msg.strSubject;
    return written;
}
