#pragma once
#include <string>

#include "CDeliveryLedger.h"

// How the Outbox stands, counted one way for every place that tells it:
// `mailhost status` (text and JSON) and the main window's status bar. Each
// message counts once, by its delivery record:
//     waiting   no record yet, handed over, or sent and not yet moved
//     retrying  a temporary failure; tried again later
//     failed    refused for good, or delivered with some recipients refused
//     in doubt  may have arrived; not sent again by itself
// e.g. "1 waiting, 1 retrying, 0 failed, 0 in doubt".
struct COutboxCounts {
    int nWaiting = 0;
    int nRetrying = 0;
    int nFailed = 0;
    int nInDoubt = 0;

    void Add(EHostEvent state);
    std::string Text() const;
    // Only what is there, for a status bar: "1 retrying, 1 failed", or "nothing waiting".
    std::string ShortText() const;
    bool operator==(const COutboxCounts&) const = default;
};
