#include "CSharedListEdit.h"

#include <iostream>

#include "CAddinBox.h"
#include "CTaskHistoryFile.h"
#include "IClock.h"
#include "SharedState.h"

CResult<CTaskListEdit::COutcome> CSharedListEdit::Apply(const CTaskListEdit::CEdit& edit) {
    if (!g_pTaskList) return CProblem("the add-in has no task list");
    const auto rCodec = TaskListCodec();  // only add and set measure texts; the save says it when it is missing
    const CTaskListEdit::CContext ctx{g_strDataDir, AddinClock().Now(), rCodec ? *rCodec : nullptr,
                                      {},           g_pTaskHistory,     TaskListPath()};
    auto rDone =
        CTaskListEdit::ApplyAndSave(*g_pTaskList, edit, ctx, SaveSharedTaskList, CTaskListEdit::ESaveFailed::Keep);
    if (rDone && !rDone->strNotSaved.empty()) CAddinBox::Fail("Failed to save the task list: " + rDone->strNotSaved);
    if (rDone && !rDone->strStoreNotSaved.empty()) {
        // The list holds the change; what is kept beside it is written again with its next save.
        std::cerr << "Quillory: the task store is not saved: " << rDone->strStoreNotSaved << '\n';
        CAddinBox::Warn("The task list is saved, but what is kept beside it (results, rules) is not: " +
                        rDone->strStoreNotSaved + "\n\nIt is saved again with the next change or result.");
    }
    return rDone;
}
