#pragma once
#include <string>

#include "CAccount.h"
#include "CServerProbe.h"

// The account's Test, for the Accounts dialog and `mailhost account test`:
// the sending server, and the receiving one when the account has one, each
// asked as delivery and receiving would ask it. Blocks for up to the
// connection timeouts: call it off a UI thread.
class CAccountProbe {
public:
    struct CReport {
        CServerProbe::CReport smtp, receive;
        bool bReceive = false;  // a receiving server is configured and was asked

        // True only when every configured server answered.
        bool AllAnswered() const { return smtp.bOk && (!bReceive || receive.bOk); }
        // "Sending: OK. Connected to ...", then "Receiving: ..." on a line of its own.
        std::string Text() const;
    };
    static CReport Run(const CAccount& account, long nTimeoutSeconds = 20);
};
