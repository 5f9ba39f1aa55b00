#include "COutboxCounts.h"

#include <string_view>
#include <utility>

// By the state's word in `mailhost status`'s list, so that the two agree.
void COutboxCounts::Add(EHostEvent state) {
    const std::string_view svWord = CDeliveryWords::Of(state).pszListed;
    if (svWord == "retrying") ++nRetrying;
    else if (svWord == "failed") ++nFailed;
    else if (svWord == "in doubt") ++nInDoubt;
    else ++nWaiting;
}

std::string COutboxCounts::Text() const {
    return std::to_string(nWaiting) + " waiting, " + std::to_string(nRetrying) + " retrying, " +
           std::to_string(nFailed) + " failed, " + std::to_string(nInDoubt) + " in doubt";
}

std::string COutboxCounts::ShortText() const {
    std::string str;
    const std::pair<int, const char*> parts[] = {
        {nWaiting, "waiting"}, {nRetrying, "retrying"}, {nFailed, "failed"}, {nInDoubt, "in doubt"}};
    for (const auto& [n, pszWord] : parts)
        if (n > 0) str += (str.empty() ? "" : ", ") + std::to_string(n) + " " + pszWord;
    return str.empty() ? "nothing waiting" : str;
}
