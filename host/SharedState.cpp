#include "SharedState.h"

std::string g_strAppDataDir;
std::string g_strInstallDir;
std::string g_strDataDir;
CComPtr<_Application> g_spApplication;
CTaskList* g_pTaskList = nullptr;
CSendEmailDlg* g_pSendEmailDlg = nullptr;
CComPtr<_Inspector> g_spCurInspector;
CComPtr<_MailItem> g_spCurMailItem;
int g_nCurTaskIndex = -1;
