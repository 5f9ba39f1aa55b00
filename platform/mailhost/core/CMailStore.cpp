#include "CMailStore.h"

#include <unistd.h>

#include <cstdlib>
#include <iterator>

#include "CFileOps.h"
#include "CMimeReader.h"
#include "CMimeWriter.h"

namespace {

std::string EnvOr(const char* pszName, const std::string& strFallback) {
    const char* psz = std::getenv(pszName);
    return psz && *psz ? std::string(psz) : strFallback;
}

// In the order of EMailFolder; each name is also its Maildir's directory.
constexpr const char* kFolderNames[] = {"Inbox", "Drafts", "Outbox", "Sent Items", "Deleted Items"};
static_assert(std::size(kFolderNames) == static_cast<size_t>(EMailFolder::DeletedItems) + 1);

}  // namespace

CMailStore::CMailStore(std::string strProfileDir)
    : m_strProfileDir(std::move(strProfileDir)),
      m_arrDirs{CMaildir(m_strProfileDir + "/" + kFolderNames[0]), CMaildir(m_strProfileDir + "/" + kFolderNames[1]),
                CMaildir(m_strProfileDir + "/" + kFolderNames[2]), CMaildir(m_strProfileDir + "/" + kFolderNames[3]),
                CMaildir(m_strProfileDir + "/" + kFolderNames[4])},
      m_ledger(m_strProfileDir + "/.delivery") {}

CMailStore::~CMailStore() {
    std::lock_guard lock(m_mutex);
    // Nothing is left to tell: the file system's own commit still takes them to the disk.
    (void)SyncDrafts();
}

CResult<> CMailStore::SyncDrafts() {
    while (!m_setUnsyncedDrafts.empty()) {
        const std::string strId = *m_setUnsyncedDrafts.begin();
        m_setUnsyncedDrafts.erase(m_setUnsyncedDrafts.begin());
        QUILLORY_TRY(Dir(EMailFolder::Drafts).Sync(strId));
    }
    return {};
}

std::string CMailStore::DefaultProfileDir() {
    if (const char* psz = std::getenv("MAILHOST_PROFILE"); psz && *psz) return psz;
    std::string strHome = EnvOr("HOME", "/tmp");
    return EnvOr("XDG_DATA_HOME", strHome + "/.local/share") + "/mailhost";
}

const char* CMailStore::FolderName(EMailFolder folder) {
    const auto nIndex = static_cast<size_t>(folder);
    return nIndex < std::size(kFolderNames) ? kFolderNames[nIndex] : kFolderNames[0];
}

CResult<> CMailStore::Open() {
    std::lock_guard lock(m_mutex);
    for (const auto& dir : m_arrDirs) QUILLORY_TRY(dir.Create());
    return m_ledger.Open();
}

std::string CMailStore::FlagsFor(EMailFolder folder, bool bSent) {
    if (folder == EMailFolder::Outbox) return "";
    return bSent ? "S" : "D";
}

bool CMailStore::WasSent(EMailFolder folder, const std::string& strId) const {
    switch (folder) {
        case EMailFolder::Inbox:
        case EMailFolder::SentItems: return true;
        case EMailFolder::DeletedItems: return Dir(folder).Flags(strId).find('D') == std::string::npos;
        default: return false;
    }
}

CProblem CMailStore::NotAnId(const std::string& strId) { return CProblem("not a message id: \"" + strId + "\""); }

bool CMailStore::IsBusy(EMailFolder folder, const std::string& strId) const {
    return folder == EMailFolder::Outbox && m_setSending.count(strId) != 0;
}

CResult<> CMailStore::Save(EMailFolder folder, const CMailMessage& msg, std::string& strId) {
    CResult<std::string> rBytes = CMimeWriter::Compose(msg, {});
    if (!rBytes) return rBytes.TakeProblem();
    // Stored anyway, no folder would read it back.
    if (rBytes->size() > CMaildir::kMaxMessageBytes)
        return CProblem("the message is too large to keep: " + std::to_string(rBytes->size()) + " bytes, more than " +
                        std::to_string(CMaildir::kMaxMessageBytes) + " bytes (the most a message may have)");
    std::lock_guard lock(m_mutex);
    if (strId.empty() && folder == EMailFolder::Drafts) {
        QUILLORY_TRY(SyncDrafts());  // at most one draft waits for the disk
        CResult<std::string> rId = Dir(folder).AddUnsynced(*rBytes, FlagsFor(folder, msg.bSent));
        if (!rId) return rId.TakeProblem();
        strId = *rId;
        m_setUnsyncedDrafts.insert(strId);
        return {};
    }
    if (strId.empty()) {
        CResult<std::string> rId = Dir(folder).Add(*rBytes, false, FlagsFor(folder, msg.bSent));
        if (!rId) return rId.TakeProblem();
        strId = *rId;
        return {};
    }
    if (!CMaildir::IsValidId(strId)) return NotAnId(strId);
    if (IsBusy(folder, strId)) return CProblem("the message is being sent and cannot be changed now");
    QUILLORY_TRY(Dir(folder).Replace(strId, *rBytes));  // durable: bytes and name
    if (folder == EMailFolder::Drafts) m_setUnsyncedDrafts.erase(strId);
    // An edited Outbox message is a new attempt: forget an earlier refusal.
    if (folder == EMailFolder::Outbox) return m_ledger.Erase(strId);
    return {};
}

std::vector<std::string> CMailStore::List(EMailFolder folder) {
    std::lock_guard lock(m_mutex);
    return Dir(folder).List();
}

CResult<> CMailStore::Load(EMailFolder folder, const std::string& strId, CMailMessage& msg) {
    if (!CMaildir::IsValidId(strId)) return NotAnId(strId);
    std::unique_lock lock(m_mutex);
    CResult<std::string> rBytes = Dir(folder).Read(strId);
    if (!rBytes) return rBytes.TakeProblem();
    bool bSent = WasSent(folder, strId);
    lock.unlock();  // parsing needs no lock
    CResult<CMailMessage> rMessage = CMimeReader::Parse(*rBytes);
    if (!rMessage)
        return CProblem(std::string("message ") + strId + " in " + FolderName(folder) + ": " + rMessage.Problem());
    msg = std::move(rMessage).Value();
    msg.bSent = bSent;
    return {};
}

CResult<> CMailStore::Move(EMailFolder from, const std::string& strId, EMailFolder to, std::string& strNewId) {
    std::lock_guard lock(m_mutex);
    if (!CMaildir::IsValidId(strId)) return NotAnId(strId);
    if (IsBusy(from, strId)) return CProblem("the message is being sent and cannot be moved now");
    if (from == to) {
        if (!Dir(from).Exists(strId)) return CProblem(std::string("no message ") + strId + " in " + FolderName(from));
        strNewId = strId;
        return {};
    }
    // The move makes the name in the target durable: the bytes must be first.
    if (from == EMailFolder::Drafts) QUILLORY_TRY(SyncDrafts());
    bool bSent = WasSent(from, strId);
    // Taken back to Drafts to be corrected: the host holds that occurrence
    // no longer, and the corrected message must not be taken for it.
    std::optional<std::string> strHeldKey;
    if (from == EMailFolder::Outbox && to == EMailFolder::Drafts && m_occurrences.IsFilled())
        if (CResult<std::string> rHead = Dir(from).ReadHead(strId, kOccurrenceHeadBytes))
            strHeldKey = CQueuedOccurrences::KeyOf(CMimeReader::ParseHeaderFields(*rHead));
    CResult<std::string> rNewId = Dir(from).MoveTo(strId, Dir(to), FlagsFor(to, bSent));
    if (!rNewId) return rNewId.TakeProblem();
    strNewId = *rNewId;
    if (strHeldKey) m_occurrences.Forget(*strHeldKey);
    if (from == EMailFolder::Outbox) return m_ledger.Erase(strId);
    return {};
}

CResult<> CMailStore::Delete(EMailFolder folder, const std::string& strId) {
    std::lock_guard lock(m_mutex);
    if (!CMaildir::IsValidId(strId)) return NotAnId(strId);
    if (IsBusy(folder, strId)) return CProblem("the message is being sent and cannot be deleted now");
    // A draft that comes back after a power cut is only a draft again, never
    // sent by itself; this is the delete that follows every Send, so it
    // does not wait for the disk. Anything else deleted stays deleted.
    QUILLORY_TRY(folder == EMailFolder::Drafts ? Dir(folder).Discard(strId) : Dir(folder).Remove(strId));
    if (folder == EMailFolder::Drafts) m_setUnsyncedDrafts.erase(strId);
    if (folder == EMailFolder::Outbox || folder == EMailFolder::SentItems) return m_ledger.Erase(strId);
    return {};
}

CResult<std::string> CMailStore::AddRaw(EMailFolder folder, const std::string& strBytes, bool bUnseen) {
    std::lock_guard lock(m_mutex);
    return Dir(folder).Add(strBytes, bUnseen, bUnseen ? "" : "S");
}

CResult<std::string> CMailStore::BeginSending(const std::string& strId) {
    std::lock_guard lock(m_mutex);
    CResult<std::string> rBytes = Dir(EMailFolder::Outbox).Read(strId);
    if (rBytes) m_setSending.insert(strId);
    return rBytes;
}

void CMailStore::EndSending(const std::string& strId) {
    std::lock_guard lock(m_mutex);
    m_setSending.erase(strId);
}

CResult<std::string> CMailStore::MoveToSent(const std::string& strId) {
    std::lock_guard lock(m_mutex);
    return Dir(EMailFolder::Outbox).MoveTo(strId, Dir(EMailFolder::SentItems), "S");
}

bool CMailStore::IsIn(EMailFolder folder, const std::string& strId) {
    std::lock_guard lock(m_mutex);
    return Dir(folder).Exists(strId);
}

CResult<> CMailStore::ClearSentCopy(const std::string& strId) {
    std::lock_guard lock(m_mutex);
    // What this process knows of the folder: no listing per message.
    if (!Dir(EMailFolder::SentItems).IsKnown(strId)) return {};
    return Dir(EMailFolder::SentItems).Remove(strId);
}

std::optional<std::string> CMailStore::QueuedFor(const CMailMessage& msg) {
    const auto strKey = CQueuedOccurrences::KeyOf(msg);
    if (!strKey) return std::nullopt;
    std::lock_guard lock(m_mutex);
    if (!m_occurrences.IsFilled()) FillOccurrences();
    return m_occurrences.Find(*strKey);
}

void CMailStore::FillOccurrences() {
    for (const EMailFolder folder : {EMailFolder::Outbox, EMailFolder::SentItems, EMailFolder::DeletedItems}) {
        for (const auto& strId : Dir(folder).List()) {
            // One that cannot be read now cannot be told from a message never sent.
            CResult<std::string> rHead = Dir(folder).ReadHead(strId, kOccurrenceHeadBytes);
            if (!rHead) continue;
            const CMailMessage msg = CMimeReader::ParseHeaderFields(*rHead);
            if (const auto strKey = CQueuedOccurrences::KeyOf(msg)) m_occurrences.Note(*strKey, msg.strMessageId);
        }
    }
    m_occurrences.SetFilled();
}

CResult<std::string> CMailStore::Queue(const CMailMessage& msg, const std::string& strBytes) {
    std::lock_guard lock(m_mutex);
    CResult<std::string> rId = Dir(EMailFolder::Outbox).Add(strBytes, false, FlagsFor(EMailFolder::Outbox, false));
    if (rId)
        if (const auto strKey = CQueuedOccurrences::KeyOf(msg)) m_occurrences.Note(*strKey, msg.strMessageId);
    return rId;
}

CResult<> CMailStore::CanStoreNow() {
    const std::string strProbe =
        Dir(EMailFolder::Outbox).Root() + "/tmp/.probe-" + std::to_string(static_cast<long>(::getpid()));
    CResult<> r = CFileOps::WriteNewSynced(strProbe, std::string(16 * 1024, '\n'));
    (void)::unlink(strProbe.c_str());  // also the part a failed write left
    return r;
}

CDeliveryRecord CMailStore::GetRecord(const std::string& strId) {
    std::lock_guard lock(m_mutex);
    return m_ledger.Get(strId);
}

CResult<> CMailStore::PutRecord(const std::string& strId, const CDeliveryRecord& rec) {
    std::lock_guard lock(m_mutex);
    return m_ledger.Put(strId, rec);
}

std::vector<std::string> CMailStore::StoredRecordIds() {
    std::lock_guard lock(m_mutex);
    return m_ledger.StoredIds();
}
