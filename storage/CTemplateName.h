#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "CResult.h"
#include "TaskCalendarFields.h"

// Names of the template files in the data directory: the task name made
// safe for a file name, a time stamp, and ".oft".
class CTemplateName {
public:
    // The task name without the characters a file name cannot hold and
    // without anything that could leave the folder or hide the file
    // (control characters, leading dots), cut to 100 characters and to a
    // length every file system takes.
    static std::string CleanName(const std::string& strTaskName);
    // CleanName, then " YYYYMMDDhhmmss.oft" from the local time stamp.
    static std::string FileName(const std::string& strTaskName, const TaskDateTime& stamp);
    // strDataDir + strFileName, or with " (2)", " (3)", ... before ".oft"
    // while a file of that name exists or fnTaken says another task uses it.
    // The problem is a folder that cannot be looked into, or every counter used.
    static CResult<std::string> UniquePath(const std::string& strDataDir, const std::string& strFileName,
                                           const std::function<bool(const std::string&)>& fnTaken);
    // True when strPath names an entry directly inside strDataDir.
    static bool IsInside(const std::string& strDataDir, const std::string& strPath);
    // True when strPath may be a task's own template in strDataDir, which a
    // new message is written into and which goes once no task names it: a
    // ".oft" file directly inside, not hidden. The list, its lock, the store
    // and the notes beside them never are, whatever a task's record names.
    //     IsOwnTemplate("/d/q/", "/d/q/Report 20261207.oft") is true;
    //     "/d/q/tasks.json", "/d/q/.quillory-new-7.oft" and "/d/q/sub/x.oft" are not
    static bool IsOwnTemplate(const std::string& strDataDir, const std::string& strPath);
    // Where the quillory tool writes the message of an add or set before the
    // change takes it: strDataDir + ".quillory-new-<pid>.oft".
    static std::string PendingPath(const std::string& strDataDir, long nPid);
    static constexpr std::string_view kPendingPrefix = ".quillory-new-";
    // The pid in strPath when it has that form: only such a file may be
    // moved into place as a template (not another task's template, not the lock).
    static std::optional<long> PendingPid(const std::string& strDataDir, const std::string& strPath);
    static bool IsPendingPath(const std::string& strDataDir, const std::string& strPath) {
        return PendingPid(strDataDir, strPath).has_value();
    }

    static constexpr size_t kMaxChars = 100;
    static constexpr size_t kMaxBytes = 200;
    static constexpr int kMaxCounter = 10000;
};
