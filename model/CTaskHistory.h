#pragma once
#include <cstdint>
#include <ctime>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>

// What became of the last few occurrences of each task, newest last, for
// the Email Manager's "Last Result" column. A task is known by its key, the
// file name of its template (unique per task, and kept through edits,
// reorders and renames; a writer that gives a task another template moves
// the key with it). No I/O here: CTaskHistoryFile keeps it on disk.
struct CTaskOutcome {
    enum class EKind : int {
        HandedOver = 0,        // given to the host to send; its answer is awaited
        Sent = 1,              // the server took it
        SentWithRefusals = 2,  // taken, but some recipients were refused (strText names them)
        Retrying = 3,          // waiting in the Outbox to be tried again (strText: the reason)
        Failed = 4,            // given up for good (strText: the reason)
        InDoubt = 5,           // may have arrived; not sent again by itself (strText: why)
        SkippedOverdue = 6,    // its time passed while nothing ran, and the task does not send late
        TemplateMissing = 7,   // not sent: the template file cannot be read
        TemplateDamaged = 8,   // not sent: the host cannot make a message of the template
        NotStored = 9,         // the host cannot store it now (strText: why); tried again each minute
        SkippedByRule = 10,    // not sent, by one of the task's rules (strText: which, "not a working day")
        // An attachment entry matched nothing and the task waits for it
        // (strText: what matched nothing and until when); tried again later.
        WaitingForAttachments = 11,
    };
    static constexpr int kLastKind = 11;

    EKind kind = EKind::HandedOver;
    std::string strOccurrence;  // the occurrence's local time, "YYYY-MM-DD HH:MM"
    std::string strMessageId;   // the message sent for it, once handed over
    std::string strText;        // the server's or the host's words, or the template's path
    int64_t tWhen = 0;          // when this was learnt, seconds since the epoch
    // An extra message sent on request, outside the schedule: strOccurrence
    // is then the local time it was sent for, and no occurrence was used up.
    bool bSendNow = false;
    // What the message went without, "nothing matched /srv/reports/*.csv";
    // empty when it went as the task says.
    std::string strNote;

    // The kind's one word for files and machines, "sent", "not-stored";
    // KindNamed is its inverse (nullopt for a word that names no kind).
    static const char* KindName(EKind kind);
    static std::optional<EKind> KindNamed(const std::string& strName);
    // Whether the message went out (the server took it).
    bool WentOut() const { return kind == EKind::Sent || kind == EKind::SentWithRefusals; }
    // The result in words for the journal and `quillory show`, lower case:
    // "sent", "sent without attachments: nothing matched /srv/reports/*.csv",
    // "retrying: 421 try later", "failed: …", "template missing", "skipped (overdue)",
    // "skipped: not a working day".
    std::string ResultText() const;
    // One line for the journal: the task, the occurrence, the subject when it
    // is known (nullopt: not known, as for a skipped occurrence) and the
    // result (strResult, else the outcome's own words).
    //     task "Weekly report", occurrence 2026-12-14 09:00, subject "Report": sent
    std::string JournalLine(const std::string& strTask, const std::optional<std::string>& strSubject,
                            const std::string& strResult = {}) const;

    // The column's words: "Sent 09:00", "Retrying: <reason>", "Failed: <reason>",
    // "Skipped (overdue)", "Template missing" (times in local time); an extra
    // message's begin with "Sent now": "Sent now 21:30", "Sent now, failed: <reason>".
    std::string ShortText() const;
    // The tooltip's: the same with the occurrence, the time and the full reason.
    std::string FullText() const;
    bool operator==(const CTaskOutcome&) const = default;
};

class CTaskHistory {
public:
    static constexpr size_t kKeepPerTask = 5;

    // The key of a task with this template path: its file name.
    static std::string KeyOf(const std::string& strTemplateFile);

    // Appends an occurrence's outcome; the oldest beyond kKeepPerTask go. A
    // NotStored or WaitingForAttachments outcome of the same occurrence
    // before it is replaced, so
    // that an hour of tries each minute leaves one line, not sixty.
    void Record(const std::string& strKey, CTaskOutcome outcome);
    // Updates the outcome of the occurrence sent as strMessageId, wherever
    // it is, and gives it; null when no task has it (then nothing changes).
    const CTaskOutcome* Update(const std::string& strMessageId, CTaskOutcome::EKind kind, const std::string& strText,
                               int64_t tWhen);
    // Newest last; empty for a task without history.
    const std::deque<CTaskOutcome>& Of(const std::string& strKey) const;
    const CTaskOutcome* Last(const std::string& strKey) const;
    // Drops every task not in setKeys (removed tasks).
    void KeepOnly(const std::set<std::string>& setKeys);
    // The task known as strFrom is known as strTo from now on, with its
    // results; whatever strTo had is replaced.
    void Rename(const std::string& strFrom, const std::string& strTo);
    void Forget(const std::string& strKey) { m_mapTasks.erase(strKey); }
    const std::map<std::string, std::deque<CTaskOutcome>>& All() const { return m_mapTasks; }
    bool operator==(const CTaskHistory&) const = default;

private:
    std::map<std::string, std::deque<CTaskOutcome>> m_mapTasks;
};
