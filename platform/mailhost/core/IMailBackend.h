#pragma once
#include <string>
#include <vector>

#include "CHostEvents.h"
#include "CMailMessage.h"
#include "CResult.h"

enum class EMailFolder { Inbox, Drafts, Outbox, SentItems, DeletedItems };

// What became of a message handed to IMailBackend::Submit.
struct [[nodiscard]] CSubmission {
    enum class EKind {
        Queued,         // stored in the Outbox; strMessageId is its id
        AlreadyQueued,  // the store holds a message for the same scheduled occurrence; strMessageId is its id
        Refused,        // the message itself cannot go (no recipients, a bad address); strProblem says why
        NotStored,      // the store cannot take it now (no space, a folder it may not write); strProblem, in
                        // the file system's words; the same message may be handed over again later
    };
    EKind kind = EKind::Refused;
    std::string strMessageId;
    std::string strProblem;

    bool Ok() const { return kind == EKind::Queued || kind == EKind::AlreadyQueued; }
    // Empty when Ok().
    const std::string& Problem() const { return strProblem; }
};

// What the host's object model needs of the mail store and transport. A
// problem is readable by the user as it is.
class IMailBackend {
public:
    virtual ~IMailBackend() = default;

    // A template is a standard MIME message file at exactly the given path.
    virtual CResult<> SaveTemplate(const std::string& strPath, const CMailMessage& msg) = 0;
    // msg is left alone on a problem.
    virtual CResult<> LoadTemplate(const std::string& strPath, CMailMessage& msg) = 0;

    // Stores msg in the folder. With an empty strId a new entry is made and
    // strId receives its id; otherwise the entry strId is replaced.
    virtual CResult<> SaveToFolder(EMailFolder folder, const CMailMessage& msg, std::string& strId) = 0;
    virtual std::vector<std::string> ListFolder(EMailFolder folder) = 0;  // ids, oldest first
    virtual CResult<> LoadFromFolder(EMailFolder folder, const std::string& strId, CMailMessage& msg) = 0;
    virtual CResult<> MoveMessage(EMailFolder from, const std::string& strId, EMailFolder to,
                                  std::string& strNewId) = 0;
    virtual CResult<> DeleteMessage(EMailFolder folder, const std::string& strId) = 0;

    // Puts msg durably into the Outbox and wakes delivery; returns at once
    // with the Message-ID it goes out with (msg's own, or a new one), or
    // that of the message already held for the same scheduled occurrence.
    virtual CSubmission Submit(const CMailMessage& msg) = 0;
    // Sends the Outbox now and fetches new mail where an account allows it.
    virtual void SendReceiveNow() = 0;
    // Where delivery results arrive; none for a backend that delivers nothing.
    virtual CHostEvents* DeliveryEvents() { return nullptr; }
};
