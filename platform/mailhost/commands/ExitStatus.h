#pragma once

// The exit statuses of mailhost's commands (account, status), as the
// quillory tool uses them.
enum EExitStatus : int {
    kExitOk = 0,     // done; for a test, every configured server answered
    kExitUsage = 1,  // unknown command or option, a missing value
    kExitData = 2,   // the account or a file is missing, unreadable or invalid
    kExitHost = 3,   // a running host, or a mail server, refused or could not be reached
};
