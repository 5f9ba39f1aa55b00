#pragma once
#include <string>

#include "CResult.h"
#include "CTaskItem.h"

// A task named on the command line: by its index from 1, or by its exact
// name. A name that several tasks share is refused rather than guessed.
class CTaskArgument {
public:
    // The task's index from 0.
    static CResult<int> Find(const CTaskList& list, const std::string& strArg);
};
