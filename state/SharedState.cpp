#include "SharedState.h"

#include <QCoreApplication>
#include <iostream>

#include "CDamagedCopy.h"
#include "CAddinBox.h"
#include "CTaskListFile.h"
#include "IClock.h"
#include "TaskTime.h"

std::string g_strAppDataDir;
std::string g_strInstallDir;
std::string g_strDataDir;
CComPtr<_Application> g_spApplication;
CTaskList* g_pTaskList = nullptr;
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

namespace {

// Why the file last loaded did not load whole, until its original is kept.
std::string g_strUnkeptDamage;

// Keeps the damaged original before it is replaced; false when it could
// not be kept, so that the save must not replace it.
bool KeepDamagedOriginal(std::string& strProblem) {
    if (g_strUnkeptDamage.empty()) return true;
    const std::string strPath = TaskListPath();
    const auto res = CDamagedCopy::Keep(strPath, TaskTime::FromAbsolute(AddinClock().Now()));
    if (!res.strProblem.empty()) {
        strProblem = "the damaged task list is not replaced, it could not be kept: " + res.strProblem;
        return false;
    }
    const std::string strDamage = g_strUnkeptDamage;
    g_strUnkeptDamage.clear();
    if (res.strCopy.empty()) return true;  // gone meanwhile: nothing left to keep
    std::cerr << "Quillory: " << strPath << " did not load whole (" << strDamage
              << "); the original is kept as " << res.strCopy << '\n';
    // The headless host's journal is stderr; only a host with windows can
    // show a box. It is shown from the event loop, after this save: a box
    // inside the scheduler's tick would hold up sending until it is closed.
    if (QCoreApplication::instance() && QCoreApplication::instance()->inherits("QApplication"))
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [strText = "The task list could not be read whole: " + strDamage +
                       ".\n\nThe tasks before the damage were kept. The original file was saved as:\n" + res.strCopy] {
                CAddinBox::Warn(strText);
            },
            Qt::QueuedConnection);
    return true;
}

}  // namespace

void LoadSharedTaskList() {
    const auto res = CTaskListFile::LoadTaskList(TaskListPath(), *g_pTaskList, TaskListCodec());
    g_strUnkeptDamage = res.strProblem;
}

std::string SaveTaskListFile(const CTaskList& list) {
    try {
        std::string strProblem;
        if (!KeepDamagedOriginal(strProblem)) return strProblem;
        return CTaskListFile::SaveTaskList(TaskListPath(), list, TaskListCodec());
    } catch (const CTextCodec::CUnknownCodePage& e) {
        return e.what();
    }
}

std::string SaveSharedTaskList() {
    if (!g_pTaskList) return {};
    return SaveTaskListFile(*g_pTaskList);
}
