#pragma once
#include <string>
#include <vector>

class CTextCodec;

// quillory add, set, remove, enable, disable, copy, move and send-now: one
// change to one task, made by the running host's add-in, or, with no host,
// in the file under its lock; the same rules either way (CTaskListEdit).
// Returns the tool's exit status.
int RunEdit(const std::string& strCommand, const std::vector<std::string>& vecArgs, const std::string& strFile,
            const CTextCodec& codec);
