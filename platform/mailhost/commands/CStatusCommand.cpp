#include "CStatusCommand.h"

#include <ctime>
#include <ostream>

#include <nlohmann/json.hpp>

#include "CArgs.h"
#include "CDueTasks.h"
#include "CHandOver.h"
#include "CMailStore.h"
#include "COutboxCounts.h"
#include "CPrintable.h"
#include "CProfileLock.h"
#include "CQuilloryTool.h"
#include "MailhostExitStatus.h"

namespace {

using json = nlohmann::ordered_json;

constexpr long kDueWindowSeconds = 3600;

const char* const kHelp =
    "usage: mailhost status [--json] [--now \"YYYY-MM-DD HH:MM\"]\n"
    "\n"
    "Shows whether a host runs on this profile ($MAILHOST_PROFILE, else\n"
    "$XDG_DATA_HOME/mailhost): its pid, windows or headless, and since when, and a\n"
    "headless host that stands aside while the windows are open; the\n"
    "Outbox: each message waiting, retrying (with the server's reason), failed\n"
    "(with the reason) or in doubt, and why no new message can be stored (a full\n"
    "disk); that the add-in cannot save the task list, and why; the add-in's tasks whose last occurrence was not sent "
    "or that cannot\n"
    "go as they should, and its active tasks due in the next hour (from `quillory\n"
    "list --json`: $QUILLORY_TOOL, else the quillory program beside mailhost or on\n"
    "PATH), those whose time has passed marked overdue. --now sets the present for\n"
    "the tasks, in local time. --json prints the same as one JSON object.\n"
    "\n"
    "exit status, the first that applies:\n"
    "  1  usage error\n"
    "  4  no host runs on the profile: nothing is sent\n"
    "  5  messages failed for good or are in doubt (they wait for you), or the\n"
    "     task list cannot be saved\n"
    "  6  messages wait to be tried again (a server said later, a full disk)\n"
    "  2  the task list could not be read\n"
    "  0  a host runs and nothing waits in failure\n"
    "\n"
    "example:\n"
    "  $ mailhost status\n"
    "  host: running, pid 4711, headless, since 2026-12-07 08:00:02\n"
    "  profile: /home/zoe/.local/share/mailhost\n"
    "  Outbox: 1 waiting, 1 retrying, 0 failed, 0 in doubt\n"
    "    waiting   \"Minutes\" to rita@example.com\n"
    "    retrying  \"Invoice\" to bob@example.com: 421 4.3.0 try again later (attempt 2)\n"
    "  tasks needing attention: none\n"
    "  tasks due in the next hour:\n"
    "    2026-12-07 09:00  Weekly report\n"
    "  $ echo $?\n"
    "  6\n";

std::string LocalTime(std::time_t t) {
    std::tm tm{};
    char sz[32] = "";
    if (localtime_r(&t, &tm)) std::strftime(sz, sizeof sz, "%Y-%m-%d %H:%M:%S", &tm);
    return sz;
}

json HolderJson(const std::optional<CProfileLock::CHolder>& holder) {
    if (!holder) return json{{"running", false}};
    return json{
        {"running", true}, {"pid", holder->pid}, {"mode", holder->strMode}, {"since", LocalTime(holder->tStarted)}};
}

// Everything status tells, gathered once and then printed as text or JSON.
struct CStatus {
    std::optional<CProfileLock::CHolder> host, standby;
    std::string strProfile;
    COutboxCounts counts;
    json jsonMessages = json::array();
    std::string strCannotStore;  // why no new message can be stored; "" when it can
    bool bTasksKnown = false;
    std::string strTasksProblem;  // why the tasks are not known, or what the tool said
    std::string strUnsaved;       // why the running add-in cannot save the task list; "" when it can
    std::vector<CDueTasks::CTask> vecDue, vecAttention;
    int nExit = kExitOk;
};

void ReadOutbox(CMailStore& store, CStatus& status) {
    for (const auto& strId : store.List(EMailFolder::Outbox)) {
        const CDeliveryRecord rec = store.GetRecord(strId);
        status.counts.Add(rec.state);
        json jsonMessage = {{"state", CDeliveryWords::Of(rec.state).pszListed}};
        CMailMessage msg;
        if (CResult<> r = store.Load(EMailFolder::Outbox, strId, msg); !r) {
            jsonMessage["id"] = strId;
            jsonMessage["unreadable"] = r.Problem();
        } else {
            std::vector<std::string> vecTo;
            for (const auto* pList : {&msg.vecTo, &msg.vecCc, &msg.vecBcc})
                vecTo.insert(vecTo.end(), pList->begin(), pList->end());
            jsonMessage["subject"] = msg.strSubject;
            jsonMessage["to"] = vecTo;
        }
        if (!rec.strReason.empty()) jsonMessage["reason"] = rec.strReason;
        if (rec.state == EHostEvent::RetryLater) jsonMessage["attempts"] = rec.nAttempts;
        status.jsonMessages.push_back(std::move(jsonMessage));
    }
    // What keeps scheduled messages from being queued at all (a full disk).
    if (CResult<> r = store.CanStoreNow(); !r) status.strCannotStore = r.Problem();
}

// A task whose last occurrence did not go out, or that cannot go as it should.
bool NeedsAttention(const CDueTasks::CTask& task) {
    static const char* const kKinds[] = {"failed",     "in-doubt", "template-missing",  "template-damaged",
                                         "not-stored", "retrying", "sent-with-refusals"};
    for (const char* psz : kKinds)
        if (task.strLastKind == psz) return true;
    return !task.strProblem.empty();
}

void ReadTasks(std::time_t tNow, CStatus& status, std::ostream& err) {
    const std::string strTool = CQuilloryTool::Find();
    if (strTool.empty()) {
        status.strTasksProblem = "the quillory tool was not found (set QUILLORY_TOOL)";
        return;
    }
    std::string strList;
    const int nStatus = CQuilloryTool::RunCaught({strTool, "list", "--json", "--addin"}, strList);
    if (nStatus != 0) {
        err << "mailhost: " << strTool << " list ended with status " << nStatus << "\n";
        status.strTasksProblem =
            "the task list could not be read (" + strTool + " list: status " + std::to_string(nStatus) + ")";
        if (nStatus != 2) return;  // a damaged file still lists the tasks before the damage
    }
    auto rTasks = CDueTasks::Parse(strList, &status.strUnsaved);
    if (!rTasks) {
        status.strTasksProblem = rTasks.Problem();
        return;
    }
    status.bTasksKnown = true;
    status.vecDue = CDueTasks::Within(*rTasks, tNow, kDueWindowSeconds);
    for (const auto& task : *rTasks)
        if (NeedsAttention(task)) status.vecAttention.push_back(task);
}

int ExitOf(const CStatus& status) {
    if (!status.host) return kExitNoHost;
    if (status.counts.nFailed + status.counts.nInDoubt > 0 || !status.strUnsaved.empty()) return kExitFailed;
    bool bWaits = status.counts.nRetrying > 0 || !status.strCannotStore.empty();
    for (const auto& task : status.vecAttention) bWaits |= task.strLastKind == "not-stored";
    if (bWaits) return kExitRetrying;
    return status.strTasksProblem.empty() ? kExitOk : kExitData;
}

void PrintText(const CStatus& status, std::ostream& out) {
    if (status.host)
        out << "host: running, pid " << status.host->pid << ", " << status.host->strMode << ", since "
            << LocalTime(status.host->tStarted) << "\n";
    else out << "host: not running\n";
    if (status.standby)
        out << "headless host: standing aside for the windowed host, pid " << status.standby->pid << ", since "
            << LocalTime(status.standby->tStarted) << "\n";
    out << "profile: " << status.strProfile << "\n";
    out << "Outbox: " << status.counts.Text() << "\n";
    if (!status.strCannotStore.empty()) out << "  cannot store new messages: " << status.strCannotStore << "\n";
    for (const auto& jsonMessage : status.jsonMessages) {
        std::string strText;
        if (jsonMessage.contains("unreadable")) {
            strText = jsonMessage["id"].get<std::string>() +
                      " (unreadable: " + jsonMessage["unreadable"].get<std::string>() + ")";
        } else {
            std::string strTo;
            for (const auto& jsonTo : jsonMessage["to"])
                strTo += (strTo.empty() ? "" : ", ") + jsonTo.get<std::string>();
            strText = "\"" + jsonMessage["subject"].get<std::string>() + "\" to " + strTo;
        }
        if (jsonMessage.contains("reason")) strText += ": " + jsonMessage["reason"].get<std::string>();
        if (jsonMessage.contains("attempts"))
            strText += " (attempt " + std::to_string(jsonMessage["attempts"].get<int>()) + ")";
        const std::string strState = jsonMessage["state"].get<std::string>();
        out << "  " << strState << std::string(strState.size() < 10 ? 10 - strState.size() : 1, ' ')
            << CPrintable::Escape(strText) << "\n";
    }
    if (!status.bTasksKnown) {
        out << "tasks: " << CPrintable::Escape(status.strTasksProblem) << "\n";
        return;
    }
    if (!status.strUnsaved.empty())
        out << "task list: cannot be saved: " << CPrintable::Escape(status.strUnsaved)
            << " (messages still go out; what was sent is recorded once it can be written)\n";
    out << "tasks needing attention:" << (status.vecAttention.empty() ? " none" : "") << "\n";
    for (const auto& task : status.vecAttention)
        out << "  " << CPrintable::Escape(task.strName) << ": "
            << CPrintable::Escape(task.strProblem.empty() ? task.strLastResult : task.strProblem) << "\n";
    out << "tasks due in the next hour:" << (status.vecDue.empty() ? " none" : "") << "\n";
    for (const auto& task : status.vecDue)
        out << "  " << task.strWhen << "  " << CPrintable::Escape(task.strName) << (task.bOverdue ? " (overdue)" : "")
            << "\n";
}

void PrintJson(const CStatus& status, std::ostream& out) {
    json jsonOut = {{"host", HolderJson(status.host)},
                    {"standby", status.standby ? HolderJson(status.standby) : json()},
                    {"profile", status.strProfile},
                    {"outbox",
                     {{"waiting", status.counts.nWaiting},
                      {"retrying", status.counts.nRetrying},
                      {"failed", status.counts.nFailed},
                      {"inDoubt", status.counts.nInDoubt},
                      {"cannotStore", status.strCannotStore.empty() ? json() : json(status.strCannotStore)},
                      {"messages", status.jsonMessages}}}};
    if (status.bTasksKnown) {
        json jsonDue = json::array(), jsonAttention = json::array();
        for (const auto& task : status.vecDue)
            jsonDue.push_back({{"name", task.strName}, {"when", task.strWhen}, {"overdue", task.bOverdue}});
        for (const auto& task : status.vecAttention) {
            json jsonTask = {{"name", task.strName}};
            if (!task.strLastKind.empty())
                jsonTask["lastResult"] = {{"kind", task.strLastKind}, {"result", task.strLastResult}};
            if (!task.strProblem.empty()) jsonTask["problem"] = task.strProblem;
            jsonAttention.push_back(std::move(jsonTask));
        }
        jsonOut["tasks"] = {{"unsaved", status.strUnsaved.empty() ? json() : json(status.strUnsaved)},
                            {"needingAttention", jsonAttention},
                            {"dueWithinHour", jsonDue}};
    } else {
        jsonOut["tasks"] = nullptr;
    }
    if (!status.strTasksProblem.empty()) jsonOut["tasksProblem"] = status.strTasksProblem;
    jsonOut["exitStatus"] = status.nExit;
    // Invalid UTF-8 from a server's reply must not stop the output.
    out << jsonOut.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
}

}  // namespace

int CStatusCommand::Run(const std::vector<std::string>& vecArgs, std::ostream& out, std::ostream& err) {
    CArgs args(vecArgs);
    if (args.Flag("--help")) {
        out << kHelp;
        return kExitOk;
    }
    const bool bJson = args.Flag("--json");
    const std::optional<std::string> strNow = args.Value("--now");
    if (auto strProblem = args.Problem()) {
        err << "mailhost: status: " << *strProblem << "\n";
        return kExitUsage;
    }
    const auto rNow = strNow ? CDueTasks::ParseLocal(*strNow) : CResult<std::time_t>(std::time(nullptr));
    if (!rNow) {
        err << "mailhost: status: --now must be \"YYYY-MM-DD HH:MM\", not \"" << *strNow << "\": " << rNow.Problem()
            << "\n";
        return kExitUsage;
    }
    const std::time_t tNow = *rNow;

    CStatus status;
    status.strProfile = CMailStore::DefaultProfileDir();
    status.host = CProfileLock::Holder(status.strProfile);
    status.standby = CProfileLock::Holder(status.strProfile, CHandOver::kStandbyFile);
    CMailStore store(status.strProfile);
    ReadOutbox(store, status);
    ReadTasks(tNow, status, err);
    status.nExit = ExitOf(status);
    if (bJson) PrintJson(status, out);
    else PrintText(status, out);
    return status.nExit;
}
