#include "CTemplateFile.h"

#include "CFileOps.h"
#include "CMaildir.h"
#include "CMimeReader.h"
#include "CMimeWriter.h"

std::string CTemplateFile::Save(const std::string& strPath, const CMailMessage& msg) {
    if (strPath.empty()) return "no template file name given";
    CMailMessage copy = msg;
    copy.strMessageId.clear();  // every message made from it gets its own
    std::string strBytes;
    if (std::string str = CMimeWriter::Compose(copy, {.bDate = false}, strBytes); !str.empty())
        return "cannot save template " + strPath + ": " + str;
    return CFileOps::ReplaceFile(strPath, strBytes);
}

std::string CTemplateFile::Load(const std::string& strPath, CMailMessage& msg) {
    if (strPath.empty()) return "no template file name given";
    std::string strBytes;
    if (std::string str = CFileOps::ReadFile(strPath, strBytes, CMaildir::kMaxMessageBytes); !str.empty())
        return "cannot load template: " + str;
    CMailMessage loaded;
    if (std::string str = CMimeReader::Parse(strBytes, loaded); !str.empty())
        return "cannot load template " + strPath + ": " + str;
    loaded.strMessageId.clear();
    loaded.bSent = false;
    msg = std::move(loaded);
    return {};
}
