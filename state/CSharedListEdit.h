#pragma once
#include "CResult.h"
#include "CTaskListEdit.h"

// The add-in's windows change the shared task list only here: through
// CTaskListEdit, as the tool and the host protocol do, with the add-in's
// data folder, clock and code page, and saved at once. A change that cannot
// be saved stays in the list (the window shows it, the next save writes
// it) and the user is told why in a box; a refused change changes nothing
// and its problem is the caller's to tell. Example: Copy of task 2 gives
// the copy's index in the outcome, or "templateFile: cannot copy ...".
class CSharedListEdit {
public:
    static CResult<CTaskListEdit::COutcome> Apply(const CTaskListEdit::CEdit& edit);
};
