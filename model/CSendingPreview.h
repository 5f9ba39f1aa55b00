#pragma once
#include <ctime>
#include <vector>

#include "CResult.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "CWorkingDays.h"

// The coming sending times of a task, as the scheduler will send them: the
// stored next time first, then each following one computed as it is after
// a send (the count goes up, the occurrence becomes the last sent). What the
// options sheet previews and what the command line prints are the same.
// Under rules, the times are where the working-day rule moves them, and the
// occurrences a rule skips (a day off, the pause, "skip the next") are left
// out, as the tick would skip them at their minute.
class CSendingPreview {
public:
    // Up to nCount times, fewer when the schedule ends or cannot move on.
    // A problem where the schedule cannot be computed.
    static CResult<std::vector<time_t>> Next(CTaskItem task, int nCount, CTaskRules rules = {},
                                             const CWorkingDays& days = CWorkingDays());

    // How many occurrences one preview looks at, at most, sent or skipped,
    // and how many years after the first: a task whose rules skip every
    // occurrence shows none, also in a zone of its own, whose rules are
    // kept for some centuries only.
    static constexpr int kMaxLooked = 20000;
    static constexpr int kMaxYearsLooked = 400;
};
