#pragma once
#include <string>
#include <vector>

enum class ESecurity { StartTls, Tls, None };

// The one sending (and optionally receiving) account.
struct CAccount {
    std::string strName;
    std::string strAddress;
    std::string strSmtpUrl;  // smtp://host:port or smtps://host:port
    ESecurity security = ESecurity::StartTls;
    std::string strUser;
    std::string strPassword;  // read from PasswordFile
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
    static CReport Load(const std::string& strPath);
    static CReport Parse(const std::string& strText, const std::string& strPath);
};
