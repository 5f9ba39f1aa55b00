#pragma once
#include <string>
#include <vector>

#include "CTaskItem.h"

// The task names of a list in its order: what most checks of a saved or
// reordered list compare.
inline std::vector<std::string> TaskNames(const CTaskList& list) {
    std::vector<std::string> vec;
    for (const CTaskItem& t : list) vec.push_back(t.m_strTaskName);
    return vec;
}
