#include "CScheduleSheet.h"

// Replaced by the options sheet when it lands.
bool CScheduleSheet::EditSchedule(CTaskItem&, int) { return false; }
