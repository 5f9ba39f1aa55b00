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
    std::string FetchNew(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort);

private:
    std::string FetchImap(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort);
    std::string FetchPop3(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort);
    std::string Perform(const std::string& strUrl, const std::string& strCustom, std::string& strOut);
    std::string LoadState();
    std::string SaveState();
    std::string BaseUrl() const;

    CAccount m_account;
    CMailStore& m_store;
    std::string m_strStatePath;
    std::string m_strUidValidity;
    std::set<std::string> m_setSeen;  // UIDs (IMAP) or UIDLs (POP3)
};
