#pragma once
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "CAccount.h"
#include "CMailStore.h"

// Fetches new messages into Inbox over IMAP (new UIDs of INBOX) or POP3
// (new UIDLs; messages are left on the server). What was fetched is
// remembered in <profile>/.receive so nothing is fetched twice.
class CMailReceiver {
public:
    CMailReceiver(CAccount account, CMailStore& store);
    // Appends the Inbox ids of what arrived; returns the problem, if any,
    // after keeping whatever was fetched before it.
    CResult<> FetchNew(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort);

private:
    CResult<> FetchImap(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort);
    CResult<> FetchPop3(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort);
    // Keeps one fetched message in Inbox and remembers its UID or UIDL.
    CResult<> Keep(const std::string& strMessage, const std::string& strSeen, std::vector<std::string>& vecNewIds);
    // What the server sent back.
    CResult<std::string> Perform(const std::string& strUrl, const std::string& strCustom);
    // A missing or foreign record is an empty one: everything is new. One
    // that cannot be read or is damaged is the problem, and nothing is fetched.
    CResult<> LoadState();
    CResult<> SaveState();
    std::string BaseUrl() const;

    CAccount m_account;
    CMailStore& m_store;
    std::string m_strStatePath;
    std::string m_strUidValidity;
    std::set<std::string> m_setSeen;  // UIDs (IMAP) or UIDLs (POP3)
};
