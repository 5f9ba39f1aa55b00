#pragma once
#include <string>
#include <vector>

#include "CTaskItem.h"

// Checks a task where one is built: the date groups it will be scheduled
// with, and the interval of the chosen recurrence, which must be at least 1
// (with 0 the schedule would never move on).
class CTaskCheck {
public:
    struct CProblem {
        std::string strField;  // the member's name as the task list JSON spells it
        std::string strText;
    };
    static std::vector<CProblem> Check(const CTaskItem& task);
    static void CheckDates(const CTaskItem& task, std::vector<CProblem>& vec);
    static void CheckIntervals(const CTaskItem& task, std::vector<CProblem>& vec);
};
