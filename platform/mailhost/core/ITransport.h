#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "CDeliveryWords.h"
#include "CMimeWriter.h"

struct CSendResult {
    EHostEvent outcome = EHostEvent::RetryLater;  // Sent, RetryLater or Failed
    std::string strReason;                        // the server's words where there are any
    std::vector<std::string> vecRefused;          // "addr: reply" for each refused recipient
    bool bHanded = false;                         // the whole message reached the server
    bool bVerdict = false;                        // the server answered after receiving it
};

// Hands one message to the next hop. Runs on the delivery thread only.
class ITransport {
public:
    virtual ~ITransport() = default;
    // fnHanded runs when the whole message is out but before its end is
    // sent (the server cannot take it yet), so the caller can record that a
    // resend could duplicate the message. When it answers false (the record
    // could not be made) the transfer is dropped there, the server never
    // takes the message, and the result is a temporary failure.
    // bAbort is polled; a transfer not yet handed over is dropped then.
    virtual CSendResult Send(const CWireMessage& wire, const std::function<bool()>& fnHanded,
                             const std::atomic<bool>& bAbort) = 0;
    virtual std::string Describe() const = 0;
    // The largest message the server said it takes (SMTP's SIZE), learnt on
    // the last connection; 0 while none was announced. Read from any thread.
    virtual size_t AnnouncedMaxBytes() const { return 0; }
};
