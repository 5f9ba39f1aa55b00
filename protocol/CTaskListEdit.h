#pragma once
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "CMessageSwap.h"
#include "CResult.h"
#include "CTaskHistoryFile.h"
#include "CTaskItem.h"
#include "CTaskRules.h"

class CTextCodec;

// One change to one task of a task list: the one way every writer changes
// it. The quillory tool asks for add, set, remove, enable, disable, copy,
// move and send-now (see CHostProtocol); the add-in applies such a request
// to its own list and the tool to the file when no host runs. The add-in's
// windows make the same edits (the Email Manager's commands, the task the
// options sheet scheduled from the manager or a message window, Undo
// Remove), so all keep the same rules: those of the options sheet for add
// and set (the start must lie ahead for a new task, the end date after the
// start, a name that is not empty and not another task's, the panels'
// ranges), and one Copy for all ("Copy of" the name, made unique, with a
// template of its own that never replaces a file).
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
        // What is kept of each task beside the list: once the list is saved,
        // a task given another template takes its identity, results and
        // settings with it, a copy starts with the settings, and a removed
        // task's go. Null where no one keeps it.
        CTaskHistoryFile* pStore = nullptr;
        // The task list's file, which a save replaces: a new message under
        // a template's own name waits for that (see CMessageSwap).
        std::string strTaskFile;
    };

    // Every kind of change. The first eight are the tool's commands, named
    // in Named(); Store and Restore are the add-in's windows' own.
    enum class ECommand {
        Add,
        Set,
        Remove,
        Enable,
        Disable,
        Copy,
        Move,
        SendNow,
        // A task the options sheet scheduled, its template already written:
        // replaces the task at nIndex, or goes to the end for -1 (a new
        // task, or one removed while the sheet was open).
        Store,
        // A task removed before (Undo Remove), back at nTo, or at the end
        // when the list is shorter now.
        Restore,
    };
    struct CNamed {
        const char* pszName;  // as CHostProtocol spells it
        ECommand eCommand;
    };
    // The commands the tool sends and the host answers, once for both.
    static std::span<const CNamed> Named();

    struct CEdit {
        ECommand eCommand = ECommand::Remove;
        int nIndex = -1;  // the task it is for, from 0; -1 for Add and a new task's Store
        int nTo = -1;     // Move and Restore: the place it goes to, from 0
        CTaskItem task;   // Store and Restore: the task itself
        json jRequest;    // Add, Set: the tool's request, with its changes and template
        // Store: the task's rules as the options sheet leaves them, all of
        // them; none: the rules it has stay.
        std::optional<CTaskRules> optRules;
        // Restore: what the store kept of the task when it was removed.
        std::optional<CTaskHistoryFile::CKept> optKept;
    };
    // The tool's request as an edit of list; the problem names the faulty key.
    static CResult<CEdit> Parse(const CTaskList& list, const json& jRequest);

    // What a writer does when the list, changed, cannot be saved.
    enum class ESaveFailed {
        Undo,  // the list and the files as they were (the tool is told nothing changed)
        Keep,  // the change stays in memory for the next save (a window shows it; the user is told why)
    };

    struct COutcome {
        int nIndex = -1;  // where the task stands now, from 0; -1: removed
        CTaskItem task;   // the task as it is now (as it was, when removed)
        // The file work done with the change, undone when the list cannot
        // be saved, or left for after the save.
        std::string strPlacedFrom, strPlacedTo;      // a new template moved into place
        std::optional<CMessageSwap::CSwap> optSwap;  // a new message under the template's own name, until saved
        std::string strCopied;                       // a template copied for a new task
        std::string strRemoveAfterSave;              // a template no task uses any more
        std::string strNotSaved;  // ESaveFailed::Keep: why the list, holding the change, is not saved
        // The template the task had before (Set, Store), or the one it was
        // copied from (Copy); the store follows when it differs.
        std::string strTemplateBefore;
        std::string strStoreNotSaved;          // why the store beside the list, changed with it, is not saved
        std::optional<nlohmann::json> jRules;  // add, set: the task's rules as they are now, for the store
        // Remove: what the store kept of the task, for bringing it back;
        // Restore: what is put back.
        std::optional<CTaskHistoryFile::CKept> optKept;
    };

    // Applies jRequest to list. The problem holds one line per fault, each
    // "key: what" where a task member is at fault ("start: Please change
    // the starting date and time later than the current time."); on a
    // problem neither the list nor any file has changed.
    static CResult<COutcome> Apply(CTaskList& list, const json& jRequest, const CContext& ctx);
    static CResult<COutcome> Apply(CTaskList& list, const CEdit& edit, const CContext& ctx);
    // Apply, then fnSave; when the save fails the list and the files are
    // put back as they were (keeping every task's identity), or, with
    // Keep, left changed with the save's problem in strNotSaved. A store
    // that must be written before the list and cannot be fails the same way.
    // pbNotSaved, when given, says whether a problem is such a failure to
    // save (the writer's trouble) rather than the change's own.
    static CResult<COutcome> ApplyAndSave(CTaskList& list, const json& jRequest, const CContext& ctx,
                                          const std::function<CResult<>()>& fnSave, bool* pbNotSaved = nullptr);
    static CResult<COutcome> ApplyAndSave(CTaskList& list, const CEdit& edit, const CContext& ctx,
                                          const std::function<CResult<>()>& fnSave,
                                          ESaveFailed eSaveFailed = ESaveFailed::Undo, bool* pbNotSaved = nullptr);
    // A task name as the list keeps it: without blanks around it.
    static std::string TrimmedName(const std::string& str);
    // Whether the command is one of Named().
    static bool IsEdit(const std::string& strCommand);
};
