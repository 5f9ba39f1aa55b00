#include "CTemplateFile.h"

#include "CFileOps.h"
#include "CMaildir.h"
#include "CMimeReader.h"
#include "CMimeWriter.h"

CResult<> CTemplateFile::Save(const std::string& strPath, const CMailMessage& msg) {
    if (strPath.empty()) return CProblem("no template file name given");
    CMailMessage copy = msg;
    copy.strMessageId.clear();  // every message made from it gets its own
    CResult<std::string> rBytes = CMimeWriter::Compose(copy, {.bDate = false});
    if (!rBytes) return CProblem("cannot save template " + strPath + ": " + rBytes.Problem());
    // Larger, it could never be loaded again (nor stored as a message).
    if (rBytes->size() > CMaildir::kMaxMessageBytes)
        return CProblem("cannot save template " + strPath + ": the message is " + std::to_string(rBytes->size()) +
                        " bytes, more than " + std::to_string(CMaildir::kMaxMessageBytes) +
                        " bytes (the most a message may have)");
    return CFileOps::ReplaceFile(strPath, *rBytes);
}

CResult<> CTemplateFile::Load(const std::string& strPath, CMailMessage& msg) {
    if (strPath.empty()) return CProblem("no template file name given");
    CResult<std::string> rBytes = CFileOps::ReadFile(strPath, CMaildir::kMaxMessageBytes);
    if (!rBytes) return CProblem("cannot load template: " + rBytes.Problem());
    CResult<CMailMessage> rLoaded = CMimeReader::Parse(*rBytes, true);
    if (!rLoaded) return CProblem("cannot load template " + strPath + ": " + rLoaded.Problem());
    rLoaded->strMessageId.clear();
    rLoaded->bSent = false;
    msg = std::move(rLoaded).Value();
    return {};
}
