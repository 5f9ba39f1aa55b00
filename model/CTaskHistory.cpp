#include "CTaskHistory.h"

#include <cctype>
#include <iterator>

#include "MoveKey.h"
#include "TaskTime.h"

namespace {

// "09:00", local time.
std::string ClockTime(int64_t t) {
    const TaskDateTime dt = TaskTime::FromAbsolute(static_cast<time_t>(t));
    const std::string str = TaskTime::Format(dt);
    return str.size() >= 5 ? str.substr(str.size() - 5) : str;
}

}  // namespace

namespace {

using EKind = CTaskOutcome::EKind;

// The add-in's one table of outcome words: the stored name (tasks.json,
// `quillory list --json`) and the words a person reads, in the enum's order.
struct CKindWords {
    EKind kind;
    const char* pszName;
    const char* pszWords;  // the result in words; the reason follows after ": "
    // Where strText follows the words: nowhere, in the journal and `show`
    // only (a template's path), or also in the manager's column.
    enum EReason { kNone, kLong, kAll } reason;
};
constexpr CKindWords kWords[] = {
    {EKind::HandedOver, "handed-over", "sending", CKindWords::kNone},
    {EKind::Sent, "sent", "sent", CKindWords::kNone},
    {EKind::SentWithRefusals, "sent-with-refusals", "sent, some recipients refused", CKindWords::kAll},
    {EKind::Retrying, "retrying", "retrying", CKindWords::kAll},
    {EKind::Failed, "failed", "failed", CKindWords::kAll},
    {EKind::InDoubt, "in-doubt", "in doubt", CKindWords::kAll},
    {EKind::SkippedOverdue, "skipped-overdue", "skipped (overdue)", CKindWords::kNone},
    {EKind::TemplateMissing, "template-missing", "template missing", CKindWords::kLong},
    {EKind::TemplateDamaged, "template-damaged", "template damaged", CKindWords::kLong},
    {EKind::NotStored, "not-stored", "not queued yet", CKindWords::kAll},
    {EKind::SkippedByRule, "skipped", "skipped", CKindWords::kAll},
    {EKind::WaitingForAttachments, "waiting-for-attachments", "waiting for its attachments", CKindWords::kAll},
};
static_assert(std::size(kWords) == CTaskOutcome::kLastKind + 1);

const CKindWords& WordsOf(EKind kind) {
    const auto n = static_cast<size_t>(kind);
    return n < std::size(kWords) ? kWords[n] : kWords[0];
}

std::string Capitalised(std::string str) {
    if (!str.empty()) str[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(str[0])));
    return str;
}

}  // namespace

const char* CTaskOutcome::KindName(EKind kind) { return WordsOf(kind).pszName; }

std::optional<CTaskOutcome::EKind> CTaskOutcome::KindNamed(const std::string& strName) {
    for (const auto& words : kWords)
        if (strName == words.pszName) return words.kind;
    return std::nullopt;
}

namespace {

// The words without the "sent now" mark; bLong adds what only the long forms show.
std::string Words(const CTaskOutcome& o, bool bLong) {
    const CKindWords& words = WordsOf(o.kind);
    std::string str = words.pszWords;
    if (o.WentOut() && !o.strNote.empty())
        str += o.kind == EKind::Sent ? " without attachments: " + o.strNote : "; " + o.strNote;
    const bool bReason = words.reason == CKindWords::kAll || (bLong && words.reason == CKindWords::kLong);
    if (bReason && !o.strText.empty()) str += ": " + o.strText;
    return str;
}

}  // namespace

std::string CTaskOutcome::ResultText() const { return (bSendNow ? "sent now, " : "") + Words(*this, true); }

std::string CTaskOutcome::JournalLine(const std::string& strTask, const std::optional<std::string>& strSubject,
                                      const std::string& strResult) const {
    std::string str = "task \"" + strTask + "\", " + (bSendNow ? "sent now at " : "occurrence ") + strOccurrence;
    if (strSubject) str += ", subject \"" + *strSubject + "\"";
    return str + ": " + (strResult.empty() ? Words(*this, true) : strResult);
}

std::string CTaskOutcome::ShortText() const {
    // The column keeps the time a message went out; the rest reads as the journal does.
    std::string str;
    switch (kind) {
        case EKind::HandedOver: str = "sending since " + ClockTime(tWhen); break;
        case EKind::Sent:
            str = "sent " + ClockTime(tWhen) + (strNote.empty() ? "" : " without attachments: " + strNote);
            break;
        case EKind::SentWithRefusals:
            str = "sent " + ClockTime(tWhen) + ", some refused" + (strNote.empty() ? "" : "; " + strNote);
            break;
        default: str = Words(*this, false);
    }
    if (bSendNow) {
        if (kind == EKind::Sent) str.insert(4, " now");  // "sent now 21:30"
        else str = "sent now, " + str;
    }
    return Capitalised(str);
}

std::string CTaskOutcome::FullText() const {
    const std::string strAt = TaskTime::Format(TaskTime::FromAbsolute(static_cast<time_t>(tWhen)));
    const std::string strFor = bSendNow ? "The extra message sent now (" + strOccurrence + ", outside the schedule)"
                                        : "The occurrence of " + strOccurrence;
    switch (kind) {
        case EKind::HandedOver: return strFor + " was handed over for sending at " + strAt + ".";
        case EKind::Sent:
            return strFor + " was sent at " + strAt + (strNote.empty() ? "" : " without attachments: " + strNote) +
                   (strText.empty() ? "." : " (" + strText + ").");
        case EKind::SentWithRefusals:
            return strFor + " was sent at " + strAt + (strNote.empty() ? "" : " (" + strNote + ")") +
                   ", but these recipients were refused: " + strText;
        case EKind::Retrying: return strFor + " waits in the Outbox to be tried again (" + strAt + "): " + strText;
        case EKind::Failed: return strFor + " failed for good (" + strAt + "): " + strText;
        case EKind::InDoubt:
            return strFor + " may or may not have arrived (" + strAt + "): " + strText +
                   ". Ask its recipients; to send it again, open it in the Outbox and press Send; "
                   "if it arrived, delete it there.";
        case EKind::SkippedOverdue: return strFor + " was skipped: its time passed while nothing could send it.";
        case EKind::SkippedByRule: return strFor + " was skipped by the task's rules: " + strText + ".";
        case EKind::TemplateMissing: return strFor + " was not sent: its template is missing: " + strText;
        case EKind::TemplateDamaged: return strFor + " was not sent: its template is damaged: " + strText;
        case EKind::NotStored:
            return strFor + " is not queued yet: the host cannot store it (" + strAt + "): " + strText +
                   ". It is tried again every minute and goes out, late, once the host can take it.";
        case EKind::WaitingForAttachments:
            return strFor + " waits for its attachments (" + strAt + "): " + strText + ".";
    }
    return {};
}

std::string CTaskHistory::KeyOf(const std::string& strTemplateFile) {
    const size_t nSlash = strTemplateFile.find_last_of("/\\");
    return nSlash == std::string::npos ? strTemplateFile : strTemplateFile.substr(nSlash + 1);
}

void CTaskHistory::Record(const std::string& strKey, CTaskOutcome outcome) {
    auto& deq = m_mapTasks[strKey];
    const auto kindBefore = deq.empty() ? CTaskOutcome::EKind::HandedOver : deq.back().kind;
    if ((kindBefore == CTaskOutcome::EKind::NotStored || kindBefore == CTaskOutcome::EKind::WaitingForAttachments) &&
        deq.back().strOccurrence == outcome.strOccurrence)
        deq.pop_back();
    deq.push_back(std::move(outcome));
    while (deq.size() > kKeepPerTask) deq.pop_front();
}

const CTaskOutcome* CTaskHistory::Update(const std::string& strMessageId, CTaskOutcome::EKind kind,
                                         const std::string& strText, int64_t tWhen) {
    if (strMessageId.empty()) return nullptr;
    for (auto& [strKey, deq] : m_mapTasks)
        for (auto& outcome : deq)
            if (outcome.strMessageId == strMessageId) {
                outcome.kind = kind;
                outcome.strText = strText;
                outcome.tWhen = tWhen;
                return &outcome;
            }
    return nullptr;
}

const std::deque<CTaskOutcome>& CTaskHistory::Of(const std::string& strKey) const {
    static const std::deque<CTaskOutcome> g_deqNone;
    const auto it = m_mapTasks.find(strKey);
    return it == m_mapTasks.end() ? g_deqNone : it->second;
}

const CTaskOutcome* CTaskHistory::Last(const std::string& strKey) const {
    const auto& deq = Of(strKey);
    return deq.empty() ? nullptr : &deq.back();
}

void CTaskHistory::KeepOnly(const std::set<std::string>& setKeys) {
    std::erase_if(m_mapTasks, [&](const auto& entry) { return !setKeys.count(entry.first); });
}

void CTaskHistory::Rename(const std::string& strFrom, const std::string& strTo) { MoveKey(m_mapTasks, strFrom, strTo); }
