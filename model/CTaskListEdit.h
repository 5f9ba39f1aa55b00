#pragma once
#include <ctime>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "CResult.h"
#include "CTaskItem.h"

class CTextCodec;

// One change to one task of a task list, as the quillory tool asks for it
// (see CHostProtocol): add, set, remove, enable, disable, copy, move and
// send-now. The add-in applies it to its own list and the tool to the file
// when no host runs, so both keep the same rules: those of the options
// sheet for add and set (the start must lie ahead for a new task, the end
// date after the start, a name that is not empty and not another task's,
// the panels' ranges), and those of the Email Manager for the others.
//
// A change is applied to the list as it stands, never to a copy taken
// earlier: the sender may have moved the task on in between. Example: set
// {"endKind": 1, "endAfterCount": 5} on a task that has sent 4 times keeps
// its count of 4, whatever the tool read before.
class CTaskListEdit {
public:
    using json = nlohmann::ordered_json;

    struct CContext {
        std::string strDataDir;  // the task list's folder, ending with '/': where templates live
        time_t tNow = 0;         // the present, by the applier's clock
        const CTextCodec* pCodec = nullptr;
        // Sends one extra message of a task; null where nothing can be sent.
        std::function<void(const CTaskItem&)> fnSend;
    };

    struct COutcome {
        int nIndex = -1;  // where the task stands now, from 0; -1: removed
        CTaskItem task;   // the task as it is now (as it was, when removed)
        // The file work done with the change, undone when the list cannot
        // be saved, or left for after the save.
        std::string strPlacedFrom, strPlacedTo;  // a new template moved into place
        std::string strKeptAside;                // the message it replaced under the same name, until saved
        std::string strCopied;                   // a template copied for a new task
        std::string strRemoveAfterSave;          // a template no task uses any more
    };

    // Applies jRequest to list. The problem holds one line per fault, each
    // "key: what" where a task member is at fault ("start: Please change
    // the starting date and time later than the current time."); on a
    // problem neither the list nor any file has changed.
    static CResult<COutcome> Apply(CTaskList& list, const json& jRequest, const CContext& ctx);
    // Apply, then fnSave; when the save fails the list and the files are
    // put back as they were.
    static CResult<COutcome> ApplyAndSave(CTaskList& list, const json& jRequest, const CContext& ctx,
                                          const std::function<CResult<>()>& fnSave);
    // A task name as the list keeps it: without blanks around it.
    static std::string TrimmedName(const std::string& str);
    // Whether the command is one of those above.
    static bool IsEdit(const std::string& strCommand);
};
