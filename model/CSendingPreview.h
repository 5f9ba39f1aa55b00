#pragma once
#include <ctime>
#include <vector>

#include "CResult.h"
#include "CTaskItem.h"

// The coming sending times of a task, as the scheduler will send them: the
// stored next time first, then each following one computed as it is after
// a send (the count goes up, the occurrence becomes the last sent). What the
// options sheet previews and what the command line prints are the same.
class CSendingPreview {
public:
    // Up to nCount times, fewer when the schedule ends or cannot move on.
    // A problem where the schedule cannot be computed.
    static CResult<std::vector<time_t>> Next(CTaskItem task, int nCount);
};
