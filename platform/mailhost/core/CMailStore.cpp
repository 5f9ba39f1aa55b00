#include "CMailStore.h"

#include <cstdlib>
#include <iterator>

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

std::string CMailStore::DefaultProfileDir() {
    if (const char* psz = std::getenv("MAILHOST_PROFILE"); psz && *psz) return psz;
    std::string strHome = EnvOr("HOME", "/tmp");
    return EnvOr("XDG_DATA_HOME", strHome + "/.local/share") + "/mailhost";
}

const char* CMailStore::FolderName(EMailFolder folder) {
    const auto nIndex = static_cast<size_t>(folder);
    return nIndex < std::size(kFolderNames) ? kFolderNames[nIndex] : kFolderNames[0];
}

std::string CMailStore::Open() {
    std::lock_guard lock(m_mutex);
    for (const auto& dir : m_arrDirs) {
        if (std::string str = dir.Create(); !str.empty()) return str;
    }
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

bool CMailStore::IsBusy(EMailFolder folder, const std::string& strId) const {
    return folder == EMailFolder::Outbox && m_setSending.count(strId) != 0;
}

std::string CMailStore::Save(EMailFolder folder, const CMailMessage& msg, std::string& strId) {
    std::string strBytes;
    if (std::string str = CMimeWriter::Compose(msg, {}, strBytes); !str.empty()) return str;
    std::lock_guard lock(m_mutex);
    if (strId.empty()) return Dir(folder).Add(strBytes, false, FlagsFor(folder, msg.bSent), strId);
    if (!CMaildir::IsValidId(strId)) return "not a message id: \"" + strId + "\"";
    if (IsBusy(folder, strId)) return "the message is being sent and cannot be changed now";
    if (std::string str = Dir(folder).Replace(strId, strBytes); !str.empty()) return str;
    // An edited Outbox message is a new attempt: forget an earlier refusal.
    if (folder == EMailFolder::Outbox) return m_ledger.Erase(strId);
    return {};
}

std::vector<std::string> CMailStore::List(EMailFolder folder) {
    std::lock_guard lock(m_mutex);
    return Dir(folder).List();
}

std::string CMailStore::Load(EMailFolder folder, const std::string& strId, CMailMessage& msg) {
    std::string strBytes;
    bool bSent = false;
    {
        std::lock_guard lock(m_mutex);
        if (!CMaildir::IsValidId(strId)) return "not a message id: \"" + strId + "\"";
        if (std::string str = Dir(folder).Read(strId, strBytes); !str.empty()) return str;
        bSent = WasSent(folder, strId);
    }
    if (std::string str = CMimeReader::Parse(strBytes, msg); !str.empty())
        return std::string("message ") + strId + " in " + FolderName(folder) + ": " + str;
    msg.bSent = bSent;
    return {};
}

std::string CMailStore::Move(EMailFolder from, const std::string& strId, EMailFolder to, std::string& strNewId) {
    std::lock_guard lock(m_mutex);
    if (!CMaildir::IsValidId(strId)) return "not a message id: \"" + strId + "\"";
    if (IsBusy(from, strId)) return "the message is being sent and cannot be moved now";
    if (from == to) {
        if (!Dir(from).Exists(strId)) return std::string("no message ") + strId + " in " + FolderName(from);
        strNewId = strId;
        return {};
    }
    bool bSent = WasSent(from, strId);
    if (std::string str = Dir(from).MoveTo(strId, Dir(to), FlagsFor(to, bSent), strNewId); !str.empty()) return str;
    if (from == EMailFolder::Outbox) return m_ledger.Erase(strId);
    return {};
}

std::string CMailStore::Delete(EMailFolder folder, const std::string& strId) {
    std::lock_guard lock(m_mutex);
    if (!CMaildir::IsValidId(strId)) return "not a message id: \"" + strId + "\"";
    if (IsBusy(folder, strId)) return "the message is being sent and cannot be deleted now";
    if (std::string str = Dir(folder).Remove(strId); !str.empty()) return str;
    if (folder == EMailFolder::Outbox || folder == EMailFolder::SentItems) return m_ledger.Erase(strId);
    return {};
}

std::string CMailStore::AddRaw(EMailFolder folder, const std::string& strBytes, bool bUnseen, std::string& strId) {
    std::lock_guard lock(m_mutex);
    return Dir(folder).Add(strBytes, bUnseen, bUnseen ? "" : "S", strId);
}

bool CMailStore::BeginSending(const std::string& strId, std::string& strBytes) {
    std::lock_guard lock(m_mutex);
    if (!Dir(EMailFolder::Outbox).Read(strId, strBytes).empty()) return false;
    m_setSending.insert(strId);
    return true;
}

void CMailStore::EndSending(const std::string& strId) {
    std::lock_guard lock(m_mutex);
    m_setSending.erase(strId);
}

std::string CMailStore::MoveToSent(const std::string& strId, std::string& strNewId) {
    std::lock_guard lock(m_mutex);
    return Dir(EMailFolder::Outbox).MoveTo(strId, Dir(EMailFolder::SentItems), "S", strNewId);
}

CDeliveryRecord CMailStore::GetRecord(const std::string& strId) {
    std::lock_guard lock(m_mutex);
    return m_ledger.Get(strId);
}

std::string CMailStore::PutRecord(const std::string& strId, const CDeliveryRecord& rec) {
    std::lock_guard lock(m_mutex);
    return m_ledger.Put(strId, rec);
}

std::vector<std::string> CMailStore::StoredRecordIds() {
    std::lock_guard lock(m_mutex);
    return m_ledger.StoredIds();
}
