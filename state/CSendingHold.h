#pragma once
#include "CTaskItem.h"

// A task an options sheet is editing: the sender leaves it alone while the
// sheet is open, so that what the sheet stores (worked out when the user
// pressed Schedule, and the count and last sending it was opened with)
// never undoes a sending made meanwhile and sends that occurrence again.
// An occurrence due meanwhile waits, and is handled once the sheet is gone,
// late, as any occurrence passed while nothing ran.
//
// Example: Schedule pressed at 08:59:50 for 09:00, its notice still open at
// 09:00: nothing goes out until the notice and the sheet close; then 09:00
// goes out once.
class CSendingHold {
public:
    explicit CSendingHold(CTaskList::Id nId);
    ~CSendingHold();
    CSendingHold(const CSendingHold&) = delete;
    CSendingHold& operator=(const CSendingHold&) = delete;

    static bool IsHeld(CTaskList::Id nId);

private:
    CTaskList::Id m_nId;
};
