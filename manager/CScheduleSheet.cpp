#include "CScheduleSheet.h"

#include "COptionsDlg.h"
#include "SharedState.h"

bool CScheduleSheet::EditSchedule(CTaskItem& task, CTaskRules& rules, int nIndex, CTaskList::Id nId, QWidget* pOwner) {
    COptionsDlg dlg(pOwner, AddinClock());
    dlg.m_bNewTask = 0;
    dlg.m_nMode = COptionsDlg::kModeSchedule;
    dlg.SetTask(task);
    dlg.SetRules(rules);
    dlg.m_nEditIndex = nIndex;
    dlg.m_nEditId = nId;
    if (dlg.exec() != COptionsDlg::kResultOK) return false;
    task = dlg.GetTask();
    rules = dlg.GetRules();
    return true;
}
