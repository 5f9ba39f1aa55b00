#include "CTaskArgument.h"

#include <algorithm>
#include <cctype>

#include "Digits.h"

CResult<int> CTaskArgument::Find(const CTaskList& list, const std::string& strArg) {
    const bool bDigits = IsDigits(strArg, 9);
    int nFound = -1;
    for (int i = 0; i < list.GetSize(); ++i) {
        if (list[i].m_strTaskName != strArg) continue;
        if (nFound >= 0) return CProblem("task \"" + strArg + "\": more than one task has this name; give its index");
        nFound = i;
    }
    if (nFound >= 0) return nFound;
    if (bDigits) {
        const int nIndex = std::stoi(strArg);
        if (nIndex >= 1 && nIndex <= list.GetSize()) return nIndex - 1;
        return CProblem("there is no task " + strArg + " (the list has " + std::to_string(list.GetSize()) + ")");
    }
    return CProblem("there is no task named \"" + strArg + "\"");
}
