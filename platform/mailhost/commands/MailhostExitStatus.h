#pragma once

// The mail host program's exit statuses: its own options and its commands
// (account, status) alike, 0 to 3 as the quillory tool uses them.
enum EMailhostExit : int {
    kExitOk = 0,     // done; for a test, every configured server answered
    kExitUsage = 1,  // unknown command or option, a missing value
    kExitData = 2,   // the account or a file is missing, unreadable or invalid
    kExitHost = 3,   // a running host, or a mail server, refused or could not be reached
    // `mailhost status` only, the first that applies:
    kExitNoHost = 4,    // no host runs on the profile, so nothing is sent
    kExitFailed = 5,    // messages failed for good or are in doubt: they wait for you
    kExitRetrying = 6,  // messages wait to be tried again (a server's refusal for now, a full disk)
};
