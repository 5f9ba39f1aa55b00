#pragma once

// The quillory tool's exit statuses, the same for every command.
enum EToolExit : int {
    kExitOk = 0,
    kExitUsage = 1,  // unknown command or option, a missing value
    kExitData = 2,   // a task, a file or a value that is not there or not valid
    kExitHost = 3,   // the running host refused the change or could not be reached
};
