#pragma once
#include <string>
#include <vector>

#include "CTaskItem.h"
#include "CTaskListFile.h"
#include "CTextCodec.h"

// The task names of a list in its order: what most checks of a saved or
// reordered list compare.
inline std::vector<std::string> TaskNames(const CTaskList& list) {
    std::vector<std::string> vec;
    for (const CTaskItem& t : list) vec.push_back(t.m_strTaskName);
    return vec;
}

// The names of the tasks a task list file holds, as far as it reads: the
// callers compare them with what they expect, damage included.
inline std::vector<std::string> TaskNamesInFile(const std::string& strPath, const std::string& strCodePage = "") {
    CTaskList list;
    (void)CTaskListFile::LoadTaskList(strPath, list, CTextCodec::Open(strCodePage).Value());
    return TaskNames(list);
}
