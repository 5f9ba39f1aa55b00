#pragma once
#include <cstddef>

// The conversation between the quillory tool and the add-in of a running
// host, on the socket CTaskListLock::SocketPathOf names. The tool sends one
// JSON object on one line, the command and its arguments:
//   {"command": "import", "tasks": [ ...the task list as exported... ]}
// and reads one JSON object on one line:
//   {"ok": true, "pid": 4711, "tasks": 3}
//   {"ok": false, "pid": 4711, "problems": ["task 2: minuteInterval: must be at least 1, not 0"]}
// A refused request has changed nothing. The commands that change one task
// name it by "task", its index from 1 or its exact name, and are applied by
// CTaskListEdit to the list as it stands when they arrive:
//   {"command": "set", "task": "Weekly report", "changes": {"endKind": 1, "endAfterCount": 5}}
//   {"command": "move", "task": "3", "to": "first"}
// and answered with where the task stands then and what it holds:
//   {"ok": true, "pid": 4711, "index": 3, "task": { ...as exported... }}
class CHostProtocol {
public:
    static constexpr const char* kCommand = "command";
    static constexpr const char* kOk = "ok";
    static constexpr const char* kProblems = "problems";
    static constexpr const char* kPid = "pid";  // the host's process
    // A refusal's cause: kFaultRequest when the request itself is at fault
    // (no such task, a name taken, a value out of range), which the tool
    // answers as it would without a host; absent when the host refused for
    // its own reasons (a dialog open, its disk, its state).
    static constexpr const char* kFault = "fault";
    static constexpr const char* kFaultRequest = "request";
    static constexpr const char* kTasks = "tasks";      // import: the list; answers: how many the list holds
    static constexpr const char* kFile = "file";        // ping: the task list file the host saves to
    static constexpr const char* kUnsaved = "unsaved";  // ping: why the list cannot be saved; absent when it can

    static constexpr const char* kTask = "task";          // the task a change is for; answers: it, as it is now
    static constexpr const char* kIndex = "index";        // answers: where that task stands, from 1 (0: removed)
    static constexpr const char* kChanges = "changes";    // add, set: task members by their exported keys
    static constexpr const char* kTemplate = "template";  // add, set: a new template written into the data folder
    static constexpr const char* kRules = "rules";        // add, set: the rules that change (CTaskRulesJson)
    static constexpr const char* kTo = "to";              // move: "up", "down", "first", "last" or a place from 1

    static constexpr const char* kPing = "ping";      // read-only: pid, tasks, file
    static constexpr const char* kImport = "import";  // replaces the whole list
    static constexpr const char* kAdd = "add";        // a new task at the end, as the options sheet makes one
    static constexpr const char* kSet = "set";        // changes a task and works out its next sending time again
    static constexpr const char* kRemove = "remove";  // removes a task and its template
    static constexpr const char* kEnable = "enable";
    static constexpr const char* kDisable = "disable";
    static constexpr const char* kCopy = "copy";         // a copy at the end, with a copy of its template
    static constexpr const char* kMove = "move";         // another place in the list
    static constexpr const char* kSendNow = "send-now";  // one extra message now, outside the schedule

    // A longer request is refused unread: no task list comes near it.
    static constexpr size_t kMaxLine = 64u << 20;
};
