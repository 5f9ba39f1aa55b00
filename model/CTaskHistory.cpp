#include "CTaskHistory.h"

#include <cctype>

#include "TaskTime.h"

namespace {

// "09:00", local time.
std::string ClockTime(int64_t t) {
    const TaskDateTime dt = TaskTime::FromAbsolute(static_cast<time_t>(t));
    const std::string str = TaskTime::Format(dt);
    return str.size() >= 5 ? str.substr(str.size() - 5) : str;
}

}  // namespace

std::string CTaskOutcome::ShortText() const {
    if (bSendNow) {
        switch (kind) {
            case EKind::Sent: return "Sent now " + ClockTime(tWhen);
            case EKind::HandedOver: return "Sent now, sending since " + ClockTime(tWhen);
            default: break;
        }
        std::string str = CTaskOutcome{kind, strOccurrence, strMessageId, strText, tWhen, false}.ShortText();
        if (!str.empty()) str[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(str[0])));
        return "Sent now, " + str;
    }
    switch (kind) {
        case EKind::HandedOver: return "Sending since " + ClockTime(tWhen);
        case EKind::Sent: return "Sent " + ClockTime(tWhen);
        case EKind::SentWithRefusals: return "Sent " + ClockTime(tWhen) + ", some refused";
        case EKind::Retrying: return "Retrying: " + strText;
        case EKind::Failed: return "Failed: " + strText;
        case EKind::InDoubt: return "In doubt: " + strText;
        case EKind::SkippedOverdue: return "Skipped (overdue)";
        case EKind::TemplateMissing: return "Template missing";
        case EKind::TemplateDamaged: return "Template damaged";
        case EKind::NotStored: return "Not queued yet: " + strText;
    }
    return {};
}

std::string CTaskOutcome::FullText() const {
    const std::string strAt = TaskTime::Format(TaskTime::FromAbsolute(static_cast<time_t>(tWhen)));
    const std::string strFor = bSendNow ? "The extra message sent now (" + strOccurrence + ", outside the schedule)"
                                        : "The occurrence of " + strOccurrence;
    switch (kind) {
        case EKind::HandedOver: return strFor + " was handed over for sending at " + strAt + ".";
        case EKind::Sent: return strFor + " was sent at " + strAt + (strText.empty() ? "." : " (" + strText + ").");
        case EKind::SentWithRefusals:
            return strFor + " was sent at " + strAt + ", but these recipients were refused: " + strText;
        case EKind::Retrying: return strFor + " waits in the Outbox to be tried again (" + strAt + "): " + strText;
        case EKind::Failed: return strFor + " failed for good (" + strAt + "): " + strText;
        case EKind::InDoubt:
            return strFor + " may or may not have arrived (" + strAt + "): " + strText +
                   ". Ask its recipients; to send it again, open it in the Outbox and press Send; "
                   "if it arrived, delete it there.";
        case EKind::SkippedOverdue: return strFor + " was skipped: its time passed while nothing could send it.";
        case EKind::TemplateMissing: return strFor + " was not sent: its template is missing: " + strText;
        case EKind::TemplateDamaged: return strFor + " was not sent: its template is damaged: " + strText;
        case EKind::NotStored:
            return strFor + " is not queued yet: the host cannot store it (" + strAt + "): " + strText +
                   ". It is tried again every minute and goes out, late, once the host can take it.";
    }
    return {};
}

std::string CTaskHistory::KeyOf(const std::string& strTemplateFile) {
    const size_t nSlash = strTemplateFile.find_last_of("/\\");
    return nSlash == std::string::npos ? strTemplateFile : strTemplateFile.substr(nSlash + 1);
}

void CTaskHistory::Record(const std::string& strKey, CTaskOutcome outcome) {
    auto& deq = m_mapTasks[strKey];
    if (!deq.empty() && deq.back().kind == CTaskOutcome::EKind::NotStored &&
        deq.back().strOccurrence == outcome.strOccurrence)
        deq.pop_back();
    deq.push_back(std::move(outcome));
    while (deq.size() > kKeepPerTask) deq.pop_front();
}

bool CTaskHistory::Update(const std::string& strMessageId, CTaskOutcome::EKind kind, const std::string& strText,
                          int64_t tWhen) {
    if (strMessageId.empty()) return false;
    for (auto& [strKey, deq] : m_mapTasks)
        for (auto& outcome : deq)
            if (outcome.strMessageId == strMessageId) {
                outcome.kind = kind;
                outcome.strText = strText;
                outcome.tWhen = tWhen;
                return true;
            }
    return false;
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
