#pragma once
// A local time as the task list stores it, made through the instant it
// names so that its day of the week is filled in.
#include "ResultValue.h"
#include "TaskTime.h"

inline TaskDateTime At(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
    return TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(nYear, nMonth, nDay, nHour, nMinute)));
}
