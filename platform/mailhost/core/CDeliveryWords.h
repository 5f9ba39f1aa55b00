#pragma once
#include <string>

// What happens to mail in the host, one vocabulary for all of it: a
// transport's verdict (Sent, RetryLater or Failed), a message's delivery
// record on disk (the kinds with a ledger word), and the events the
// delivery thread posts to the host thread.
enum class EHostEvent {
    Queued,            // record: none yet, waiting in Outbox
    Handed,            // record: the whole message went to the server, its answer not yet known
    Sent,              // event: strId is the message's id in Sent Items; record: accepted, the move pending
    SentWithRefusals,  // delivered, but some recipients were refused (strText, vecRefused name them)
    RetryLater,        // a temporary failure; tried again later; strText says why
    Failed,            // refused for good; kept in Outbox with the reason
    InDoubt,           // Handed found at start-up: may have arrived; kept, not resent
    Stuck,             // event: no way to send; strText says why
    Received,          // event: a new message in Inbox
    ReceiveFailed,     // event
    Warning,           // event: strText says what went wrong beside the delivery
};

// The one table of words for EHostEvent, every place's column side by side.
// Where a word ends in ": ", the reason follows it.
struct CDeliveryWords {
    EHostEvent kind;
    const char* pszLedger;    // the delivery record's "state=" on disk; null: never recorded
    const char* pszLine;      // the log line's word: "will retry"
    const char* pszJournal;   // the journal's RESULT; "" for what is no message's result
    const char* pszPriority;  // the journal's syslog level: 3 error, 4 warning, 6 information
    const char* pszListed;    // `mailhost status`'s word for a message in Outbox: "waiting"
    const char* pszRow;       // the Outbox row's state: "Will retry: "
    const char* pszBar;       // the status bar's sentence: "Sending failed: "; "" shows the text itself
    bool bCapitalise;         // the text itself begins the bar's sentence

    static const CDeliveryWords& Of(EHostEvent kind);
    // The kind a ledger word names; Queued for one it does not know.
    static EHostEvent FromLedger(const std::string& strWord);
    // The Outbox row's text, "Failed: 550 no such user".
    static std::string Row(EHostEvent kind, const std::string& strReason);
    // The status bar's sentence for an event.
    static std::string Bar(EHostEvent kind, const std::string& strText);
};
