#include "CTaskListEdit.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <utility>

#include "CHolidayCache.h"
#include "CHostProtocol.h"
#include "CMessageSwap.h"
#include "CRuledSchedule.h"
#include "CSchedule.h"
#include "CSettingsAhead.h"
#include "CTaskArgument.h"
#include "CTaskCheck.h"
#include "CTaskHistoryFile.h"
#include "CTaskJson.h"
#include "CTaskRulesJson.h"
#include "CTaskZone.h"
#include "CTemplateName.h"
#include "Digits.h"
#include "TaskTime.h"

namespace fs = std::filesystem;

namespace {

using json = CTaskListEdit::json;
using COutcome = CTaskListEdit::COutcome;
using CContext = CTaskListEdit::CContext;

// A change that did no file work.
COutcome Done(int nIndex, const CTaskItem& task) {
    COutcome outcome;
    outcome.nIndex = nIndex;
    outcome.task = task;
    return outcome;
}

// Whether another task than nSelf uses strPath as its template.
bool TakenByOther(const CTaskList& list, int nSelf, const std::string& strPath) {
    for (int i = 0; i < list.GetSize(); ++i)
        if (i != nSelf && list[i].m_strTemplateFile == strPath) return true;
    return false;
}

// A template the list no longer needs, where it is ours to remove: in the
// data folder and used by no task left.
std::string Unused(const CTaskList& list, const std::string& strDataDir, const std::string& strPath) {
    if (!CTemplateName::IsOwnTemplate(strDataDir, strPath) || TakenByOther(list, -1, strPath)) return {};
    return strPath;
}

// The options sheet's checks of a task about to be scheduled, in the
// sheet's order; nSelf is the task's own index (-1 for a new one).
CProblems SheetProblems(const CTaskList& list, CTaskItem& task, int nSelf, time_t tNow, const CTextCodec& codec) {
    CProblems vec;
    CTaskCheck::CheckRecurrence(task, vec);
    CTaskCheck::CheckEnd(task, vec);
    CTaskCheck::CheckFlags(task, vec);
    CTaskCheck::CheckDates(task, vec);
    if (vec.Empty()) CTaskCheck::CheckCalendar(task, vec);
    if (!vec.Empty()) return vec;

    CTaskCheck::CheckStartAndEnd(task, nSelf < 0, tNow, vec);
    task.m_strTaskName = CTaskListEdit::TrimmedName(task.m_strTaskName);
    CTaskCheck::CheckName(list, nSelf, task.m_strTaskName, vec);
    CTaskCheck::CheckPlaceholders(task, nSelf >= 0 ? &list[nSelf] : nullptr, vec);
    if (vec.Empty()) CTaskCheck::CheckSize(task, codec, vec);
    return vec;
}

// Where a new template for task goes: named from the task and the present,
// never over a file or another task's template.
CResult<std::string> NewTemplatePath(const CTaskList& list, int nSelf, const CTaskItem& task, const CContext& ctx,
                                     time_t tNow) {
    const std::string strName = CTemplateName::FileName(task.m_strTaskName, TaskTime::FromAbsolute(tNow));
    return CTemplateName::UniquePath(ctx.strDataDir, strName,
                                     [&](const std::string& strPath) { return TakenByOther(list, nSelf, strPath); });
}

// The written template of an add or set: the tool's own pending file in the
// data folder, which no task uses. A request must not move any other file
// (another task's template, the lock).
CResult<std::string> PendingTemplate(const CTaskList& list, const json& jRequest, const CContext& ctx) {
    const auto it = jRequest.find(CHostProtocol::kTemplate);
    if (it == jRequest.end()) return std::string();
    if (!it->is_string()) return CProblem("template: expected a path");
    const std::string strPath = it->get<std::string>();
    std::error_code ec;
    if (!CTemplateName::IsPendingPath(ctx.strDataDir, strPath) || TakenByOther(list, -1, strPath) ||
        !fs::is_regular_file(fs::symlink_status(strPath, ec)))
        return CProblem("template: " + strPath + " is not a new message the quillory tool wrote in " + ctx.strDataDir);
    return strPath;
}

// The interval of the form a task now has, where it never had that form:
// a change that names only the form (set --daily on a weekly task) keeps
// what is stored, and a form never filled stores 0. It starts from the
// panel's 1, as the sheet shows such a panel; a value the change gives is
// checked as given.
void StartUnsetInterval(CTaskItem& task, const json& jChanges) {
    std::pair<int32_t*, const char*> interval{nullptr, ""};
    switch (task.Recurrence()) {
        case ERecurrence::Minutely: interval = {&task.m_nMinuteInterval, "minuteInterval"}; break;
        case ERecurrence::Daily:
            if (task.DailyMode() == EDailyMode::EveryNDays) interval = {&task.m_nDailyInterval, "dailyInterval"};
            break;
        case ERecurrence::Weekly:
            if (task.WeeklyMode() == EWeeklyMode::EveryNWeeks) interval = {&task.m_nWeeklyInterval, "weeklyInterval"};
            break;
        case ERecurrence::Monthly:
            interval = task.MonthlyMode() == EMonthlyMode::DayOfMonth
                           ? std::pair{&task.m_nMonthlyInterval, "monthlyInterval"}
                           : std::pair{&task.m_nMonthlyInterval2, "monthlyInterval2"};
            break;
        default: break;
    }
    if (interval.first && *interval.first == 0 && !jChanges.contains(interval.second)) *interval.first = 1;
}

// Whether a set's changes name nothing of when its task is sent (its name,
// its message, its attachments, whether it is sent late): the task then
// keeps its times and count, unless its rules now place them elsewhere.
// Scheduled anew from the present, it would drop an occurrence missed while
// no host ran and still waiting to go out late.
bool KeepsTimes(const json& jRequest) {
    const auto it = jRequest.find(CHostProtocol::kChanges);
    if (it == jRequest.end() || !it->is_object()) return true;
    static constexpr std::string_view kKeys[] = {"taskName", "templateFile", "attachments", "receiveBeforeSending",
                                                 "sendOverdue"};
    for (const auto& [strKey, jValue] : it->items())
        if (std::find(std::begin(kKeys), std::end(kKeys), strKey) == std::end(kKeys)) return false;
    return true;
}

// The rules a task just scheduled goes by: those of the request, else
// those the store keeps for it. Damaged rules are sent as none, and told
// where the task is sent.
CResult<CTaskRules> RulesFor(const std::optional<nlohmann::json>& jRules, const CTaskItem* pBefore,
                             const CContext& ctx) {
    if (jRules) return CTaskRulesJson::FromJson(*jRules);
    if (!pBefore || !ctx.pStore) return CTaskRules{};
    auto rRules = CTaskRulesJson::InStore(ctx.pStore, *pBefore);
    return rRules ? std::move(*rRules) : CTaskRules{};
}

// Add and set: the changes on base, checked and scheduled as the sheet does.
CResult<COutcome> Schedule(CTaskList& list, const json& jRequest, const CContext& ctx, time_t tNow, int nSelf,
                           CTaskItem task) {
    CProblems problems;
    const auto itChanges = jRequest.find(CHostProtocol::kChanges);
    if (itChanges != jRequest.end())
        CTaskJson::Overlay(*itChanges, task, problems, jRequest[CHostProtocol::kCommand].get<std::string>());
    if (!problems.Empty()) return problems.AsProblem();
    if (itChanges != jRequest.end()) StartUnsetInterval(task, *itChanges);
    std::optional<nlohmann::json> jRules;
    bool bPlacesAlike = true;  // the rules, if any are given, put occurrences where the task's did
    if (const auto itRules = jRequest.find(CHostProtocol::kRules); itRules != jRequest.end()) {
        if (!ctx.pStore) return CProblem("rules: nothing beside this task list keeps them");
        // Changed over the task's rules as they are.
        QUILLORY_TRY_VALUE(const CTaskRules had, nSelf >= 0 ? CTaskRulesJson::InStore(ctx.pStore, list[nSelf])
                                                            : CResult<CTaskRules>(CTaskRules{}));
        QUILLORY_TRY_VALUE(const CTaskRules rules,
                           CTaskRulesJson::FromJson(nlohmann::json::parse(itRules->dump()), had));
        jRules = CTaskRulesJson::ToJson(rules);
        bPlacesAlike = rules.PlacesAlike(had);
    }
    QUILLORY_TRY_VALUE(const std::string strPending, PendingTemplate(list, jRequest, ctx));
    if (nSelf < 0 && strPending.empty()) return CProblem("template: a new task needs its message");
    std::string strPlaced;
    // A changed message of a task keeps its template's file name, which its
    // history is kept by, where that file is ours: in the data folder and
    // no other task's.
    const bool bInPlace = !strPending.empty() && nSelf >= 0 &&
                          CTemplateName::IsOwnTemplate(ctx.strDataDir, task.m_strTemplateFile) &&
                          !TakenByOther(list, nSelf, task.m_strTemplateFile);
    if (bInPlace) {
        strPlaced = task.m_strTemplateFile;
    } else if (!strPending.empty()) {
        // Measured with the path it is about to get, as the sheet does.
        task.m_strTaskName = CTaskListEdit::TrimmedName(task.m_strTaskName);
        QUILLORY_TRY_VALUE(strPlaced, NewTemplatePath(list, nSelf, task, ctx, tNow));
        task.m_strTemplateFile = strPlaced;
    }
    if (nSelf < 0) task.m_dtLastSent.Empty();
    QUILLORY_TRY_VALUE(const CTaskRules rules, RulesFor(jRules, nSelf >= 0 ? &list[nSelf] : nullptr, ctx));
    // The start and end of a task with a zone of its own are that zone's
    // times: checked and scheduled there.
    QUILLORY_TRY_VALUE(problems, CTaskZone::Run(rules.strZone, task, [&](CTaskItem& t) {
                           return CResult<CProblems>(SheetProblems(list, t, nSelf, tNow, *ctx.pCodec));
                       }));
    if (!problems.Empty()) return problems.AsProblem();
    const CFixedClock clock(tNow);
    const CSchedule schedule(clock);
    // Holidays are read only for rules that move occurrences.
    CHolidayCache holidays([](const std::string& str) { std::cerr << "Quillory: " << str << '\n'; });
    const CWorkingDays days = holidays.WorkingDaysAround(rules, tNow);
    if (nSelf < 0 || !KeepsTimes(jRequest) || !bPlacesAlike)
        QUILLORY_TRY(CRuledSchedule(schedule, rules, days).ScheduleAnew(task, nSelf < 0, tNow));

    COutcome outcome;
    outcome.jRules = std::move(jRules);
    if (nSelf >= 0) outcome.strTemplateBefore = list[nSelf].m_strTemplateFile;
    if (bInPlace) {
        // The old message waits aside until the list is saved, noted so
        // that a writer stopped before the save leaves message and values agreeing.
        QUILLORY_TRY_VALUE(outcome.optSwap,
                           CMessageSwap::Begin(ctx.strDataDir, ctx.strTaskFile, strPlaced, strPending));
    } else if (!strPlaced.empty()) {
        std::error_code ec;
        fs::rename(strPending, strPlaced, ec);
        if (ec) return CProblem("template: cannot move " + strPending + " to " + strPlaced + ": " + ec.message());
        outcome.strPlacedFrom = strPending;
        outcome.strPlacedTo = strPlaced;
        if (nSelf >= 0)
            outcome.strRemoveAfterSave = list[nSelf].m_strTemplateFile;  // checked once the list holds the new one
    }
    if (nSelf < 0) {
        outcome.nIndex = list.Add(task);
    } else {
        list.SetAt(nSelf, task);
        outcome.nIndex = nSelf;
    }
    outcome.task = task;
    if (!outcome.strRemoveAfterSave.empty())
        outcome.strRemoveAfterSave = Unused(list, ctx.strDataDir, outcome.strRemoveAfterSave);
    return outcome;
}

// The copy the Email Manager makes: "Copy of" the name, the template copied
// into the data folder under its own file name with ".oft" added (beside it,
// for a template in the data folder; a template elsewhere is not copied into
// a folder the tool does not own). Where the name is another task's, " (2)",
// " (3)", ... follows, as names stay unique; where the file name is taken,
// the next free one, so no file and no other task's template is written over.
CResult<COutcome> Copy(CTaskList& list, int nIndex, const CContext& ctx) {
    CTaskItem copy = list[nIndex];
    const std::string& strSource = list[nIndex].m_strTemplateFile;
    const std::string strName = "Copy of " + copy.m_strTaskName;
    copy.m_strTaskName = strName;
    for (int n = 2; std::any_of(list.begin(), list.end(),
                                [&](const CTaskItem& t) { return t.m_strTaskName == copy.m_strTaskName; });
         ++n)
        copy.m_strTaskName = strName + " (" + std::to_string(n) + ")";
    std::string strTarget = ctx.strDataDir + fs::path(strSource).filename().string() + ".oft";
    std::error_code ec;
    if (fs::exists(fs::symlink_status(strTarget, ec)) || TakenByOther(list, -1, strTarget)) {
        const fs::path target(strTarget);
        QUILLORY_TRY_VALUE(strTarget, CTemplateName::UniquePath(
                                          target.parent_path().string() + "/", target.filename().string(),
                                          [&](const std::string& strPath) { return TakenByOther(list, -1, strPath); }));
    }
    if (!fs::copy_file(strSource, strTarget, fs::copy_options::none, ec))
        return CProblem("templateFile: cannot copy " + strSource + ": " + ec.message());
    copy.m_strTemplateFile = strTarget;
    COutcome outcome;
    outcome.strCopied = strTarget;
    outcome.strTemplateBefore = strSource;
    outcome.nIndex = list.Add(copy);
    outcome.task = copy;
    return outcome;
}

// The place a move request names: "up", "down", "first", "last" or a place from 1.
CResult<int> MoveTarget(const CTaskList& list, int nIndex, const json& jRequest) {
    const auto it = jRequest.find(CHostProtocol::kTo);
    const std::string strTo = it != jRequest.end() && it->is_string() ? it->get<std::string>() : std::string();
    const int nLast = list.GetSize() - 1;
    int nTarget = -1;
    if (strTo == "up") nTarget = std::max(nIndex - 1, 0);
    else if (strTo == "down") nTarget = std::min(nIndex + 1, nLast);
    else if (strTo == "first") nTarget = 0;
    else if (strTo == "last") nTarget = nLast;
    else if (IsDigits(strTo, 9)) nTarget = std::stoi(strTo) - 1;
    if (nTarget < 0 || nTarget > nLast)
        return CProblem("to: must be up, down, first, last or a place from 1 to " + std::to_string(nLast + 1) +
                        ", not \"" + strTo + "\"");
    return nTarget;
}

CResult<COutcome> Move(CTaskList& list, int nIndex, int nTarget) {
    if (nTarget < 0 || nTarget >= list.GetSize())
        return CProblem("to: must be a place from 1 to " + std::to_string(list.GetSize()));
    // Step by step, so that every task keeps its identity for whoever holds it.
    for (int i = nIndex; i < nTarget; ++i) list.MoveDown(i);
    for (int i = nIndex; i > nTarget; --i) list.MoveUp(i);
    return Done(nTarget, list[nTarget]);
}

// The sheet's task in its place. A template the task no longer uses is
// removed after the save, as for set, where it is the list's own.
COutcome Store(CTaskList& list, int nIndex, const CTaskItem& task, const CContext& ctx) {
    COutcome outcome;
    if (nIndex < 0) {
        outcome.nIndex = list.Add(task);
    } else {
        const std::string strOld = list[nIndex].m_strTemplateFile;
        outcome.strTemplateBefore = strOld;
        list.SetAt(nIndex, task);
        outcome.nIndex = nIndex;
        if (strOld != task.m_strTemplateFile) outcome.strRemoveAfterSave = Unused(list, ctx.strDataDir, strOld);
    }
    outcome.task = task;
    return outcome;
}

COutcome Restore(CTaskList& list, int nTo, const CTaskItem& task) {
    int nRow = list.Add(task);
    for (const int nWanted = std::clamp(nTo, 0, nRow); nRow > nWanted; --nRow) list.MoveUp(nRow);
    return Done(nRow, task);
}

// An extra message, now, outside the schedule: it uses up no occurrence,
// so the count, the last sending and the next sending time stay as they
// are (a daily 09:00 task sent now at 21:30 still goes out the next
// morning, and "end after N" still counts N scheduled sendings).
CResult<COutcome> SendNow(CTaskList& list, int nIndex, const CContext& ctx) {
    if (!ctx.fnSend) return CProblem("a running host is needed to send");
    const CTaskList::Id nId = list.IdAt(nIndex);
    const CTaskItem sent = list[nIndex];  // a copy: the list may change during the send
    ctx.fnSend(sent);
    // A send can run the event loop, in which the list may change.
    // The message is handed over whatever happened to the task meanwhile:
    // never a refusal, which would have the user send it again.
    const int nNow = list.IndexOf(nId);
    return Done(nNow, nNow < 0 ? sent : list[nNow]);
}

// How the store beside the list follows a change, in memory.
enum class EFollow {
    None,         // no task came or went, none changed its template or its rules
    After,        // saved after the list
    Before,       // a task the list will name by a key the store does not keep yet: saved before the list too
    BeforeMoved,  // the same for a task whose key changes; the old key is kept until the list is saved
};

EFollow FollowInStore(CTaskHistoryFile& store, CTaskListEdit::ECommand eCommand, const COutcome& outcome) {
    using ECommand = CTaskListEdit::ECommand;
    const std::string strFrom = CTaskHistory::KeyOf(outcome.strTemplateBefore);
    const std::string strTo = CTaskHistory::KeyOf(outcome.task.m_strTemplateFile);
    const bool bChanged = !outcome.strTemplateBefore.empty() && strFrom != strTo;
    if (eCommand == ECommand::Copy && bChanged) store.CopySettings(strFrom, strTo);
    else if (bChanged) store.Follow(strFrom, strTo);
    else if (eCommand != ECommand::Remove && eCommand != ECommand::Add && eCommand != ECommand::Store &&
             eCommand != ECommand::Restore && !outcome.jRules)
        return EFollow::None;
    if (eCommand == ECommand::Restore && outcome.optKept) store.PutBack(strTo, *outcome.optKept);
    if (outcome.jRules) {
        nlohmann::json jSettings = store.SettingsOf(strTo);
        if (outcome.jRules->empty()) jSettings.erase(CHostProtocol::kRules);
        else jSettings[CHostProtocol::kRules] = *outcome.jRules;
        store.SetSettings(strTo, std::move(jSettings));
    }
    if (bChanged && eCommand != ECommand::Copy) return EFollow::BeforeMoved;
    // A copy, or a task that comes with an entry of its own: what it was given back, or rules.
    const bool bNewTask = eCommand == ECommand::Add || eCommand == ECommand::Restore ||
                          (eCommand == ECommand::Store && outcome.strTemplateBefore.empty());
    const bool bNewEntry = bChanged || (bNewTask && (outcome.optKept || (outcome.jRules && !outcome.jRules->empty())));
    return bNewEntry ? EFollow::Before : EFollow::After;
}

}  // namespace

std::string CTaskListEdit::TrimmedName(const std::string& str) {
    const char* pszBlank = " \t\r\n\v\f";
    const size_t nFirst = str.find_first_not_of(pszBlank);
    if (nFirst == std::string::npos) return {};
    return str.substr(nFirst, str.find_last_not_of(pszBlank) - nFirst + 1);
}

std::span<const CTaskListEdit::CNamed> CTaskListEdit::Named() {
    static constexpr CNamed kNamed[] = {
        {CHostProtocol::kAdd, ECommand::Add},         {CHostProtocol::kSet, ECommand::Set},
        {CHostProtocol::kRemove, ECommand::Remove},   {CHostProtocol::kEnable, ECommand::Enable},
        {CHostProtocol::kDisable, ECommand::Disable}, {CHostProtocol::kCopy, ECommand::Copy},
        {CHostProtocol::kMove, ECommand::Move},       {CHostProtocol::kSendNow, ECommand::SendNow},
    };
    return kNamed;
}

bool CTaskListEdit::IsEdit(const std::string& strCommand) {
    const auto named = Named();
    return std::any_of(named.begin(), named.end(), [&](const CNamed& n) { return strCommand == n.pszName; });
}

CResult<CTaskListEdit::CEdit> CTaskListEdit::Parse(const CTaskList& list, const json& jRequest) {
    if (!jRequest.is_object() || !jRequest.contains(CHostProtocol::kCommand) ||
        !jRequest[CHostProtocol::kCommand].is_string())
        return CProblem("command: missing");
    const std::string strCommand = jRequest[CHostProtocol::kCommand];
    const auto named = Named();
    const auto itNamed =
        std::find_if(named.begin(), named.end(), [&](const CNamed& n) { return strCommand == n.pszName; });
    if (itNamed == named.end()) return CProblem("command: unknown: " + strCommand);
    CEdit edit;
    edit.eCommand = itNamed->eCommand;
    if (edit.eCommand == ECommand::Add || edit.eCommand == ECommand::Set) edit.jRequest = jRequest;
    if (edit.eCommand == ECommand::Add) return edit;
    const auto itTask = jRequest.find(CHostProtocol::kTask);
    if (itTask == jRequest.end() || !itTask->is_string()) return CProblem("task: expected an index or a name");
    QUILLORY_TRY_VALUE(edit.nIndex, CTaskArgument::Find(list, itTask->get<std::string>()));
    if (edit.eCommand == ECommand::Move) {
        QUILLORY_TRY_VALUE(edit.nTo, MoveTarget(list, edit.nIndex, jRequest));
    }
    return edit;
}

CResult<COutcome> CTaskListEdit::Apply(CTaskList& list, const json& jRequest, const CContext& ctx) {
    QUILLORY_TRY_VALUE(const CEdit edit, Parse(list, jRequest));
    return Apply(list, edit, ctx);
}

CResult<COutcome> CTaskListEdit::Apply(CTaskList& list, const CEdit& edit, const CContext& ctx) {
    const bool bNeedsTask = edit.eCommand != ECommand::Add && !(edit.eCommand == ECommand::Store && edit.nIndex < 0) &&
                            edit.eCommand != ECommand::Restore;
    if (bNeedsTask && (edit.nIndex < 0 || edit.nIndex >= list.GetSize()))
        return CProblem("task: there is no task " + std::to_string(edit.nIndex + 1));
    // Always the applier's own present: a request cannot move it, so no
    // caller can schedule a new task into the past.
    const time_t tNow = ctx.tNow;
    switch (edit.eCommand) {
        case ECommand::Add: {
            if (!ctx.pCodec) return CProblem("the task list's code page is unknown");
            CTaskItem task;  // the new task the sheet starts from
            task.m_bActive = 1;
            task.m_bSendOverdue = 1;
            task.m_nEndKind = CodeOf(EEndKind::NoEnd);
            return Schedule(list, edit.jRequest, ctx, tNow, -1, task);
        }
        case ECommand::Set:
            if (!ctx.pCodec) return CProblem("the task list's code page is unknown");
            return Schedule(list, edit.jRequest, ctx, tNow, edit.nIndex, list[edit.nIndex]);
        case ECommand::Copy: return Copy(list, edit.nIndex, ctx);
        case ECommand::Move: return Move(list, edit.nIndex, edit.nTo);
        case ECommand::SendNow: return SendNow(list, edit.nIndex, ctx);
        case ECommand::Store: {
            // No rules are kept nowhere: without a store, only rules to keep are refused.
            if (edit.optRules && !edit.optRules->IsEmpty() && !ctx.pStore)
                return CProblem("rules: nothing beside this task list keeps them");
            COutcome outcome = Store(list, edit.nIndex, edit.task, ctx);
            if (edit.optRules && ctx.pStore) outcome.jRules = CTaskRulesJson::ToJson(*edit.optRules);
            return outcome;
        }
        case ECommand::Restore: {
            COutcome outcome = Restore(list, edit.nTo, edit.task);
            outcome.optKept = edit.optKept;
            return outcome;
        }
        case ECommand::Remove: {
            // As the Email Manager's Remove: the template file stays on disk.
            COutcome outcome = Done(-1, list[edit.nIndex]);
            if (ctx.pStore) outcome.optKept = ctx.pStore->Kept(CTaskHistory::KeyOf(outcome.task.m_strTemplateFile));
            list.RemoveAt(edit.nIndex);
            return outcome;
        }
        case ECommand::Enable:
        case ECommand::Disable: {
            CTaskItem task = list[edit.nIndex];
            task.m_bActive = edit.eCommand == ECommand::Enable ? 1 : 0;
            list.SetAt(edit.nIndex, task);
            return Done(edit.nIndex, task);
        }
    }
    return CProblem("command: unknown");
}

CResult<COutcome> CTaskListEdit::ApplyAndSave(CTaskList& list, const json& jRequest, const CContext& ctx,
                                              const std::function<CResult<>()>& fnSave, bool* pbNotSaved) {
    if (pbNotSaved) *pbNotSaved = false;
    QUILLORY_TRY_VALUE(const CEdit edit, Parse(list, jRequest));
    return ApplyAndSave(list, edit, ctx, fnSave, ESaveFailed::Undo, pbNotSaved);
}

CResult<COutcome> CTaskListEdit::ApplyAndSave(CTaskList& list, const CEdit& edit, const CContext& ctx,
                                              const std::function<CResult<>()>& fnSave, ESaveFailed eSaveFailed,
                                              bool* pbNotSaved) {
    if (pbNotSaved) *pbNotSaved = false;
    const CTaskList before = list;
    QUILLORY_TRY_VALUE(COutcome outcome, Apply(list, edit, ctx));
    // Nothing in the list changed, and the message has gone: a save that
    // fails now must not be answered as a refusal.
    if (edit.eCommand == ECommand::SendNow) return outcome;
    // What is kept per task follows in memory. A task the list is about to
    // name by a new key gets its entry on disk first, so that a stop
    // between the two files never leaves it without its identity, results
    // and rules; the save after the list's drops what it no longer names.
    std::optional<CTaskHistoryFile::CContent> optStoreBefore;
    EFollow eFollow = EFollow::None;
    const std::string strFrom = CTaskHistory::KeyOf(outcome.strTemplateBefore);
    // Once the list in memory names the moved task by its new key, a task
    // that still has the old one (one message for two schedules) starts
    // afresh rather than share the moved task's identity.
    const auto ForgetOldKeyLeft = [&] {
        if (eFollow != EFollow::BeforeMoved) return;
        if (std::any_of(list.begin(), list.end(),
                        [&](const CTaskItem& t) { return CTaskHistory::KeyOf(t.m_strTemplateFile) == strFrom; }))
            ctx.pStore->Forget(strFrom);
    };
    // What must be on disk before the list is; without it, the list is not saved.
    CResult<> rAhead;
    bool bWroteAhead = false;
    if (ctx.pStore) {
        CTaskHistoryFile& store = *ctx.pStore;
        optStoreBefore = store.Content();
        const CTaskHistoryFile::CKept kept = store.Kept(strFrom);
        eFollow = FollowInStore(store, edit.eCommand, outcome);
        if (eFollow == EFollow::BeforeMoved) store.PutBack(strFrom, kept);  // for the list still on disk
        // A store left holding settings ahead that memory has not (a save
        // that failed) is written before the list too, so no list can meet them.
        bool bStoreFirst = eFollow == EFollow::Before || eFollow == EFollow::BeforeMoved || store.AheadOnDisk();
        // Rules changed with the values of a task that keeps its key go
        // ahead of the list, tied to the record it is about to hold.
        const std::string strKey = CTaskHistory::KeyOf(outcome.task.m_strTemplateFile);
        if (eFollow == EFollow::After && outcome.jRules && edit.nIndex >= 0 && !outcome.strTemplateBefore.empty() &&
            ctx.pCodec) {
            const auto it = optStoreBefore->mapEntries.find(strKey);
            const nlohmann::json jBefore =
                it != optStoreBefore->mapEntries.end() ? it->second.jSettings : nlohmann::json::object();
            if (jBefore != store.SettingsOf(strKey)) {
                const nlohmann::json jRecord = CSettingsAhead::RecordOf(outcome.task, *ctx.pCodec);
                // A record that stays as it was: the store alone is the change,
                // and is written first, so that one it cannot take is refused.
                if (jRecord == CSettingsAhead::RecordOf(before[edit.nIndex], *ctx.pCodec)) {
                    bStoreFirst = true;
                } else {
                    bWroteAhead = true;
                    rAhead = CSettingsAhead::WriteAhead(store, list, strKey, jBefore, jRecord);
                }
            }
        }
        if (!bWroteAhead && bStoreFirst) {
            bWroteAhead = true;
            rAhead = store.Save(list, eFollow == EFollow::BeforeMoved ? strFrom : std::string());
        }
    }
    std::error_code ec;
    if (const auto rSaved = rAhead ? fnSave() : CResult<>(CProblem(rAhead.Problem())); !rSaved) {
        if (pbNotSaved) *pbNotSaved = true;
        if (eSaveFailed == ESaveFailed::Keep) {
            outcome.strNotSaved = rSaved.Problem();
            outcome.strRemoveAfterSave.clear();  // a later save may still need it
            // A swap's note stays for the next start: saved by then, the old message goes.
            // The store keeps the change in memory, written with whatever next saves it.
            ForgetOldKeyLeft();
            return outcome;
        }
        // The copy keeps every task's identity, and its new generation
        // makes whoever caches the list look again.
        list = before;
        if (optStoreBefore) {
            ctx.pStore->SetContent(std::move(*optStoreBefore));
            // What went ahead of a list that stays as it was goes again.
            if (bWroteAhead) (void)ctx.pStore->Save(list);  // one that cannot leaves AheadOnDisk, for the next edit
        }
        if (!outcome.strPlacedTo.empty()) fs::rename(outcome.strPlacedTo, outcome.strPlacedFrom, ec);
        if (outcome.optSwap) CMessageSwap::Undo(*outcome.optSwap);
        if (!outcome.strCopied.empty()) fs::remove(outcome.strCopied, ec);
        return CProblem(rSaved.Problem() + "; the task list is left as it was");
    }
    // The list no longer names it; a file left over harms nobody.
    if (!outcome.strRemoveAfterSave.empty()) fs::remove(outcome.strRemoveAfterSave, ec);
    if (outcome.optSwap) CMessageSwap::Finish(*outcome.optSwap);
    // The list holds the change already: a store that cannot be saved is
    // told, not undone, and its next save (each result recorded, each change) tries again.
    ForgetOldKeyLeft();
    if (eFollow != EFollow::None || (ctx.pStore && ctx.pStore->AheadOnDisk()))
        if (const auto rSaved = ctx.pStore->Save(list); !rSaved) outcome.strStoreNotSaved = rSaved.Problem();
    return outcome;
}
