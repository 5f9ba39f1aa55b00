#include "SendTask.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TemplateAccess.h"

namespace {

constexpr int kReceiveWaitMs = 3000;

// Waits with the event loop running where there is one, so the host stays
// responsive; the scheduler's busy flag keeps its own ticks out meanwhile.
void DefaultWait(int nMilliseconds) {
    if (QCoreApplication::instance()) {
        QEventLoop loop;
        QTimer::singleShot(nMilliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(nMilliseconds));
    }
}

bool HasWildcard(const std::string& str) { return str.find_first_of("*?") != std::string::npos; }

std::string Absolute(const std::string& strDir) {
    if (!strDir.empty() && strDir[0] == '/') return strDir;
    char sz[4096];
    std::string strCwd = ::getcwd(sz, sizeof sz) ? sz : ".";
    return strDir.empty() || strDir == "." ? strCwd : strCwd + "/" + strDir;
}

// The files an entry names at this moment: a plain path names one file; a
// last element with * or ? is matched without regard to letter case against
// the folder's files, by name order. Directories never match.
std::vector<std::string> MatchEntry(const std::string& strEntry) {
    std::vector<std::string> vec;
    if (strEntry.empty() || strEntry.size() >= kMaxPath) return vec;
    const size_t nSlash = strEntry.rfind('/');
    const std::string strDir = nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : strEntry.substr(0, nSlash);
    std::string strMask = nSlash == std::string::npos ? strEntry : strEntry.substr(nSlash + 1);
    const std::string strFolder = Absolute(strDir);
    auto isFile = [](const std::string& strPath) {
        struct stat st {};
        return ::stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    const std::string strPrefix = strFolder == "/" ? "/" : strFolder + "/";
    if (!HasWildcard(strMask)) {
        if (!strMask.empty() && isFile(strPrefix + strMask)) vec.push_back(strPrefix + strMask);
        return vec;
    }
    if (strMask == "*.*") strMask = "*";  // every file, also one without a dot
    DIR* pDir = ::opendir(strFolder.c_str());
    if (!pDir) return vec;
    std::vector<std::string> vecNames;
    while (const dirent* pEntry = ::readdir(pDir)) {
        const std::string strName = pEntry->d_name;
        if (strName == "." || strName == "..") continue;
        if (::fnmatch(strMask.c_str(), strName.c_str(), FNM_CASEFOLD) == 0) vecNames.push_back(strName);
    }
    ::closedir(pDir);
    std::sort(vecNames.begin(), vecNames.end());
    for (const auto& strName : vecNames)
        if (isFile(strPrefix + strName)) vec.push_back(strPrefix + strName);
    return vec;
}

}  // namespace

CResult<> AddAttachments(_MailItem* pMailItem, const CTaskItem& task) {
    CComPtr<Attachments> spAttachments;
    if (FAILED(pMailItem->get_Attachments(&spAttachments)) || !spAttachments)
        return CProblem("the message's attachments cannot be had");
    for (const auto& strEntry : task.m_arrAttachments) {
        for (const auto& strFile : MatchEntry(strEntry))
            spAttachments->Add(CVariant(strFile), CVariant(olByValue), vtMissing, vtMissing);
    }
    return {};
}

void ReceiveEmails(_Application* pApplication, const CWaitFn& fnWait) {
    CComPtr<_Explorer> spExplorer;
    if (FAILED(pApplication->ActiveExplorer(&spExplorer)) || !spExplorer) return;
    CComPtr<_CommandBars> spBars;
    if (FAILED(spExplorer->get_CommandBars(&spBars)) || !spBars) return;
    CComPtr<CommandBarControl> spControl;
    if (FAILED(spBars->FindControl(vtMissing, CVariant(kSendReceiveControlId), vtMissing, vtMissing, &spControl)) ||
        !spControl)
        return;
    bool bEnabled = false;
    if (FAILED(spControl->get_Enabled(&bEnabled)) || !bEnabled) return;
    spControl->Execute();
    (fnWait ? fnWait : CWaitFn(DefaultWait))(kReceiveWaitMs);
}

void SendTask(_Application* pApplication, const CTaskItem& task, const CWaitFn& fnWait) {
    if (!pApplication || task.m_strTemplateFile.empty()) return;
    if (!CanOpenTemplate(task.m_strTemplateFile)) return;
    CComPtr<IDispatch> spItem;
    if (FAILED(pApplication->CreateItemFromTemplate(task.m_strTemplateFile, vtMissing, &spItem)) || !spItem) return;
    CComQIPtr<_MailItem> spMail(spItem.p);
    if (!spMail) return;
    // Without its attachments the message still goes out, as the template has it.
    if (task.m_arrAttachments.GetSize() > 0) (void)AddAttachments(spMail, task);
    spMail->put_DeleteAfterSubmit(false);
    spMail->Save();
    if (task.m_bReceiveBeforeSending) ReceiveEmails(pApplication, fnWait);
    spMail->Send();
}
