#pragma once
#include <cstddef>

// The conversation between the quillory tool and the add-in of a running
// host, on the socket CTaskListLock::SocketPathOf names. The tool sends one
// JSON object on one line, the command and its arguments:
//   {"command": "import", "tasks": [ ...the task list as exported... ]}
// and reads one JSON object on one line:
//   {"ok": true, "pid": 4711, "tasks": 3}
//   {"ok": false, "pid": 4711, "problems": ["task 2: minuteInterval: must be at least 1, not 0"]}
// A refused request has changed nothing.
class CHostProtocol {
public:
    static constexpr const char* kCommand = "command";
    static constexpr const char* kOk = "ok";
    static constexpr const char* kProblems = "problems";
    static constexpr const char* kPid = "pid";      // the host's process
    static constexpr const char* kTasks = "tasks";  // import: the list; answers: how many the list holds
    static constexpr const char* kFile = "file";    // ping: the task list file the host saves to

    static constexpr const char* kPing = "ping";      // read-only: pid, tasks, file
    static constexpr const char* kImport = "import";  // replaces the whole list

    // A longer request is refused unread: no task list comes near it.
    static constexpr size_t kMaxLine = 64u << 20;
};
