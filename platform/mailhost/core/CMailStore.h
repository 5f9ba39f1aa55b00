#pragma once
#include <array>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CDeliveryLedger.h"
#include "CMaildir.h"
#include "CQueuedOccurrences.h"
#include "IMailBackend.h"

// The profile folder: five Maildirs and the delivery records. Safe to use
// from the host thread and the delivery worker at once.
//
// A new draft does not wait for the disk when it is saved: the usual one is
// sent at once (the sender saves each message before Send), and its Outbox
// copy, which is durable, replaces it. It is made durable before the next
// new draft is saved, before a move out of Drafts, and when the store
// closes; the file system's own commit takes it there within seconds
// anyway. A kill of the process loses nothing; only a power cut in those
// seconds could lose a draft never sent.
class CMailStore {
public:
    explicit CMailStore(std::string strProfileDir);
    ~CMailStore();
    CMailStore(const CMailStore&) = delete;
    CMailStore& operator=(const CMailStore&) = delete;
    CResult<> Open();  // creates what is missing

    // $MAILHOST_PROFILE, else $XDG_DATA_HOME/mailhost, else ~/.local/share/mailhost.
    static std::string DefaultProfileDir();
    // The name the user sees, which is also the folder's directory ("Sent Items").
    static const char* FolderName(EMailFolder folder);
    const std::string& ProfileDir() const { return m_strProfileDir; }

    // As IMailBackend's SaveToFolder, LoadFromFolder, MoveMessage and DeleteMessage.
    // A message larger than a folder can give back (CMaildir::kMaxMessageBytes)
    // is refused with its size and the limit.
    CResult<> Save(EMailFolder folder, const CMailMessage& msg, std::string& strId);
    std::vector<std::string> List(EMailFolder folder);
    CResult<> Load(EMailFolder folder, const std::string& strId, CMailMessage& msg);
    CResult<> Move(EMailFolder from, const std::string& strId, EMailFolder to, std::string& strNewId);
    CResult<> Delete(EMailFolder folder, const std::string& strId);
    // Stores bytes as they are (received mail); into new/ when bUnseen.
    // Gives the new message's id.
    CResult<std::string> AddRaw(EMailFolder folder, const std::string& strBytes, bool bUnseen);

    // For the delivery worker: claims an Outbox message so the host cannot
    // move, replace or delete it mid-transfer, and gives its bytes. A
    // problem (the message is gone, or unreadable) claims nothing.
    CResult<std::string> BeginSending(const std::string& strId);
    void EndSending(const std::string& strId);
    // Moves a delivered message to Sent Items and gives its id there (its
    // old one where free).
    CResult<std::string> MoveToSent(const std::string& strId);
    // Whether the folder holds a message with this id, readable or not: the
    // Outbox for one that is still to be sent (or cannot be read), Sent Items
    // for a delivered one whose move was cut off (the copy the move makes first).
    bool IsIn(EMailFolder folder, const std::string& strId);
    // Before a claimed message is handed over: removes a copy with its id
    // from Sent Items, which only a move between the two that a crash cut
    // short leaves (the same file, still whole in the Outbox), so that a
    // copy there afterwards can only be this delivery's.
    CResult<> ClearSentCopy(const std::string& strId);

    // The Message-ID of a message in the Outbox, Sent Items or Deleted Items
    // sent for the same scheduled occurrence as msg (CQueuedOccurrences);
    // none for a message without one. The first call reads the header
    // fields of those folders' messages.
    std::optional<std::string> QueuedFor(const CMailMessage& msg);
    // Puts msg, composed as strBytes, durably into the Outbox and notes its
    // occurrence. Gives its id there.
    CResult<std::string> Queue(const CMailMessage& msg, const std::string& strBytes);

    // Whether a new message could be stored now: a probe as large as a
    // small message is written to the Outbox's tmp/ (which no reader
    // lists) and removed. The problem is the file system's (no space).
    CResult<> CanStoreNow();

    CDeliveryRecord GetRecord(const std::string& strId);
    CResult<> PutRecord(const std::string& strId, const CDeliveryRecord& rec);
    std::vector<std::string> StoredRecordIds();

private:
    const CMaildir& Dir(EMailFolder folder) const { return m_arrDirs[static_cast<size_t>(folder)]; }
    bool IsBusy(EMailFolder folder, const std::string& strId) const;
    bool WasSent(EMailFolder folder, const std::string& strId) const;
    static std::string FlagsFor(EMailFolder folder, bool bSent);
    static CProblem NotAnId(const std::string& strId);
    // Makes the drafts saved without waiting durable; the caller holds the lock.
    CResult<> SyncDrafts();
    // Reads the occurrences of the folders' messages; the caller holds the lock.
    void FillOccurrences();
    // The header block of a scheduled message is far shorter.
    static constexpr size_t kOccurrenceHeadBytes = 32 * 1024;

    std::string m_strProfileDir;
    std::array<CMaildir, 5> m_arrDirs;
    CDeliveryLedger m_ledger;
    std::mutex m_mutex;
    std::set<std::string> m_setSending;
    std::set<std::string> m_setUnsyncedDrafts;
    CQueuedOccurrences m_occurrences;
};
