#include "CMessageSummary.h"

std::vector<std::pair<std::string, std::string>> CMessageSummary::Lines(const CMailMessage& msg) {
    std::vector<std::pair<std::string, std::string>> vec = {
        {"From", msg.strFrom.empty() ? "the account's address" : msg.strFrom}, {"Subject", msg.strSubject}};
    for (const auto& [pszLabel, vecAddresses] :
         {std::pair{"To", &msg.vecTo}, {"Cc", &msg.vecCc}, {"Bcc", &msg.vecBcc}}) {
        if (vecAddresses->empty()) continue;
        std::string str;
        for (const auto& s : *vecAddresses) str += (str.empty() ? "" : ", ") + s;
        vec.emplace_back(pszLabel, str);
    }
    for (const CMailAttachment& attachment : msg.vecAttachments)
        vec.emplace_back("Embedded",
                         attachment.strFileName + " (" + std::to_string(attachment.vecData.size()) + " bytes)");
    return vec;
}
