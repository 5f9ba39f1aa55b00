#include "CEditCommand.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>

#include "CChangeFinder.h"
#include "CChangeRoute.h"
#include "CFileOps.h"
#include "CHostProtocol.h"
#include "CMaildir.h"
#include "CNextCommand.h"
#include "CPrintable.h"
#include "CScheduleOptions.h"
#include "CSendingPreview.h"
#include "CSettingsAhead.h"
#include "CTaskArgument.h"
#include "CTaskHistoryFile.h"
#include "CTaskJson.h"
#include "CTaskListEdit.h"
#include "CTaskListFile.h"
#include "CTaskRulesBeside.h"
#include "CTemplateFile.h"
#include "CTemplateMaker.h"
#include "CTemplateName.h"
#include "IClock.h"
#include "TaskTime.h"

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

constexpr int kNextCount = 5;

void PrintProblems(const std::vector<std::string>& vecLines) {
    for (const auto& strLine : vecLines) std::cerr << "quillory: " << CScheduleOptions::InOptionWords(strLine) << '\n';
}

// The present a change is checked against: the real one. Tests alone set
// QUILLORY_TEST_NOW ("YYYY-MM-DD HH:MM", local time) to fix it where the
// tool writes the file itself; a running host always uses its own clock.
CResult<time_t> PresentForChanges() {
    const char* pszTestNow = std::getenv("QUILLORY_TEST_NOW");
    if (!pszTestNow || !*pszTestNow) return std::time(nullptr);
    const auto rNow = ParseNowArgument(pszTestNow);
    if (!rNow)
        return CProblem(std::string("QUILLORY_TEST_NOW (for tests only): ") + rNow.Problem() + ", not \"" + pszTestNow +
                        "\"");
    return *rNow;
}

// Without a host: the change made here, to the file, by the same rules.
int ApplyToFile(const std::string& strFile, const CTextCodec& codec, const json& jRequest, time_t tNow, json& jAnswer) {
    CTaskList list;
    CTaskListFile::CLoadCounts counts;
    if (const auto rLoaded = CTaskListFile::LoadTaskList(strFile, list, codec, &counts); !rLoaded) {
        std::cerr << "quillory: " << (counts.bUnreadable ? "" : strFile + ": ") << rLoaded.Problem()
                  << "\nquillory: nothing written\n";
        return kExitData;
    }
    if (const auto rCodePage = CTaskListFile::CheckCodePage(counts, codec); !rCodePage) {
        std::cerr << "quillory: " << strFile << ": " << rCodePage.Problem() << "\nquillory: nothing written\n";
        return kExitData;
    }
    if (jRequest[CHostProtocol::kCommand] == CHostProtocol::kSendNow) {
        // A task that is not there is the same mistake with or without a host.
        if (const auto rTask = CTaskArgument::Find(list, jRequest[CHostProtocol::kTask]); !rTask) {
            PrintProblems(rTask.ProblemLines());
            return kExitData;
        }
        std::cerr << "quillory: send-now: a running host is needed to send, and none serves " << strFile << '\n';
        return kExitHost;
    }
    // What is kept per task follows the change; a store that does not
    // load is left for the add-in, which keeps a damaged one aside.
    const CFixedClock clock(tNow);
    const std::string strDataDir = CChangeRoute::DataDirOf(strFile);
    CTaskHistoryFile store(strDataDir + CTaskHistoryFile::kFileName, clock);
    const auto rStore = store.Load();
    if (!rStore) std::cerr << "quillory: " << rStore.Problem() << "; it does not follow this change\n";
    // Settings a stopped writer left ahead of the list go by the list as it
    // is, before this change moves the list on.
    if (const auto rSettled = rStore ? CSettingsAhead::Settle(store, list) : CResult<>(); !rSettled) {
        // Moved on without them, the list would lose the settings that wait for it.
        std::cerr << "quillory: " << rSettled.Problem() << "\nquillory: nothing written to " << strFile << '\n';
        return kExitData;
    }
    const CTaskListEdit::CContext ctx{strDataDir, tNow, &codec, {}, rStore ? &store : nullptr, strFile};
    const auto rDone = CTaskListEdit::ApplyAndSave(list, jRequest, ctx,
                                                   [&] { return CTaskListFile::SaveTaskList(strFile, list, codec); });
    if (!rDone) {
        PrintProblems(rDone.ProblemLines());
        std::cerr << "quillory: nothing written to " << strFile << '\n';
        return kExitData;
    }
    if (!rDone->strStoreNotSaved.empty())
        std::cerr << "quillory: the task store is not saved: " << rDone->strStoreNotSaved << '\n';
    jAnswer[CHostProtocol::kIndex] = rDone->nIndex + 1;
    jAnswer[CHostProtocol::kTask] = CTaskJson::ToJson(rDone->task);
    return kExitOk;
}

// How to tell from the file whether a host that vanished before it
// answered made the change: the list as it is now, before the request,
// against the list its lock's end leaves. Without a readable list now,
// nothing can be told.
CChangeRoute::CFindFn FinderOf(const std::string& strFile, const CTextCodec& codec, const json& jRequest) {
    CTaskList before;
    if (!CTaskListFile::LoadTaskList(strFile, before, codec)) return {};
    auto rStoreBefore = CTaskHistoryFile::ReadBeside(strFile);
    // The new message as it went out: the host moves the file itself.
    std::optional<std::string> optMessage;
    if (const auto it = jRequest.find(CHostProtocol::kTemplate); it != jRequest.end() && it->is_string())
        if (auto rBytes = CFileOps::ReadFile(it->get<std::string>(), CMaildir::kMaxMessageBytes))
            optMessage = std::move(*rBytes);
    return [strFile, &codec, jRequest, before, optMessage, rStoreBefore](json& jAnswer) {
        CTaskList after;
        if (!CTaskListFile::LoadTaskList(strFile, after, codec)) return CChangeRoute::EFound::kUnknown;
        const CChangeFinder::CStores stores{rStoreBefore, CTaskHistoryFile::ReadBeside(strFile), strFile};
        return CChangeFinder::Find(jRequest, before, after, codec, optMessage ? &*optMessage : nullptr, jAnswer,
                                   &stores);
    };
}

// The message a task has now, which a change of some of its parts keeps
// the rest of. The list is read as it stands; the host's own copy of the
// task names the same template.
CResult<CMailMessage> MessageNow(const std::string& strFile, const CTextCodec& codec, const std::string& strTask) {
    CTaskList list;
    if (const auto rLoaded = CTaskListFile::LoadTaskList(strFile, list, codec); !rLoaded)
        return CProblem(strFile + ": " + rLoaded.Problem());
    QUILLORY_TRY_VALUE(const int nIndex, CTaskArgument::Find(list, strTask));
    CMailMessage msg;
    const std::string& strTemplate = list[nIndex].m_strTemplateFile;
    if (const auto rLoaded = CTemplateFile::Load(strTemplate, msg); !rLoaded)
        return CProblem("the task's message " + strTemplate + " cannot be read (" + rLoaded.Problem() +
                        "); give the whole message: --to, --subject and --body, or --eml");
    return msg;
}

void PrintNextTimes(const CTaskItem& task, const std::string& strFile) {
    // The rules as the change left them beside the list.
    CTaskRulesBeside rules(strFile, [](const std::string& str) { std::cerr << "quillory: " << str << '\n'; });
    const auto rTimes = rules.Next(task, kNextCount);
    if (!rTimes) {
        std::cout << "Next sending times: cannot be worked out: " << rTimes.Problem() << '\n';
        return;
    }
    std::cout << "Next sending times:" << (rTimes->empty() ? " none (Completed)" : "") << '\n';
    for (const time_t t : *rTimes)
        std::cout << "  " << TaskTime::Format(TaskTime::FromAbsolute(t)) << rules.ZoneNote(task, t) << '\n';
}

void PrintOutcome(const std::string& strCommand, const json& jAnswer, const std::string& strFile) {
    CTaskItem task;
    CProblems ignored;  // the answer is the list's own task
    const auto itTask = jAnswer.find(CHostProtocol::kTask);
    if (itTask != jAnswer.end()) CTaskJson::Overlay(*itTask, task, ignored, "answer");
    // An answer without its index still reports the change, with index 0.
    const auto itIndex = jAnswer.find(CHostProtocol::kIndex);
    const int nIndex = itIndex != jAnswer.end() && itIndex->is_number_integer() ? itIndex->get<int>() : 0;
    const std::string strTask =
        "task " + std::to_string(nIndex) + " \"" + CPrintable::Escape(task.m_strTaskName) + "\"";
    if (strCommand == CHostProtocol::kAdd) {
        std::cout << "Added " << strTask << '\n';
        PrintNextTimes(task, strFile);
    } else if (strCommand == CHostProtocol::kSet) {
        std::cout << "Changed " << strTask << '\n';
        PrintNextTimes(task, strFile);
    } else if (strCommand == CHostProtocol::kRemove) {
        std::cout << "Removed task \"" << CPrintable::Escape(task.m_strTaskName) << "\"\n";
    } else if (strCommand == CHostProtocol::kEnable || strCommand == CHostProtocol::kDisable) {
        std::cout << (task.m_bActive ? "Enabled " : "Disabled ") << strTask << '\n';
    } else if (strCommand == CHostProtocol::kCopy) {
        std::cout << "Copied to " << strTask << '\n';
    } else if (strCommand == CHostProtocol::kMove) {
        std::cout << "Moved to " << strTask << '\n';
    } else {
        std::cout << "Sent " << strTask << " now; next sending: "
                  << (task.m_dtNextSending.IsSet() ? TaskTime::Format(task.m_dtNextSending) : "Completed") << '\n';
    }
}

// The request of a command other than add and set, from its operands.
CResult<json> SimpleRequest(const std::string& strCommand, const std::vector<std::string>& vecOperands) {
    json j = {{CHostProtocol::kCommand, strCommand}};
    if (vecOperands.empty()) return CProblem(strCommand + " needs a TASK: its index from 1 or its exact name");
    j[CHostProtocol::kTask] = vecOperands[0];
    size_t nUsed = 1;
    if (strCommand == CHostProtocol::kMove) {
        if (vecOperands.size() < 2) return CProblem("move needs where to: up, down, first, last or to N");
        std::string strTo = vecOperands[1];
        nUsed = 2;
        if (strTo == "to") {
            if (vecOperands.size() < 3) return CProblem("move TASK to needs a place from 1");
            strTo = vecOperands[2];
            nUsed = 3;
        } else if (strTo != "up" && strTo != "down" && strTo != "first" && strTo != "last") {
            return CProblem("move: where to must be up, down, first, last or to N, not \"" + strTo + "\"");
        }
        j[CHostProtocol::kTo] = strTo;
    }
    if (vecOperands.size() > nUsed) return CProblem("unexpected argument " + vecOperands[nUsed]);
    return j;
}

}  // namespace

int RunEdit(const std::string& strCommand, const std::vector<std::string>& vecArgs, const std::string& strFile,
            const CTextCodec& codec) {
    const bool bAdd = strCommand == CHostProtocol::kAdd;
    const bool bSchedule = bAdd || strCommand == CHostProtocol::kSet;
    json jRequest;
    std::string strPending;  // the new template, until the change takes it
    const auto rNow = PresentForChanges();
    if (!rNow) {
        std::cerr << "quillory: " << rNow.Problem() << '\n';
        return kExitUsage;
    }
    const time_t tNow = *rNow;
    if (bSchedule) {
        auto rOptions = CScheduleOptions::Parse(vecArgs, bAdd, tNow);
        if (!rOptions) {
            std::cerr << "quillory: " << rOptions.Problem() << '\n';
            return kExitUsage;
        }
        const CScheduleOptions& opt = *rOptions;
        jRequest = {{CHostProtocol::kCommand, strCommand}};
        if (bAdd && !opt.vecOperands.empty()) {
            std::cerr << "quillory: unexpected argument " << opt.vecOperands[0] << '\n';
            return kExitUsage;
        }
        if (!bAdd) {
            auto rSimple = SimpleRequest(strCommand, opt.vecOperands);
            if (!rSimple) {
                std::cerr << "quillory: " << rSimple.Problem() << '\n';
                return kExitUsage;
            }
            jRequest = *rSimple;
        }
        jRequest[CHostProtocol::kChanges] = opt.jChanges;
        if (!opt.jRules.empty()) jRequest[CHostProtocol::kRules] = json::parse(opt.jRules.dump());
        if (opt.bMessage) {
            const std::string strDataDir = CChangeRoute::DataDirOf(strFile);
            std::error_code ec;
            // Private, as the add-in makes it: it holds the user's messages.
            if (const auto rDir = CFileOps::MakeDirs(strDataDir); !rDir) {
                std::cerr << "quillory: " << rDir.Problem() << "\nquillory: nothing written\n";
                return kExitData;
            }
            std::optional<CMailMessage> optBase;
            if (!bAdd && !opt.WholeMessage()) {
                auto rBase = MessageNow(strFile, codec, jRequest[CHostProtocol::kTask]);
                if (!rBase) {
                    PrintProblems(rBase.ProblemLines());
                    std::cerr << "quillory: nothing written\n";
                    return kExitData;
                }
                optBase = std::move(*rBase);
            }
            strPending = CTemplateName::PendingPath(strDataDir, ::getpid());
            const auto rWritten = CTemplateMaker::Write(opt, strPending, optBase ? &*optBase : nullptr);
            if (!rWritten) {
                fs::remove(strPending, ec);
                std::cerr << "quillory: " << rWritten.Problem() << "\nquillory: nothing written\n";
                return kExitData;
            }
            if (!rWritten->strNotice.empty()) std::cerr << "quillory: " << rWritten->strNotice << '\n';
            jRequest[CHostProtocol::kTemplate] = strPending;
            if (bAdd && !jRequest[CHostProtocol::kChanges].contains("taskName"))
                jRequest[CHostProtocol::kChanges]["taskName"] = rWritten->strSubject;
        }
    } else {
        std::vector<std::string> vecOperands;
        for (const std::string& strArg : vecArgs) {
            if (strArg.size() > 1 && strArg[0] == '-' && !(strArg.size() > 1 && std::isdigit(strArg[1]))) {
                std::cerr << "quillory: unknown option " << strArg << " of " << strCommand << '\n';
                return kExitUsage;
            }
            vecOperands.push_back(strArg);
        }
        auto rSimple = SimpleRequest(strCommand, vecOperands);
        if (!rSimple) {
            std::cerr << "quillory: " << rSimple.Problem() << '\n';
            return kExitUsage;
        }
        jRequest = *rSimple;
    }
    json jAnswer;
    const int nStatus = CChangeRoute::Write(
        strFile, jRequest, [&] { return ApplyToFile(strFile, codec, jRequest, tNow, jAnswer); }, &jAnswer,
        CScheduleOptions::InOptionWords, FinderOf(strFile, codec, jRequest));
    std::error_code ec;
    if (!strPending.empty()) fs::remove(strPending, ec);  // still there: the change did not take it
    if (nStatus == kExitOk) PrintOutcome(strCommand, jAnswer, strFile);
    return nStatus;
}
