#pragma once
#include "CTaskItem.h"

// Opens the options sheet on a task's schedule (from the Email Manager);
// true with the edited task when it closed with OK.
namespace CScheduleSheet {
bool EditSchedule(CTaskItem& task, int nIndex);
}
