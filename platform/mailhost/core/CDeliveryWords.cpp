#include "CDeliveryWords.h"

#include <cctype>
#include <iterator>

namespace {

using E = EHostEvent;

// In the enum's order. Words users or files see are kept as they have always
// been: the ledger's are on disk, the journal's are searched for.
constexpr CDeliveryWords kWords[] = {
    {E::Queued, "queued", "queued", "", "4", "waiting", "Queued", "", false},
    {E::Handed, "handed", "sending", "", "4", "sending", "Sending", "", false},
    {E::Sent, "sent", "sent", "sent", "6", "sent", "Sent", "Message sent.", false},
    {E::SentWithRefusals, "refused", "sent, some recipients refused", "sent-with-refusals", "4",
     // Counted with the failures, so that `mailhost status` makes the user look.
     "failed", "Sent, some refused: ", "Message sent, but some recipients were refused: ", false},
    // "Cannot reach smtp.example.org; trying again at 10:42".
    {E::RetryLater, "retrying", "will retry", "retry", "4", "retrying", "Will retry: ", "", true},
    {E::Failed, "failed", "failed", "failed", "3", "failed", "Failed: ", "Sending failed: ", false},
    {E::InDoubt, "in-doubt", "in doubt", "in-doubt", "4", "in doubt",
     "In doubt (not resent): ", "A message may already have been delivered; it is kept, not resent: ", false},
    {E::Stuck, nullptr, "cannot send", "stuck", "3", "waiting", "Queued", "Cannot send: ", false},
    {E::Received, nullptr, "received", "", "4", "waiting", "Queued", "New mail received.", false},
    {E::ReceiveFailed, nullptr, "receive failed", "", "4", "waiting", "Queued", "Receiving failed: ", false},
    {E::Warning, nullptr, "warning", "", "4", "waiting", "Queued", "", false},
};
static_assert(std::size(kWords) == static_cast<size_t>(E::Warning) + 1);

bool TakesReason(const char* psz) {
    const std::string_view sv(psz);
    return sv.size() >= 2 && sv.substr(sv.size() - 2) == ": ";
}

}  // namespace

const CDeliveryWords& CDeliveryWords::Of(EHostEvent kind) {
    const auto n = static_cast<size_t>(kind);
    return n < std::size(kWords) ? kWords[n] : kWords[0];
}

EHostEvent CDeliveryWords::FromLedger(const std::string& strWord) {
    for (const auto& words : kWords)
        if (words.pszLedger && strWord == words.pszLedger) return words.kind;
    return EHostEvent::Queued;
}

std::string CDeliveryWords::Row(EHostEvent kind, const std::string& strReason) {
    const char* psz = Of(kind).pszRow;
    return TakesReason(psz) ? psz + strReason : psz;
}

std::string CDeliveryWords::Bar(EHostEvent kind, const std::string& strText) {
    const CDeliveryWords& words = Of(kind);
    if (*words.pszBar == '\0') {
        std::string str = strText;
        if (words.bCapitalise && !str.empty())
            str[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(str[0])));
        return str;
    }
    return TakesReason(words.pszBar) ? words.pszBar + strText : words.pszBar;
}
