#pragma once
#include <string>

#include "CAccount.h"
#include "CResult.h"
#include "IPasswordStore.h"

// Writes the account in the form CAccountsFile reads, with the password in
// the desktop keyring when one is handed in and takes it, else in a file of
// its own beside accounts.ini that only the user can read (0600 from its
// creation on). Nothing is written unless the whole account is valid, so a
// mistake never replaces a working set-up.
class CAccountsWriter {
public:
    static constexpr const char* kPasswordFileName = "smtp-password";
    // The problem lists every problem, one per line, in words about the
    // account's fields (no file line numbers).
    // The password goes where it can be kept best:
    // - typed (not empty): into pKeyring; when there is none or it refuses,
    //   into the file. Once it is in the keyring the file is removed, so an
    //   old password does not stay on disk.
    // - empty, with account.passwordStore Keyring: the keyring's entry is
    //   kept as it is (a change of the name, say, without the password).
    // - no user: the file is removed and the keyring's entry too.
    static CResult<> Save(const std::string& strPath, const CAccount& account, IPasswordStore* pKeyring = nullptr);
    // The accounts.ini text for the account (PasswordFile named, or
    // PasswordStore = keyring, when a user is given).
    static std::string Compose(const CAccount& account);
    // An smtp:// or smtps:// URL with the scheme the security asks for
    // (smtps:// for TLS from the start, smtp:// for STARTTLS), the rest
    // kept; with no encryption, or another scheme, the URL as it is.
    // e.g. ("smtp://mail.example.org:465", Tls) -> "smtps://mail.example.org:465"
    static std::string MatchScheme(const std::string& strUrl, ESecurity security);
};
