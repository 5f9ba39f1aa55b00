#include "SharedState.h"

#include <QCoreApplication>
#include <iostream>
#include <memory>

#include "CAddinBox.h"
#include "CDamagedCopy.h"
#include "CTaskHistoryFile.h"
#include "CTaskListFile.h"
#include "CTaskRulesJson.h"
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

CResult<const CTextCodec*> TaskListCodec() {
    static std::unique_ptr<const CTextCodec> g_pCodec;
    if (!g_pCodec) {
        QUILLORY_TRY_VALUE(CTextCodec codec, CTextCodec::Open());
        g_pCodec = std::make_unique<const CTextCodec>(std::move(codec));
    }
    return g_pCodec.get();
}

namespace {

// Why the file last loaded did not load whole, until its original is kept.
std::string g_strUnkeptDamage;

// Keeps the damaged original before it is replaced; a problem when it
// could not be kept, so that the save must not replace it.
CResult<> KeepDamagedOriginal() {
    if (g_strUnkeptDamage.empty()) return {};
    const std::string strPath = TaskListPath();
    const auto rCopy = CDamagedCopy::Keep(strPath, TaskTime::FromAbsolute(AddinClock().Now()));
    if (!rCopy) return CProblem("the damaged task list is not replaced, it could not be kept: " + rCopy.Problem());
    const std::string strDamage = g_strUnkeptDamage;
    g_strUnkeptDamage.clear();
    const std::string& strCopy = *rCopy;
    if (strCopy.empty()) return {};  // gone meanwhile: nothing left to keep
    std::cerr << "Quillory: " << strPath << " did not load whole (" << strDamage << "); the original is kept as "
              << strCopy << '\n';
    // The headless host's journal is stderr; only a host with windows can
    // show a box. It is shown from the event loop, after this save: a box
    // inside the scheduler's tick would hold up sending until it is closed.
    if (QCoreApplication::instance() && QCoreApplication::instance()->inherits("QApplication"))
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [strText = "The task list could not be read whole: " + strDamage +
                       ".\n\nThe tasks before the damage were kept. The original file was saved as:\n" +
                       strCopy] { CAddinBox::Warn(strText); },
            Qt::QueuedConnection);
    return {};
}

}  // namespace

CResult<> LoadSharedTaskList() {
    QUILLORY_TRY_VALUE(const CTextCodec* pCodec, TaskListCodec());
    // A damaged file loads as far as it goes; what was wrong is kept for the first save.
    CTaskListFile::CLoadCounts counts;
    const auto rLoaded = CTaskListFile::LoadTaskList(TaskListPath(), *g_pTaskList, *pCodec, &counts);
    // One that cannot be read at all is no list to work on: any save would replace it.
    if (counts.bUnreadable) return rLoaded.TakeProblem();
    // Read in another code page than it was written in, the first save would change every such name and path.
    QUILLORY_TRY(CTaskListFile::CheckCodePage(counts, *pCodec));
    g_strUnkeptDamage = rLoaded.Problem();
    return {};
}

std::string g_strTaskListUnsaved;

namespace {

CResult<> SaveTaskListFileOnce(const CTaskList& list) {
    QUILLORY_TRY(KeepDamagedOriginal());
    QUILLORY_TRY_VALUE(const CTextCodec* pCodec, TaskListCodec());
    return CTaskListFile::SaveTaskList(TaskListPath(), list, *pCodec);
}

}  // namespace

CResult<> SaveTaskListFile(const CTaskList& list) {
    auto rSaved = SaveTaskListFileOnce(list);
    g_strTaskListUnsaved = rSaved ? std::string() : rSaved.Problem();
    return rSaved;
}

CResult<> SaveSharedTaskList() {
    if (!g_pTaskList) return {};
    return SaveTaskListFile(*g_pTaskList);
}

CResult<CTaskRules> SharedTaskRules(const CTaskItem& task) { return CTaskRulesJson::InStore(g_pTaskHistory, task); }
