#pragma once
#include <functional>
#include <string>
#include <vector>

#include "CResult.h"
#include "CTaskHistory.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "MailHostOM.h"

// Sending one occurrence of a task through the host's object model. A
// failure ends the attempt; the caller advances the task anyway, except
// when the host could not store the message for a reason that passes.

// Waits the given milliseconds while receiving runs. The default keeps the
// host's event loop running (the scheduler's busy flag keeps its ticks out).
using CWaitFn = std::function<void(int nMilliseconds)>;

// How far one occurrence got, in the outcome's own words: handed to the host
// (whose delivery reports later, through ApplicationEvents, by strMessageId),
// or why not. Only these kinds come of it:
//     HandedOver       queued by the host; strMessageId is the message's
//     TemplateMissing  the template cannot be opened (no path, gone, locked); strText: its path
//     TemplateDamaged  the host makes no mail message of it; strText: its path
//     Failed           the host refused to queue it; strText: its reason
//     NotStored        the host cannot store it now (no space...); strText: its reason; try again later
//     SkippedByRule    not sent: an entry matched nothing and the task does not go without; strText: which
//     WaitingForAttachments  an entry matched nothing and the task waits for it; strText: which, and
//                      until when; try again in nRetrySeconds
struct [[nodiscard]] CSendStart {
    using EKind = CTaskOutcome::EKind;
    // Whether the occurrence is done with: all but those tried again later, which stay due.
    bool Counts() const { return kind != EKind::NotStored && kind != EKind::WaitingForAttachments; }
    EKind kind = EKind::Failed;
    std::string strMessageId;
    std::string strText;
    std::string strSubject;       // the message's, once made from the template
    std::string strNote;          // what it goes without: "nothing matched /srv/reports/*.csv"
    bool bAlreadyQueued = false;  // HandedOver before a stop: the host held it already; strMessageId is that one's
    int nRetrySeconds = 0;        // WaitingForAttachments: when it is tried again
    // Texts whose placeholders could not be filled (a template changed
    // outside the options sheet): they went as written, and this says why.
    std::string strUnfilled = {};
};

// The message carries the task's name and the occurrence (the task's
// m_dtNextSending, "YYYY-MM-DD HH:MM") in header fields the host keeps
// but does not transmit, so that its result can be matched to both. An
// extra message sent on request (strSendNow: the local time it was asked
// for, "2026-12-07 21:30") carries that time instead of an occurrence: it
// stands for none of the schedule's.
//
// Placeholders in the subject, the body (an HTML body between its tags
// alone) and the attachment entries are filled for the occurrence (an
// extra message: for the time it was asked for), with the task's count of
// occurrences + 1 as {n}. An entry that matches nothing then does what
// rules.eNothingAttached says: Send goes without it (strNote); Skip does
// not send (SkippedByRule); Wait keeps the occurrence due
// (WaitingForAttachments) until rules.nWaitDeadlineMinutes after it,
// tNow deciding, and then does what rules.eWaitThen says. An extra message
// never waits: a person asked for it now.
CSendStart SendTask(_Application* pApplication, const CTaskItem& task, const CWaitFn& fnWait = {},
                    const std::string& strSendNow = {}, const CTaskRules& rules = {}, time_t tNow = 0);
// Attaches the files the entries name now. The problem is an item whose
// attachments cannot be had, or a named file that cannot be read (no
// permission, not a regular file), with the host's reason; the value is
// the entries that matched nothing, in their order.
CResult<std::vector<std::string>> AddAttachments(_MailItem* pMailItem, const std::vector<std::string>& vecEntries);
void ReceiveEmails(_Application* pApplication, const CWaitFn& fnWait = {});
