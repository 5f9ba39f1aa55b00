#pragma once
#include <string>
#include <vector>

#include "CResult.h"

class IPasswordStore;

enum class ESecurity { StartTls, Tls, None };

// Where the login password is kept; accounts.ini says "PasswordStore = keyring"
// for the second, and names a PasswordFile for the first.
enum class EPasswordStore {
    File,     // the private file PasswordFile names
    Keyring,  // the desktop keyring, under the accounts file's path
};

// The one sending (and optionally receiving) account.
struct CAccount {
    std::string strName;
    std::string strAddress;
    std::string strSmtpUrl;  // smtp://host:port or smtps://host:port
    ESecurity security = ESecurity::StartTls;
    std::string strUser;
    EPasswordStore passwordStore = EPasswordStore::File;
    std::string strPassword;  // from PasswordFile, or the keyring when it was asked
    std::string strCaFile;    // absolute, or empty
    std::string strReceiveUrl;
    std::string strSourcePath;  // the accounts file it came from

    // "Name <address>" for a missing From header.
    std::string Sender() const { return strName.empty() ? strAddress : "\"" + strName + "\" <" + strAddress + ">"; }
};

// Reads accounts.ini. Problems carry the file name and line number.
class CAccountsFile {
public:
    // What the file holds: every problem is listed, not only the first,
    // so the user can mend them all at once.
    struct CReport {
        bool bFound = false;  // false: no accounts file at all
        CAccount account;
        std::vector<std::string> vecErrors;  // non-empty: the account is unusable
        std::vector<std::string> vecWarnings;
    };
    // $MAILHOST_ACCOUNTS, else $XDG_CONFIG_HOME/mailhost/accounts.ini, else ~/.config/...
    static std::string DefaultPath();
    // The password of an account that keeps it in the keyring is left empty.
    static CReport Load(const std::string& strPath);
    // As Load, with a password kept in the keyring read from pKeyring
    // (nullptr: this session has no keyring). A password the keyring cannot
    // give is an error that tells the user how to put it in the file.
    static CReport LoadWithPassword(const std::string& strPath, IPasswordStore* pKeyring);
    // The name of the account's entry in the keyring: the accounts file it
    // belongs to, so two profiles never share one.
    static std::string KeyringKey(const std::string& strPath) { return strPath; }
    static CReport Parse(const std::string& strText, const std::string& strPath);
    // Done when strPath is a readable file with at least one certificate in
    // PEM form, the only form the TLS library reads a CA file in.
    static CResult<> CheckCaFile(const std::string& strPath);
};
