#pragma once
#include <string>
#include <vector>

#include "CAccount.h"

// Whether the user has been told that an account sends without encryption.
// The notice is given once per server set up that way and remembered in
// the host's settings ("settings.ini" beside the accounts file); saving a
// secure setting forgets it, so changing back to an insecure one tells
// again. Example: smtp://mail.example.org saved with Security none is told
// once; OK again, or the next start, says nothing more.
class CSecurityNotice {
public:
    // The sentence the user reads.
    static constexpr const char* kText =
        "Without encryption, your mail and your password travel over the network where anyone on the way can "
        "read them. Use this only for a server on this computer or on a network you trust.";

    explicit CSecurityNotice(const std::string& strAccountsPath);

    // True when acc is insecure and the user has not yet seen the notice for it.
    bool IsDue(const CAccount& acc) const;
    // After acc was saved: remembers the notice as seen when acc is
    // insecure, forgets it when acc is secure.
    void Saved(const CAccount& acc) const;
    // The host's messages about its configuration without the one about an
    // insecure account the user has already seen the notice for.
    std::vector<std::string> Unseen(const std::vector<std::string>& vecMessages, const CAccount& acc) const;

private:
    std::string Seen() const;

    std::string m_strSettingsPath;
};
