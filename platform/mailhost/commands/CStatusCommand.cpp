#include "CStatusCommand.h"

#include <ctime>
#include <ostream>

#include "CArgs.h"
#include "CDueTasks.h"
#include "CHandOver.h"
#include "CMailStore.h"
#include "CPrintable.h"
#include "CProfileLock.h"
#include "CQuilloryTool.h"
#include "ExitStatus.h"

namespace {

constexpr long kDueWindowSeconds = 3600;

const char* const kHelp =
    "usage: mailhost status [--now \"YYYY-MM-DD HH:MM\"]\n"
    "\n"
    "Shows whether a host runs on this profile ($MAILHOST_PROFILE, else\n"
    "$XDG_DATA_HOME/mailhost): its pid, windows or headless, and since when, and a\n"
    "headless host that stands aside while the windows are open; the\n"
    "Outbox: each message waiting, retrying (with the server's reason), failed\n"
    "(with the reason) or in doubt, and why no new message can be stored (a full\n"
    "disk); and the add-in's active tasks due in the next hour (from `quillory\n"
    "list`: $QUILLORY_TOOL, else the quillory program beside mailhost or on PATH),\n"
    "those whose time has passed marked overdue. --now sets the present for the\n"
    "tasks, in local time.\n"
    "\n"
    "exit status: 0 done, 1 usage, 2 the task list could not be read.\n"
    "\n"
    "example:\n"
    "  $ mailhost status\n"
    "  host: running, pid 4711, headless, since 2026-12-07 08:00:02\n"
    "  profile: /home/zoe/.local/share/mailhost\n"
    "  Outbox: 1 waiting, 1 retrying, 0 failed, 0 in doubt\n"
    "    waiting   \"Minutes\" to rita@example.com\n"
    "    retrying  \"Invoice\" to bob@example.com: 421 4.3.0 try again later (attempt 2)\n"
    "  tasks due in the next hour:\n"
    "    2026-12-07 09:00  Weekly report\n";

std::string LocalTime(std::time_t t) {
    std::tm tm{};
    char sz[32] = "";
    if (localtime_r(&t, &tm)) std::strftime(sz, sizeof sz, "%Y-%m-%d %H:%M:%S", &tm);
    return sz;
}

// What an Outbox message's record means to the user; "" for one that is
// counted with none of waiting, retrying and failed.
const char* StateWord(EDeliveryState state) {
    switch (state) {
        case EDeliveryState::None: return "waiting";
        case EDeliveryState::Retrying: return "retrying";
        case EDeliveryState::Failed: return "failed";
        case EDeliveryState::InDoubt: return "in doubt";
        case EDeliveryState::Handed: return "sending";
        case EDeliveryState::SentNotMoved: return "sent";
        case EDeliveryState::Refused: return "failed";
    }
    return "waiting";
}

void ShowOutbox(CMailStore& store, std::ostream& out) {
    struct CLine {
        const char* pszState;
        std::string strText;
    };
    std::vector<CLine> vecLines;
    int nWaiting = 0, nRetrying = 0, nFailed = 0, nInDoubt = 0;
    for (const auto& strId : store.List(EMailFolder::Outbox)) {
        const CDeliveryRecord rec = store.GetRecord(strId);
        nWaiting += rec.state == EDeliveryState::None;
        nRetrying += rec.state == EDeliveryState::Retrying;
        nFailed += rec.state == EDeliveryState::Failed || rec.state == EDeliveryState::Refused;
        nInDoubt += rec.state == EDeliveryState::InDoubt;
        CMailMessage msg;
        std::string strText;
        if (CResult<> r = store.Load(EMailFolder::Outbox, strId, msg); !r) {
            strText = strId + " (unreadable: " + r.Problem() + ")";
        } else {
            std::string strTo;
            for (const auto* pList : {&msg.vecTo, &msg.vecCc, &msg.vecBcc})
                for (const auto& str : *pList) strTo += (strTo.empty() ? "" : ", ") + str;
            strText = "\"" + msg.strSubject + "\" to " + strTo;
        }
        if (!rec.strReason.empty()) strText += ": " + rec.strReason;
        if (rec.state == EDeliveryState::Retrying) strText += " (attempt " + std::to_string(rec.nAttempts) + ")";
        vecLines.push_back({StateWord(rec.state), CPrintable::Escape(strText)});
    }
    out << "Outbox: " << nWaiting << " waiting, " << nRetrying << " retrying, " << nFailed << " failed, " << nInDoubt
        << " in doubt\n";
    // What keeps scheduled messages from being queued at all (a full disk).
    if (CResult<> r = store.CanStoreNow(); !r) out << "  cannot store new messages: " << r.Problem() << "\n";
    for (const auto& line : vecLines) {
        const std::string strState = line.pszState;
        out << "  " << strState << std::string(strState.size() < 10 ? 10 - strState.size() : 1, ' ') << line.strText
            << "\n";
    }
}

int ShowTasks(std::time_t tNow, std::ostream& out, std::ostream& err) {
    const std::string strTool = CQuilloryTool::Find();
    if (strTool.empty()) {
        out << "tasks: the quillory tool was not found (set QUILLORY_TOOL)\n";
        return kExitOk;
    }
    std::string strList;
    const int nStatus = CQuilloryTool::RunCaught({strTool, "list"}, strList);
    if (nStatus != 0) {
        err << "mailhost: " << strTool << " list ended with status " << nStatus << "\n";
        if (nStatus != 2) return kExitData;  // a damaged file still lists the tasks before the damage
    }
    const auto vecDue = CDueTasks::Within(strList, tNow, kDueWindowSeconds);
    out << "tasks due in the next hour:" << (vecDue.empty() ? " none" : "") << "\n";
    for (const auto& task : vecDue)
        out << "  " << task.strWhen << "  " << CPrintable::Escape(task.strName) << (task.bOverdue ? " (overdue)" : "")
            << "\n";
    return nStatus == 0 ? kExitOk : kExitData;
}

}  // namespace

int CStatusCommand::Run(const std::vector<std::string>& vecArgs, std::ostream& out, std::ostream& err) {
    CArgs args(vecArgs);
    if (args.Flag("--help")) {
        out << kHelp;
        return kExitOk;
    }
    const std::optional<std::string> strNow = args.Value("--now");
    if (auto strProblem = args.Problem()) {
        err << "mailhost: status: " << *strProblem << "\n";
        return kExitUsage;
    }
    const std::time_t tNow = strNow ? CDueTasks::ParseLocal(*strNow) : std::time(nullptr);
    if (tNow == -1) {
        err << "mailhost: status: --now must be \"YYYY-MM-DD HH:MM\", not \"" << *strNow << "\"\n";
        return kExitUsage;
    }

    const std::string strProfile = CMailStore::DefaultProfileDir();
    if (auto holder = CProfileLock::Holder(strProfile))
        out << "host: running, pid " << holder->pid << ", " << holder->strMode << ", since "
            << LocalTime(holder->tStarted) << "\n";
    else out << "host: not running\n";
    if (auto standby = CProfileLock::Holder(strProfile, CHandOver::kStandbyFile))
        out << "headless host: standing aside for the windowed host, pid " << standby->pid << ", since "
            << LocalTime(standby->tStarted) << "\n";
    out << "profile: " << strProfile << "\n";
    CMailStore store(strProfile);
    ShowOutbox(store, out);
    return ShowTasks(tNow, out, err);
}
