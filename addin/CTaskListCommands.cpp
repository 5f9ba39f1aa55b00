#include "CTaskListCommands.h"

#include <QApplication>
#include <iostream>

#include "CHostProtocol.h"
#include "CSendEmailDlg.h"
#include "CTaskHistoryFile.h"
#include "CTaskJson.h"
#include "CTaskListEdit.h"
#include "CTaskListServer.h"
#include "SendTask.h"
#include "SharedState.h"
#include "TaskTime.h"

namespace {

using json = CTaskListServer::json;

// Every element goes through the list's own operations, so the generation
// moves on and the sender's cache of due times looks again.
void Replace(CTaskList& list, const CTaskList& from) {
    list.RemoveAll();
    list.Reserve(static_cast<size_t>(from.GetSize()));
    for (const CTaskItem& task : from) list.Add(task);
}

// A refusal the tool would have given without a host, by the same rules.
json RequestRefused(std::vector<std::string> vecProblems) {
    json j = CTaskListServer::Refused(std::move(vecProblems));
    j[CHostProtocol::kFault] = CHostProtocol::kFaultRequest;
    return j;
}

json Ping(const CTaskListCommands::CContext& ctx) {
    const CTaskList* pList = ctx.fnTaskList();
    json j = CTaskListServer::Ok();
    j[CHostProtocol::kTasks] = pList ? pList->GetSize() : 0;
    j[CHostProtocol::kFile] = ctx.strTaskFile;
    if (ctx.fnUnsaved)
        if (const std::string strUnsaved = ctx.fnUnsaved(); !strUnsaved.empty())
            j[CHostProtocol::kUnsaved] = strUnsaved;
    return j;
}

json Import(const CTaskListCommands::CContext& ctx, const json& jRequest) {
    const auto it = jRequest.find(CHostProtocol::kTasks);
    if (it == jRequest.end()) return CTaskListServer::Refused({"import: \"tasks\" is missing"});
    const auto rCodec = TaskListCodec();
    if (!rCodec) return CTaskListServer::Refused({"import: " + rCodec.Problem()});
    CTaskList imported;
    CProblems problems;
    CTaskJson::FromJson(*it, imported, problems, **rCodec);
    if (!problems.Empty()) return RequestRefused(problems.Lines());
    CTaskList* pList = ctx.fnTaskList();
    if (!pList) return CTaskListServer::Refused({"import: the add-in has no task list"});
    const CTaskList before = *pList;
    Replace(*pList, imported);
    if (const auto rSaved = ctx.fnSave(); !rSaved) {
        // Unsaved, the import would look done and vanish with the host. The
        // copy keeps every task's identity for the windows that hold one.
        *pList = before;
        return CTaskListServer::Refused(
            {ctx.strTaskFile + ": " + rSaved.Problem() + "; the task list is left as it was"});
    }
    json j = CTaskListServer::Ok();
    j[CHostProtocol::kTasks] = pList->GetSize();
    return j;
}

// One change to one task, by the rules the tool follows without a host.
json Edit(const CTaskListCommands::CContext& ctx, const json& jRequest) {
    const auto rCodec = TaskListCodec();
    if (!rCodec) return CTaskListServer::Refused({rCodec.Problem()});
    CTaskList* pList = ctx.fnTaskList();
    if (!pList) return CTaskListServer::Refused({"the add-in has no task list"});
    const CTaskListEdit::CContext edit{
        ctx.strDataDir, g_pClock ? g_pClock->Now() : std::time(nullptr), *rCodec,
        ctx.fnSend,     ctx.fnStore ? ctx.fnStore() : nullptr,           ctx.strTaskFile};
    bool bSaveFailed = false;  // the host's own trouble, not the request's
    const auto rDone = CTaskListEdit::ApplyAndSave(*pList, jRequest, edit, ctx.fnSave, &bSaveFailed);
    if (!rDone)
        return bSaveFailed ? CTaskListServer::Refused(rDone.ProblemLines()) : RequestRefused(rDone.ProblemLines());
    if (!rDone->strStoreNotSaved.empty())
        std::cerr << "Quillory: the task store is not saved: " << rDone->strStoreNotSaved << '\n';
    json j = CTaskListServer::Ok();
    j[CHostProtocol::kIndex] = rDone->nIndex + 1;
    j[CHostProtocol::kTask] = CTaskJson::ToJson(rDone->task);
    return j;
}

}  // namespace

void CTaskListCommands::AddTo(CTaskListServer& server, CContext ctx) {
    server.AddHandler(CHostProtocol::kPing, false, [ctx](const json&) { return Ping(ctx); });
    server.AddHandler(CHostProtocol::kImport, true, [ctx](const json& j) { return Import(ctx, j); });
    for (const CTaskListEdit::CNamed& named : CTaskListEdit::Named())
        server.AddHandler(named.pszName, true, [ctx](const json& j) { return Edit(ctx, j); });
}

std::unique_ptr<CTaskListServer> CTaskListCommands::ForSharedList() {
    CTaskListServer::CContext ctx;
    ctx.fnBusy = [] { return g_pSendEmailDlg && g_pSendEmailDlg->IsBusy(); };
    ctx.fnRefusal = []() -> CResult<> {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) && QApplication::activeModalWidget())
            return CProblem("a dialog is open in the host; close it and try again");
        return {};
    };
    return std::make_unique<CTaskListServer>(std::move(ctx));
}

void CTaskListCommands::Serve(CTaskListServer& server) {
    AddTo(server, {[] { return g_pTaskList; }, SaveSharedTaskList, TaskListPath(), g_strDataDir,
                   [](const CTaskItem& task) {
                       // Through the scheduler, so the history records it as sent now.
                       if (g_pSendEmailDlg) g_pSendEmailDlg->SendNow(task);
                       else
                           (void)SendTask(g_spApplication, task, {},  // no scheduler yet: nowhere to record it
                                          TaskTime::Format(TaskTime::FromAbsolute(AddinClock().Now())));
                   },
                   [] { return g_strTaskListUnsaved; }, [] { return g_pTaskHistory; }});
    if (!QCoreApplication::instance()) {
        std::cerr << "Quillory: the quillory tool cannot reach this add-in: the host has no event loop\n";
        return;
    }
    if (const auto rListening = server.Listen(); !rListening)
        std::cerr << "Quillory: the quillory tool cannot reach this add-in: " << rListening.Problem() << '\n';
}
