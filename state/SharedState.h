#pragma once
#include <string>

#include "CResult.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "MailHostOM.h"

class IClock;

// The add-in's module-wide state, set up at connection and cleared at
// disconnection; everything runs on the host's UI thread.
extern std::string g_strAppDataDir;  // the per-user application-data folder
extern std::string g_strInstallDir;  // the folder of the add-in's module
extern std::string g_strDataDir;     // the data directory, ending with '/'
extern CComPtr<_Application> g_spApplication;
extern CTaskList* g_pTaskList;                // the one task list while connected
extern CComPtr<_Inspector> g_spCurInspector;  // the message window last activated
extern CComPtr<_MailItem> g_spCurMailItem;    // its mail item
extern int g_nCurTaskIndex;                   // task whose message it shows, -1 for a new one
// The identity of that task in g_pTaskList (kNoId for a new message): the
// index moves when the list is reordered while the window is open.
extern CTaskList::Id g_nCurTaskId;
extern const IClock* g_pClock;  // the present for the sheet and the sender; null: the system clock

// The present the add-in schedules and sends by.
const IClock& AddinClock();

class CTextCodec;

// "emails.dat" in the data directory, and the code page its texts are in
// (made on the first call that can make it; the problem while
// QUILLORY_CODEPAGE or the locale names a code page iconv does not know).
std::string TaskListPath();
CResult<const CTextCodec*> TaskListCodec();
// Fills the shared task list from that file. A file that does not load
// whole keeps the tasks before the damage; before the first save replaces
// it, the original is kept beside it (CDamagedCopy) and the user is told
// once: on stderr, and in a message box when the host has windows. The
// problem is a code page that cannot be had, or a file that is there but
// cannot be read ("cannot read .../emails.dat: Permission denied"), which
// must then not be saved over; the damage is no problem here.
CResult<> LoadSharedTaskList();
// Saves list to that file. When the damaged original cannot be kept,
// nothing is written.
CResult<> SaveTaskListFile(const CTaskList& list);
// Why the last save of the task list failed ("...: No space left on device");
// empty after one that worked. Told to the tool's ping and to the user.
extern std::string g_strTaskListUnsaved;
// SaveTaskListFile of the shared task list.
CResult<> SaveSharedTaskList();

// The rules the store beside the list keeps for task (none without a
// store); the problem when what it keeps cannot be read as rules.
CResult<CTaskRules> SharedTaskRules(const CTaskItem& task);
