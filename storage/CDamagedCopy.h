#pragma once
#include <string>

#include "CResult.h"
#include "TaskCalendarFields.h"

// Keeps a task list file that did not load whole before a save replaces
// it: a byte-for-byte copy beside it, named from the local time stamp, so
// that the tasks after the damage can still be salvaged by hand.
// Example: "/d/emails.dat" at 2026-12-07 10:39:45 is kept as
// "/d/emails.dat.damaged-20261207-103945", or "...-103945-2", "-3", ...
// when that name is taken.
class CDamagedCopy {
public:
    // The copy made; empty when there was no file to keep. The problem is
    // why no copy could be made; a half-made copy is removed.
    static CResult<std::string> Keep(const std::string& strPath, const TaskDateTime& stamp);
    static std::string CopyName(const std::string& strPath, const TaskDateTime& stamp, int nCounter);

    static constexpr int kMaxCounter = 1000;
};
