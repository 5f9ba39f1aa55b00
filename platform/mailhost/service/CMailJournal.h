#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CHostEvents.h"
#include "CMailMessage.h"
#include "CResult.h"

// One structured journal entry for each message the host sends, defers or
// gives up on, so that `journalctl --user -u mailhost-headless RESULT=failed`
// or `QUILLORY_MESSAGE_ID=<...>` finds it. Fields: MESSAGE (the log line),
// PRIORITY, SYSLOG_IDENTIFIER=mailhost, RESULT (sent, sent-with-refusals,
// retry, failed, in-doubt, stuck), REASON, QUILLORY_MESSAGE_ID (the
// Message-ID header), SUBJECT, RECIPIENTS, MAILHOST_ID (the Maildir id), and
// for a scheduled message TASK and OCCURRENCE (its task's name and the local
// time of the occurrence, from the headers the add-in stamped).
class CMailJournal {
public:
    using CFields = std::vector<std::pair<std::string, std::string>>;

    // The folder in which an event's message now is: Sent Items after a
    // delivery, else Outbox; none for an event that is no message's result.
    static std::optional<bool> InSentItems(EHostEvent kind);
    // The entry for the event; pMsg is its message when it could be read.
    static CFields Fields(const CHostEventRecord& event, const std::string& strLine, const CMailMessage* pMsg);
    // To $MAILHOST_JOURNAL_SOCKET when set (the journal's own datagram
    // form; tests listen there), else to systemd's journal.
    static CResult<> Send(const CFields& fields);
    // True when standard error already goes to the journal (a service's
    // output): then the entry stands in for the plain line.
    static bool StderrIsJournal();
};
