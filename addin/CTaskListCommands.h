#pragma once
#include <functional>
#include <memory>
#include <string>

#include "CResult.h"
#include "CTaskItem.h"

class CTaskHistoryFile;
class CTaskListServer;

// The commands the add-in answers for the quillory tool: "ping" (read-only:
// the host's pid, the number of tasks, the file), "import" (replaces the
// whole list after the same checks the tool makes) and the changes to one
// task that CTaskListEdit applies (its Named() commands). A refused command
// changes nothing. A later writing command is one more handler here, or one
// more named edit there.
class CTaskListCommands {
public:
    struct CContext {
        std::function<CTaskList*()> fnTaskList;  // null when the add-in has none
        std::function<CResult<>()> fnSave;       // saves the list
        std::string strTaskFile;
        std::string strDataDir;                        // where templates live, ending with '/'
        std::function<void(const CTaskItem&)> fnSend;  // sends one extra message (send-now)
        std::function<std::string()> fnUnsaved;        // why the list cannot be saved; "" when it can
        std::function<CTaskHistoryFile*()> fnStore;    // what is kept per task beside the list; null: nothing
    };
    static void AddTo(CTaskListServer& server, CContext ctx);

    // A server over the add-in's shared list: writing commands wait for a
    // sender tick to end and are refused while a dialog is open in the host
    // (the Email Manager and the options sheet hold tasks by position).
    static std::unique_ptr<CTaskListServer> ForSharedList();
    // Registers the commands on the shared list and listens; a failure is
    // logged, and the add-in runs on without serving.
    static void Serve(CTaskListServer& server);
};
