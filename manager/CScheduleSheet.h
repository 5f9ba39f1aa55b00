#pragma once
#include "CTaskItem.h"
#include "CTaskRules.h"

class QWidget;

// Opens the options sheet on a task's schedule (from the Email Manager);
// true with the edited task and its rules when it closed with OK. nId is the task's
// identity in the shared list, so that the sheet knows itself among the
// others however the list changes while it is open. The sheet is owned by
// pOwner and opens centred over it.
namespace CScheduleSheet {
bool EditSchedule(CTaskItem& task, CTaskRules& rules, int nIndex, CTaskList::Id nId, QWidget* pOwner);
}
