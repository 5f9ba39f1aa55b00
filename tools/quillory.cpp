// quillory: look at, back up and restore the task list without the host.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CHostClient.h"
#include "CHostProtocol.h"
#include "CIcsCommand.h"
#include "CSchedule.h"
#include "CShowCommand.h"
#include "CTaskCheck.h"
#include "CTaskJson.h"
#include "CTaskListFile.h"
#include "CTaskListLock.h"
#include "CTextCodec.h"
#include "TaskTime.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitData = 2;
constexpr int kExitHost = 3;  // the running host refused the change or could not be reached

// How long a change waits for a lock whose holder does not answer: a host
// that is starting up, or another tool writing the file.
constexpr int kLockWaitMs = 3000;

const char* const kUsage =
    "usage: quillory COMMAND [OPTIONS]\n"
    "\n"
    "commands:\n"
    "  list     one line per task: index, active mark, name, next sending time\n"
    "  export   the whole task list as JSON on standard output\n"
    "  import   replace the task list with the JSON array on standard input\n"
    "  next     the coming sending times of one task, as the scheduler would send them\n"
    "  ics      the coming sending times of the active tasks as an iCalendar file\n"
    "  show     every setting of one task in words, its message and its next sending times\n"
    "\n"
    "options of every command:\n"
    "  --file PATH      task list file (default: the add-in's emails.dat)\n"
    "  --codepage CP    code page of the texts in the file (default: $QUILLORY_CODEPAGE,\n"
    "                   else the locale's code set)\n"
    "\n"
    "Run 'quillory COMMAND --help' for a command's own help.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"list",
     "usage: quillory list [--file PATH] [--codepage CP]\n"
     "Prints one line per task in list order: index (from 1), '*' when active, the task\n"
     "name, and the next sending time as YYYY-MM-DD HH:MM, or 'Completed'. A damaged\n"
     "file shows the tasks before the damage, names the damage and exits with 2.\n"},
    {"export",
     "usage: quillory export [--file PATH] [--codepage CP]\n"
     "Writes the task list as a JSON array to standard output, values as stored. A\n"
     "damaged file gives the tasks before the damage, names the damage and exits with 2.\n"},
    {"import",
     "usage: quillory import [--file PATH] [--codepage CP] < tasks.json\n"
     "Reads a JSON array of tasks from standard input, checks all of it, and only then\n"
     "replaces the task list. Every task must give its start; other missing keys\n"
     "take their defaults, and a date's dayOfWeek left out is worked out from the date.\n"
     "Unknown keys, invalid dates, values outside what the options sheet offers for the\n"
     "chosen recurrence, and tasks too large for the file are errors, each named with\n"
     "its task and key; then nothing is written. While a host runs with the add-in on\n"
     "this file, the add-in makes the change and saves it; exit status 3 when it\n"
     "refuses or cannot be reached.\n"},
    {"next",
     "usage: quillory next INDEX [--count N] [--now \"YYYY-MM-DD HH:MM\"] [--file PATH] [--codepage CP]\n"
     "Prints the next N (default 10) sending times of task INDEX (from 1), one per line\n"
     "in local time, each counted as sent before the following one is worked out, then\n"
     "'Completed' if the schedule ends first. Starts from the stored state, or with\n"
     "--now from the first sending time at or after that present, as when the task is\n"
     "scheduled anew. Changes no file.\n"},
    {"show",
     "usage: quillory show TASK [--file PATH] [--codepage CP]\n"
     "Prints every setting of TASK (its index from 1, or its exact name) in words: the\n"
     "schedule as a sentence, its end, the options, the template's subject and\n"
     "recipients, each attachment entry and what it names now, the last sending, and the\n"
     "next five sending times with the zone they are in. Changes no file.\n"
     "example: quillory show \"Weekly report\"\n"},
    {"ics",
     "usage: quillory ics [TASK...] [--out FILE] [--now \"YYYY-MM-DD HH:MM\"] [--file PATH] [--codepage CP]\n"
     "Writes an iCalendar file (standard output, or FILE) with one event per active task,\n"
     "or per TASK named by its index (from 1) or exact name: its coming sending times in\n"
     "the local zone, from the stored state, over the two years after now (--now) and at\n"
     "most 500. A schedule a recurrence rule says exactly is written as an RRULE, any\n"
     "other as its instants (RDATE); X-QUILLORY-FORM tells which. Changes no file.\n"
     "example: quillory ics --out ~/quillory.ics \"Weekly report\"\n"},
};

struct COptions {
    std::string strCommand;
    std::vector<std::string> vecArgs;  // operands after the command
    std::string strCount;
    std::string strNow;
    std::string strFile;
    std::string strCodePage;
    std::string strOut;
    bool bHelp = false;
};

std::string DefaultFile() {
    std::string strBase;
    if (const char* psz = std::getenv("XDG_DATA_HOME"); psz && *psz) strBase = psz;
    else if (const char* pszHome = std::getenv("HOME"); pszHome && *pszHome)
        strBase = std::string(pszHome) + "/.local/share";
    else strBase = ".";
    return strBase + "/Tarnwick Software/Office Outlook/Quillory/" + CTaskListFile::kFileName;
}

// Parses the arguments; the problem is a usage error.
CResult<> Parse(int argc, char** argv, COptions& opt) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            opt.bHelp = true;
        } else if (a == "--file" || a == "--codepage" || a == "--count" || a == "--now" || a == "--out") {
            if (i + 1 >= args.size()) return CProblem(a + " needs a value");
            std::string& strValue = a == "--file"       ? opt.strFile
                                    : a == "--codepage" ? opt.strCodePage
                                    : a == "--count"    ? opt.strCount
                                    : a == "--out"      ? opt.strOut
                                                        : opt.strNow;
            strValue = args[++i];
        } else if (a.rfind("--file=", 0) == 0) {
            opt.strFile = a.substr(7);
        } else if (a.rfind("--codepage=", 0) == 0) {
            opt.strCodePage = a.substr(11);
        } else if (!a.empty() && a[0] == '-') {
            return CProblem("unknown option " + a);
        } else if (opt.strCommand.empty()) {
            opt.strCommand = a;
        } else {
            opt.vecArgs.push_back(a);
        }
    }
    const size_t nOperands = opt.strCommand == "next" || opt.strCommand == "show" ? 1
                             : opt.strCommand == "ics"                            ? args.size()
                                                                                  : 0;
    if (!opt.bHelp && opt.vecArgs.size() > nOperands) return CProblem("unexpected argument " + opt.vecArgs[nOperands]);
    if (opt.strCommand != "next" && !opt.strCount.empty()) return CProblem("--count belongs to the next command");
    if (opt.strCommand != "next" && opt.strCommand != "ics" && !opt.strNow.empty())
        return CProblem("--now belongs to the next and ics commands");
    if (opt.strCommand != "ics" && !opt.strOut.empty()) return CProblem("--out belongs to the ics command");
    if (opt.strFile.empty()) opt.strFile = DefaultFile();
    return {};
}

// Loads the list; a missing file is an empty list. A damaged one keeps the
// tasks before the damage, names the damage and gives false.
bool Load(const COptions& opt, const CTextCodec& codec, CTaskList& list) {
    CTaskListFile::CLoadCounts counts;
    const auto rLoaded = CTaskListFile::LoadTaskList(opt.strFile, list, codec, &counts);
    if (!rLoaded) {
        std::cerr << "quillory: " << opt.strFile << ": " << rLoaded.Problem() << " (" << counts.nLoaded << " of "
                  << counts.nDeclared << " tasks readable)\n";
        return false;
    }
    return true;
}

void List(const CTaskList& list) {
    int i = 0;
    for (const auto& t : list) {
        ++i;
        std::string strNext = t.m_dtNextSending.IsSet() ? TaskTime::Format(t.m_dtNextSending) : "Completed";
        std::cout << i << ' ' << (t.m_bActive ? '*' : ' ') << ' ' << t.m_strTaskName << ' ' << strNext << '\n';
    }
}

// What the host said to a change, as the tool's exit status.
int Report(const CResult<CHostClient::CReply>& rReply, const std::string& strCommand, const std::string& strFile) {
    if (!rReply) {
        std::cerr << "quillory: " << rReply.Problem() << "\nquillory: " << strCommand << " not applied to " << strFile
                  << '\n';
        return kExitHost;
    }
    const nlohmann::ordered_json& jAnswer = rReply->jAnswer;
    if (jAnswer[CHostProtocol::kOk].get<bool>()) return kExitOk;
    if (const auto it = jAnswer.find(CHostProtocol::kProblems); it != jAnswer.end() && it->is_array())
        for (const auto& p : *it)
            std::cerr << "quillory: " << (p.is_string() ? p.get<std::string>() : p.dump()) << '\n';
    const auto itPid = jAnswer.find(CHostProtocol::kPid);
    const std::string strHost = itPid != jAnswer.end() ? " (process " + itPid->dump() + ")" : "";
    std::cerr << "quillory: the running host" << strHost << " refused the " << strCommand << "; nothing changed\n";
    return kExitHost;
}

// A change to the task list goes to the add-in of a running host that
// serves the file, so that its later saves keep it; with no host there it is
// made here by fnDirect, under the lock that such a host would hold.
int Write(const COptions& opt, const nlohmann::ordered_json& jRequest, const std::function<int()>& fnDirect) {
    const std::string strCommand = jRequest[CHostProtocol::kCommand];
    const auto rSocket = CTaskListLock::SocketPathOf(opt.strFile);
    const std::string strOwnSocket = rSocket ? *rSocket : std::string();  // none: only the holder's record is tried
    CTaskListLock lock;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLockWaitMs);
    for (;;) {
        // Where this environment puts the socket, and where the lock's holder
        // said it serves (its environment may differ, as under cron).
        std::vector<std::string> vecSockets;
        if (!strOwnSocket.empty()) vecSockets.push_back(strOwnSocket);
        if (!lock.HolderSocket().empty() && lock.HolderSocket() != strOwnSocket)
            vecSockets.push_back(lock.HolderSocket());
        for (const std::string& strSocket : vecSockets) {
            const auto rReply = CHostClient::Request(strSocket, jRequest);
            if (!rReply || rReply->eOutcome != CHostClient::EOutcome::kNoHost)
                return Report(rReply, strCommand, opt.strFile);
        }
        const auto rLock = lock.TryAcquire(opt.strFile);
        if (!rLock) {
            std::cerr << "quillory: " << rLock.Problem() << '\n';
            return kExitData;
        }
        if (*rLock == CTaskListLock::EState::kHeld) return fnDirect();
        if (std::chrono::steady_clock::now() >= tEnd) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string strHolder =
        lock.HolderPid() > 0 ? "process " + std::to_string(lock.HolderPid()) : std::string("another process");
    const std::string strWhere = !lock.HolderSocket().empty() ? lock.HolderSocket()
                                 : !strOwnSocket.empty()      ? strOwnSocket
                                                              : std::string("its socket");
    std::cerr << "quillory: " << opt.strFile << " is locked by " << strHolder << ", which does not answer at "
              << strWhere << " (a host that hangs?)";
    if (!rSocket) std::cerr << "; " << rSocket.Problem();
    std::cerr << "\nquillory: " << strCommand << " not applied\n";
    return kExitHost;
}

int Import(const COptions& opt, const CTextCodec& codec) {
    nlohmann::ordered_json j;
    try {
        j = nlohmann::ordered_json::parse(std::cin);
    } catch (const nlohmann::json::parse_error& e) {
        std::cerr << "quillory: standard input: not valid JSON: " << e.what() << '\n';
        return kExitData;
    }
    CTaskList list;
    std::vector<std::string> vecProblems;
    CTaskJson::FromJson(j, list, vecProblems, codec);
    if (!vecProblems.empty()) {
        for (const auto& s : vecProblems) std::cerr << "quillory: " << s << '\n';
        std::cerr << "quillory: nothing written to " << opt.strFile << '\n';
        return kExitData;
    }
    const nlohmann::ordered_json jRequest = {{CHostProtocol::kCommand, CHostProtocol::kImport},
                                             {CHostProtocol::kTasks, std::move(j)}};
    return Write(opt, jRequest, [&] {
        if (const auto rSaved = CTaskListFile::SaveTaskList(opt.strFile, list, codec); !rSaved) {
            std::cerr << "quillory: " << opt.strFile << ": " << rSaved.Problem() << '\n';
            return kExitData;
        }
        return kExitOk;
    });
}

// A whole number within [nMin, nMax], or nothing.
std::optional<int> ParseCount(const std::string& str, int nMin, int nMax) {
    if (str.empty() || str.size() > 9 || str.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const int n = std::stoi(str);
    if (n < nMin || n > nMax) return std::nullopt;
    return n;
}

// "YYYY-MM-DD HH:MM" in local time, at second 0.
std::optional<time_t> ParseNow(const std::string& str) {
    int y, mo, d, h, mi;
    char cEnd;
    if (std::sscanf(str.c_str(), "%4d-%2d-%2d %2d:%2d%c", &y, &mo, &d, &h, &mi, &cEnd) != 5) return std::nullopt;
    TaskDateTime dt{y, mo, d, 0, h, mi, 0};
    if (!TaskTime::CheckGroup(dt).Ok() || d > CSchedule::DaysInMonth(y, mo)) return std::nullopt;
    const auto rNow = TaskTime::ToAbsolute(y, mo, d, h, mi, 0);
    if (!rNow) return std::nullopt;  // fields the C library cannot place are no valid local time
    return *rNow;
}

// Writes the next nCount sending times of task from the clock's present on.
CResult<> PrintNext(CTaskItem& task, int nCount, CFixedClock& clock, bool bAdvance) {
    CSchedule s(clock);
    if (bAdvance) QUILLORY_TRY(s.AdvancePastNow(task));
    for (int i = 0; i < nCount; ++i) {
        if (!task.m_dtNextSending.IsSet()) {
            std::cout << "Completed\n";
            break;
        }
        QUILLORY_TRY_VALUE(const time_t t, TaskTime::ToAbsolute(task.m_dtNextSending));
        std::cout << TaskTime::Format(TaskTime::FromAbsolute(t)) << '\n';
        ++task.m_nOccurrenceCount;
        clock.Set(t);
        CSchedule::SetLastSent(task, t);
        QUILLORY_TRY(s.CalcNextSending(task));
    }
    return {};
}

int Next(const COptions& opt, const CTaskList& list) {
    if (opt.vecArgs.empty()) {
        std::cerr << "quillory: next needs the INDEX of a task\n";
        return kExitUsage;
    }
    const auto nIndex = ParseCount(opt.vecArgs[0], 1, 1 << 30);
    if (!nIndex) {
        std::cerr << "quillory: INDEX must be a whole number from 1, not \"" << opt.vecArgs[0] << "\"\n";
        return kExitUsage;
    }
    const auto nCount = opt.strCount.empty() ? std::optional<int>(10) : ParseCount(opt.strCount, 1, 100000);
    if (!nCount) {
        std::cerr << "quillory: --count must be a whole number from 1 to 100000, not \"" << opt.strCount << "\"\n";
        return kExitUsage;
    }
    std::optional<time_t> tNow;
    if (!opt.strNow.empty() && !(tNow = ParseNow(opt.strNow))) {
        std::cerr << "quillory: --now must be a valid local time as \"YYYY-MM-DD HH:MM\", not \"" << opt.strNow
                  << "\"\n";
        return kExitUsage;
    }
    if (*nIndex > list.GetSize()) {
        std::cerr << "quillory: " << opt.strFile << ": there is no task " << *nIndex << " (the list has "
                  << list.GetSize() << ")\n";
        return kExitData;
    }
    CTaskItem task = list[*nIndex - 1];
    std::vector<CTaskCheck::CProblem> vecProblems;
    CTaskCheck::CheckDates(task, vecProblems);
    if (!vecProblems.empty()) {
        for (const auto& p : vecProblems)
            std::cerr << "quillory: " << opt.strFile << ": task " << *nIndex << ": " << p.strField << ": " << p.strText
                      << '\n';
        return kExitData;
    }
    CFixedClock clock(tNow.value_or(0));
    if (const auto rPrinted = PrintNext(task, *nCount, clock, tNow.has_value()); !rPrinted) {
        std::cerr << "quillory: " << opt.strFile << ": task " << *nIndex << ": " << rPrinted.Problem() << '\n';
        return kExitData;
    }
    return kExitOk;
}

int Ics(const COptions& opt, const CTaskList& list) {
    std::optional<time_t> tNow = std::time(nullptr);
    if (!opt.strNow.empty() && !(tNow = ParseNow(opt.strNow))) {
        std::cerr << "quillory: --now must be a valid local time as \"YYYY-MM-DD HH:MM\", not \"" << opt.strNow
                  << "\"\n";
        return kExitUsage;
    }
    return RunIcs(list, opt.vecArgs, *tNow, opt.strOut);
}

}  // namespace

int main(int argc, char** argv) {
    COptions opt;
    if (const auto rParsed = Parse(argc, argv, opt); !rParsed) {
        std::cerr << "quillory: " << rParsed.Problem() << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (opt.strCommand.empty()) {
        (opt.bHelp ? std::cout : std::cerr) << kUsage;
        return opt.bHelp ? kExitOk : kExitUsage;
    }
    auto itHelp = kCommandHelp.find(opt.strCommand);
    if (itHelp == kCommandHelp.end()) {
        std::cerr << "quillory: unknown command " << opt.strCommand << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (opt.bHelp) {
        std::cout << itHelp->second;
        return kExitOk;
    }
    const auto rCodec = CTextCodec::Open(opt.strCodePage);
    if (!rCodec) {
        std::cerr << "quillory: " << rCodec.Problem() << '\n';
        return kExitUsage;
    }
    const CTextCodec& codec = *rCodec;
    if (opt.strCommand == "import") return Import(opt, codec);
    CTaskList list;
    const bool bWhole = Load(opt, codec, list);
    if (opt.strCommand == "next") return bWhole ? Next(opt, list) : kExitData;
    if (opt.strCommand == "ics") return bWhole ? Ics(opt, list) : kExitData;
    if (opt.strCommand == "show") {
        if (opt.vecArgs.empty()) {
            std::cerr << "quillory: show needs a TASK: its index from 1 or its exact name\n";
            return kExitUsage;
        }
        return bWhole ? RunShow(list, opt.vecArgs[0]) : kExitData;
    }
    // A damaged file still shows what can be read, so that it can be
    // salvaged; the exit code says it is not all.
    if (opt.strCommand == "list") List(list);
    else std::cout << CTaskJson::ToJson(list).dump(2) << '\n';
    return bWhole ? kExitOk : kExitData;
}
