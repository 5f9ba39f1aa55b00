#pragma once
#include <string>
#include <vector>

#include "CAccount.h"

// Connects to an account's servers the way delivery and receiving do (same
// security and login), sends one harmless NOOP and reports what the server
// said, so a user can check the settings before relying on them. Blocks for
// up to the connection timeout: call it off the UI thread.
class CServerProbe {
public:
    // A failed probe is no failure of the call: its report says what went
    // wrong, with the server's own words.
    struct CReport {
        bool bOk = false;
        std::string strSummary;               // one line for the user
        std::vector<std::string> vecReplies;  // the server's reply lines, in order
    };
    static CReport Smtp(const CAccount& account, long nTimeoutSeconds = 20);
    // imap://, imaps://, pop3:// or pop3s:// from the account's receive URL.
    static CReport Receive(const CAccount& account, long nTimeoutSeconds = 20);
};
