#include "COutboxCounts.h"

#include <utility>

void COutboxCounts::Add(EDeliveryState state) {
    switch (state) {
        case EDeliveryState::None:
        case EDeliveryState::Handed:
        case EDeliveryState::SentNotMoved: ++nWaiting; break;
        case EDeliveryState::Retrying: ++nRetrying; break;
        case EDeliveryState::Failed:
        case EDeliveryState::Refused: ++nFailed; break;
        case EDeliveryState::InDoubt: ++nInDoubt; break;
    }
}

std::string COutboxCounts::Text() const {
    return std::to_string(nWaiting) + " waiting, " + std::to_string(nRetrying) + " retrying, " +
           std::to_string(nFailed) + " failed, " + std::to_string(nInDoubt) + " in doubt";
}

const char* COutboxCounts::Word(EDeliveryState state) {
    switch (state) {
        case EDeliveryState::None: return "waiting";
        case EDeliveryState::Retrying: return "retrying";
        case EDeliveryState::Failed: return "failed";
        case EDeliveryState::InDoubt: return "in doubt";
        case EDeliveryState::Handed: return "sending";
        case EDeliveryState::SentNotMoved: return "sent";
        case EDeliveryState::Refused: return "failed";
    }
    return "waiting";
}

std::string COutboxCounts::ShortText() const {
    std::string str;
    const std::pair<int, const char*> parts[] = {
        {nWaiting, "waiting"}, {nRetrying, "retrying"}, {nFailed, "failed"}, {nInDoubt, "in doubt"}};
    for (const auto& [n, pszWord] : parts)
        if (n > 0) str += (str.empty() ? "" : ", ") + std::to_string(n) + " " + pszWord;
    return str.empty() ? "nothing waiting" : str;
}
