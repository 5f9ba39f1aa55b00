#include "SharedState.h"

#include "CTaskListFile.h"
#include "IClock.h"

std::string g_strAppDataDir;
std::string g_strInstallDir;
std::string g_strDataDir;
CComPtr<_Application> g_spApplication;
CTaskList* g_pTaskList = nullptr;
CSendEmailDlg* g_pSendEmailDlg = nullptr;
CComPtr<_Inspector> g_spCurInspector;
CComPtr<_MailItem> g_spCurMailItem;
int g_nCurTaskIndex = -1;
CTaskList::Id g_nCurTaskId = CTaskList::kNoId;
const IClock* g_pClock = nullptr;

const IClock& AddinClock() {
    static const CSystemClock g_systemClock;
    return g_pClock ? *g_pClock : g_systemClock;
}

std::string TaskListPath() { return g_strDataDir + CTaskListFile::kFileName; }

const CTextCodec& TaskListCodec() {
    static const CTextCodec g_codec;
    return g_codec;
}

std::string SaveSharedTaskList() {
    if (!g_pTaskList) return {};
    try {
        return CTaskListFile::SaveTaskList(TaskListPath(), *g_pTaskList, TaskListCodec());
    } catch (const CTextCodec::CUnknownCodePage& e) {
        return e.what();
    }
}
