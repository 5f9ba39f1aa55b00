#pragma once
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "ToolExitStatus.h"

// Where a change to a task list is made: by the add-in of a running host
// that serves the file, so that its later saves keep it, or, with no host
// there, here by the caller under the lock such a host would hold.
class CChangeRoute {
public:
    // How long a change waits for a lock whose holder does not answer: a
    // host that is starting up, or another tool writing the file.
    static constexpr int kLockWaitMs = 3000;

    // What the task list file shows of a change the host did not answer.
    enum class EFound {
        kApplied,     // the file holds it; the answer is made from the file
        kNotApplied,  // the file does not hold it
        kUnknown,     // the file cannot tell (send-now: nothing of it is kept there)
    };
    // Looks at the file (under its lock) for the change; fills the answer
    // the host would have given when the change is there.
    using CFindFn = std::function<EFound(nlohmann::ordered_json& jAnswer)>;

    // Sends jRequest to the host serving strFile; with none, calls fnDirect
    // while holding the lock and gives its status. pAnswer, when given,
    // receives the host's answer when it accepted the change. A refusal is
    // reported on standard error, each of the host's problems through
    // fnWords when given: as status 2 when the request itself was at fault
    // (what fnDirect says of it too), else, as a host out of reach, 3. When the host
    // vanishes after the request went out and before it answered, the
    // file says what happened: once its lock is free, fnFind looks, and
    // the change is reported as applied (status 0, as if answered), not
    // applied (3), or not known (3) when the file cannot tell or the host
    // still holds it.
    // The folder of the task list file strFile, absolute and ending with
    // '/' as the host names its own: where its templates, its store and the
    // notes of changes left half done live.
    static std::string DataDirOf(const std::string& strFile);

    static int Write(const std::string& strFile, const nlohmann::ordered_json& jRequest,
                     const std::function<int()>& fnDirect, nlohmann::ordered_json* pAnswer = nullptr,
                     const std::function<std::string(const std::string&)>& fnWords = {}, const CFindFn& fnFind = {});
};
