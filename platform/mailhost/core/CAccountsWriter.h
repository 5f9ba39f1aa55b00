#pragma once
#include <string>

#include "CAccount.h"
#include "CResult.h"

// Writes the account in the form CAccountsFile reads, with the password in
// a file of its own beside it that only the user can read (0600 from its
// creation on). Nothing is written unless the whole account is valid, so a
// mistake never replaces a working set-up.
class CAccountsWriter {
public:
    static constexpr const char* kPasswordFileName = "smtp-password";
    // The problem lists every problem, one per line, in words about the
    // account's fields (no file line numbers).
    static CResult<> Save(const std::string& strPath, const CAccount& account);
    // The accounts.ini text for the account (PasswordFile named when a
    // user is given).
    static std::string Compose(const CAccount& account);
    // An smtp:// or smtps:// URL with the scheme the security asks for
    // (smtps:// for TLS from the start, smtp:// for STARTTLS), the rest
    // kept; with no encryption, or another scheme, the URL as it is.
    // e.g. ("smtp://mail.example.org:465", Tls) -> "smtps://mail.example.org:465"
    static std::string MatchScheme(const std::string& strUrl, ESecurity security);
};
