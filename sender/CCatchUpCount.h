#pragma once
#include <string>
#include <vector>

#include "CTaskItem.h"

// The occurrences the scheduler finds overdue after it starts (the host
// was not running at their time), per task: sent late or skipped. The
// catch-up goes one occurrence per task per tick, so it is over with the
// first tick that finds nothing overdue; from then on nothing is counted.
class CCatchUpCount {
public:
    struct CLine {
        std::string strTaskName;
        int nSentLate = 0;
        int nSkipped = 0;
        bool operator==(const CLine&) const = default;
    };

    bool IsCounting() const { return m_bCounting; }
    // One overdue occurrence of task nId, sent (late) or skipped.
    void Note(CTaskList::Id nId, const std::string& strTaskName, bool bSent);
    // At the end of every tick. True exactly once: at the end of the
    // catch-up, when anything was counted; Lines() then tells what.
    bool EndTick();
    // In the order the tasks were first found overdue.
    const std::vector<CLine>& Lines() const { return m_vecLines; }

private:
    bool m_bCounting = true;
    bool m_bNotedThisTick = false;
    std::vector<CTaskList::Id> m_vecIds;  // beside m_vecLines
    std::vector<CLine> m_vecLines;
};
