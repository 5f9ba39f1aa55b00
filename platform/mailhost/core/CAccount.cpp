#include "CAccount.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "CFileOps.h"
#include "CFilePasswordStore.h"
#include "CMimeWriter.h"
#include "Utf8.h"

namespace {

std::string Trim(const std::string& str) {
    size_t b = str.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = str.find_last_not_of(" \t\r");
    return str.substr(b, e - b + 1);
}

std::string Lower(std::string str) {
    std::transform(str.begin(), str.end(), str.begin(), [](unsigned char c) { return std::tolower(c); });
    return str;
}

// scheme://host[:port][/...] with a host and a valid port.
CResult<> CheckUrl(const std::string& strUrl, const std::vector<std::string>& vecSchemes) {
    size_t nSep = strUrl.find("://");
    std::string strScheme = nSep == std::string::npos ? "" : Lower(strUrl.substr(0, nSep));
    if (std::find(vecSchemes.begin(), vecSchemes.end(), strScheme) == vecSchemes.end()) {
        std::string strList;
        for (const auto& s : vecSchemes) strList += (strList.empty() ? "" : ", ") + s + "://";
        return CProblem("\"" + strUrl + "\" must start with " + strList);
    }
    std::string strRest = strUrl.substr(nSep + 3);
    std::string strAuthority = strRest.substr(0, strRest.find('/'));
    if (strAuthority.find('@') != std::string::npos)
        return CProblem("\"" + strUrl + "\": put the user name in User, not in the URL");
    size_t nColon = strAuthority.rfind(':');
    std::string strHost = strAuthority.substr(0, nColon);
    if (strHost.empty()) return CProblem("\"" + strUrl + "\" has no host name");
    if (nColon != std::string::npos) {
        std::string strPort = strAuthority.substr(nColon + 1);
        bool bDigits = !strPort.empty() && strPort.size() <= 5 &&
                       std::all_of(strPort.begin(), strPort.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (!bDigits || std::atoi(strPort.c_str()) < 1 || std::atoi(strPort.c_str()) > 65535)
            return CProblem("\"" + strUrl + "\" has no valid port number");
    }
    return {};
}

std::string Resolve(const std::string& strPath, const std::string& strBaseDir) {
    if (strPath.empty() || strPath[0] == '/') return strPath;
    return strBaseDir + "/" + strPath;
}

}  // namespace

std::string CAccountsFile::DefaultPath() {
    if (const char* psz = std::getenv("MAILHOST_ACCOUNTS"); psz && *psz) return psz;
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    const char* pszHome = std::getenv("HOME");
    std::string strBase = pszConfig && *pszConfig ? pszConfig : std::string(pszHome ? pszHome : "/tmp") + "/.config";
    return strBase + "/mailhost/accounts.ini";
}

CAccountsFile::CReport CAccountsFile::Load(const std::string& strPath) {
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0) {
        CReport result;
        result.bFound = errno != ENOENT;
        if (result.bFound) result.vecErrors.push_back(CFileOps::ErrnoText("cannot read", strPath));
        return result;
    }
    CResult<std::string> rText = CFileOps::ReadFile(strPath, 1 << 20);
    if (!rText) {
        CReport result;
        result.bFound = true;
        result.vecErrors.push_back(rText.Problem());
        return result;
    }
    return Parse(*rText, strPath);
}

CAccountsFile::CReport CAccountsFile::LoadWithPassword(const std::string& strPath, IPasswordStore* pKeyring) {
    CReport result = Load(strPath);
    if (!result.vecErrors.empty() || result.account.passwordStore != EPasswordStore::Keyring) return result;
    const std::string strWayOut = "; run `mailhost account set --password-stdin` to store it in the file";
    if (!pKeyring) {
        result.vecErrors.push_back(
            strPath + ": the password is in the desktop keyring, which this session cannot reach" + strWayOut);
        return result;
    }
    CResult<std::optional<std::string>> rPassword = pKeyring->Read(KeyringKey(strPath));
    if (!rPassword)
        result.vecErrors.push_back(strPath +
                                   ": the password is in the desktop keyring, which this session cannot reach (" +
                                   rPassword.Problem() + ")" + strWayOut);
    else if (!*rPassword)
        result.vecErrors.push_back(strPath + ": the desktop keyring has no password for this account" + strWayOut +
                                   ", or enter it in the Accounts dialog");
    else result.account.strPassword = **rPassword;
    return result;
}

CAccountsFile::CReport CAccountsFile::Parse(const std::string& strText, const std::string& strPath) {
    static const std::vector<std::string> s_vecKeys = {
        "Name", "User", "Address", "SmtpUrl", "Security", "PasswordFile", "CaFile", "ReceiveUrl", "PasswordStore"};
    CReport result;
    result.bFound = true;
    CAccount& acc = result.account;
    acc.strSourcePath = strPath;
    auto Error = [&](int nLine, const std::string& str) {
        result.vecErrors.push_back(strPath + ":" + std::to_string(nLine) + ": " + str);
    };

    std::map<std::string, std::pair<std::string, int>> mapValues;  // key -> value, line
    bool bInAccount = false, bSeenAccount = false;
    int nLine = 0;
    size_t nPos = strText.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (nPos <= strText.size()) {
        size_t nEnd = strText.find('\n', nPos);
        if (nEnd == std::string::npos) nEnd = strText.size();
        std::string strLine = Trim(strText.substr(nPos, nEnd - nPos));
        nPos = nEnd + 1;
        ++nLine;
        if (!IsUtf8(strLine)) {
            Error(nLine, "not valid UTF-8");
            continue;
        }
        if (strLine.empty() || strLine[0] == ';' || strLine[0] == '#') continue;
        if (strLine[0] == '[') {
            std::string strSection = strLine.back() == ']' ? Trim(strLine.substr(1, strLine.size() - 2)) : "";
            if (Lower(strSection) != "account") {
                Error(nLine, "unknown section " + strLine + " (only [Account] is known)");
                bInAccount = false;
            } else if (bSeenAccount) {
                Error(nLine, "a second [Account] section; only one account is supported");
                bInAccount = false;
            } else {
                bInAccount = bSeenAccount = true;
            }
            continue;
        }
        size_t nEq = strLine.find('=');
        if (nEq == std::string::npos) {
            Error(nLine, "expected Key = Value, found \"" + strLine + "\"");
            continue;
        }
        std::string strKey = Trim(strLine.substr(0, nEq)), strValue = Trim(strLine.substr(nEq + 1));
        auto it = std::find_if(s_vecKeys.begin(), s_vecKeys.end(),
                               [&](const std::string& k) { return Lower(k) == Lower(strKey); });
        if (!bInAccount) {
            Error(nLine, "\"" + strKey + "\" outside the [Account] section");
        } else if (it == s_vecKeys.end()) {
            Error(nLine, "unknown key \"" + strKey + "\"");
        } else if (mapValues.count(*it)) {
            Error(nLine, "\"" + *it + "\" given twice (first on line " + std::to_string(mapValues[*it].second) + ")");
        } else {
            mapValues[*it] = {strValue, nLine};
        }
    }
    if (!bSeenAccount) {
        result.vecErrors.push_back(strPath + ": no [Account] section");
        return result;
    }

    auto Value = [&](const char* psz) { return mapValues.count(psz) ? mapValues[psz].first : std::string(); };
    auto LineOf = [&](const char* psz) { return mapValues.count(psz) ? mapValues[psz].second : nLine; };
    acc.strName = Value("Name");
    acc.strAddress = Value("Address");
    acc.strSmtpUrl = Value("SmtpUrl");
    acc.strUser = Value("User");
    acc.strReceiveUrl = Value("ReceiveUrl");
    std::string strBaseDir = CFileOps::DirName(strPath);

    if (acc.strAddress.empty()) Error(LineOf("Address"), "Address is missing");
    else if (CResult<std::string> rBare = CMimeWriter::ParseMailbox(acc.strAddress); !rBare)
        Error(LineOf("Address"), rBare.Problem());
    else acc.strAddress = *rBare;

    bool bSmtps = Lower(acc.strSmtpUrl).rfind("smtps://", 0) == 0;
    if (acc.strSmtpUrl.empty()) Error(LineOf("SmtpUrl"), "SmtpUrl is missing");
    else if (CResult<> r = CheckUrl(acc.strSmtpUrl, {"smtp", "smtps"}); !r) Error(LineOf("SmtpUrl"), r.Problem());

    std::string strSecurity = Lower(Value("Security"));
    acc.security = bSmtps ? ESecurity::Tls : ESecurity::StartTls;
    if (strSecurity == "starttls") acc.security = ESecurity::StartTls;
    else if (strSecurity == "tls") acc.security = ESecurity::Tls;
    else if (strSecurity == "none") acc.security = ESecurity::None;
    else if (!strSecurity.empty())
        Error(LineOf("Security"), "Security must be starttls, tls or none, not \"" + Value("Security") + "\"");
    if (!acc.strSmtpUrl.empty() && bSmtps != (acc.security == ESecurity::Tls) && !strSecurity.empty())
        Error(LineOf("Security"), bSmtps ? "smtps:// means TLS from the start; use Security = tls"
                                         : "Security = tls needs an smtps:// SmtpUrl");
    if (acc.security == ESecurity::None)
        result.vecWarnings.push_back(strPath + ":" + std::to_string(LineOf("Security")) +
                                     ": Security = none: mail and password travel unencrypted");

    std::string strStore = Lower(Value("PasswordStore"));
    if (strStore == "keyring") acc.passwordStore = EPasswordStore::Keyring;
    else if (!strStore.empty() && strStore != "file")
        Error(LineOf("PasswordStore"), "PasswordStore must be file or keyring, not \"" + Value("PasswordStore") + "\"");
    std::string strPasswordFile = Value("PasswordFile");
    if (acc.passwordStore == EPasswordStore::Keyring) {
        // One place for the password, so nobody wonders which one is used.
        if (!strPasswordFile.empty())
            Error(LineOf("PasswordFile"), "PasswordFile is given but PasswordStore = keyring keeps the password there");
        if (acc.strUser.empty()) Error(LineOf("PasswordStore"), "PasswordStore = keyring is given but User is missing");
    } else if (!strPasswordFile.empty()) {
        std::string strFull = Resolve(strPasswordFile, strBaseDir);
        CResult<std::optional<std::string>> rPassword = CFilePasswordStore(strFull).Read({});
        if (!rPassword) Error(LineOf("PasswordFile"), rPassword.Problem());
        else if (!*rPassword) Error(LineOf("PasswordFile"), "password file " + strFull + ": " + std::strerror(ENOENT));
        else acc.strPassword = **rPassword;
        if (acc.strUser.empty()) Error(LineOf("PasswordFile"), "PasswordFile is given but User is missing");
    } else if (!acc.strUser.empty()) {
        Error(LineOf("User"), "User is given but PasswordFile is missing");
    }

    if (std::string strCa = Value("CaFile"); !strCa.empty()) {
        acc.strCaFile = Resolve(strCa, strBaseDir);
        if (CResult<> r = CheckCaFile(acc.strCaFile); !r) Error(LineOf("CaFile"), r.Problem());
    }
    if (!acc.strReceiveUrl.empty()) {
        if (CResult<> r = CheckUrl(acc.strReceiveUrl, {"imap", "imaps", "pop3", "pop3s"}); !r)
            Error(LineOf("ReceiveUrl"), r.Problem());
    }
    return result;
}

CResult<> CAccountsFile::CheckCaFile(const std::string& strPath) {
    // Looked at before it is opened: a FIFO or a device would hang the reader.
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0) return CProblem(CFileOps::ErrnoText("CA file", strPath));
    if (!S_ISREG(st.st_mode)) return CProblem("CA file " + strPath + ": not a regular file");
    constexpr size_t kMaxBytes = 16 << 20;
    CResult<std::string> rText = CFileOps::ReadFile(strPath, kMaxBytes);
    if (!rText) return CProblem("CA file: " + rText.Problem());
    if (rText->find("-----BEGIN CERTIFICATE-----") == std::string::npos)
        return CProblem("CA file " + strPath + ": holds no certificate in PEM form (\"-----BEGIN CERTIFICATE-----\")");
    return {};
}
