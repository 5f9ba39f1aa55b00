#pragma once
// The add-in's shared state, set at connection and read by the sender, the
// message-window trackers, the options sheet and the Email Manager.
#include <cstdint>
#include <string>

#include "CTaskItem.h"
#include "MailHostOM.h"

class CSendEmailDlg;

extern std::string g_strAppDataDir;   // roaming application data; ends with '/' unless empty
extern std::string g_strInstallDir;   // folder of the module file; ends with '/' unless empty
extern std::string g_strDataDir;      // emails.dat and the templates; always ends with '/'
extern CComPtr<_Application> g_spApplication;
extern CTaskList* g_pTaskList;        // null when there is none
extern CSendEmailDlg* g_pSendEmailDlg;
extern CComPtr<_Inspector> g_spCurInspector;
extern CComPtr<_MailItem> g_spCurMailItem;
extern int32_t g_nCurTaskIndex;       // -1: the current message window holds a new message
