#include "CAccountsWriter.h"

#include <cctype>

#include "CFileOps.h"
#include "CFilePasswordStore.h"

namespace {

const char* SecurityName(ESecurity security) {
    switch (security) {
        case ESecurity::StartTls: return "starttls";
        case ESecurity::Tls: return "tls";
        case ESecurity::None: return "none";
    }
    return "starttls";
}

// "path:12: text" -> "text": the lines of a generated file mean nothing to the user.
std::string WithoutPosition(const std::string& str, const std::string& strPath) {
    if (str.compare(0, strPath.size() + 1, strPath + ":") != 0) return str;
    size_t n = str.find(": ", strPath.size());
    return n == std::string::npos ? str : str.substr(n + 2);
}

}  // namespace

std::string CAccountsWriter::MatchScheme(const std::string& strUrl, ESecurity security) {
    const size_t n = strUrl.find("://");
    if (security == ESecurity::None || n == std::string::npos) return strUrl;
    std::string strScheme = strUrl.substr(0, n);
    for (char& c : strScheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (strScheme != "smtp" && strScheme != "smtps") return strUrl;
    return (security == ESecurity::Tls ? "smtps" : "smtp") + strUrl.substr(n);
}

std::string CAccountsWriter::Compose(const CAccount& acc) {
    std::string str = "; Written by the mail host (the Accounts dialog or \"mailhost account set\").\n[Account]\n";
    auto Line = [&](const char* pszKey, const std::string& strValue) {
        if (!strValue.empty()) str += std::string(pszKey) + " = " + strValue + "\n";
    };
    Line("Name", acc.strName);
    Line("Address", acc.strAddress);
    Line("SmtpUrl", acc.strSmtpUrl);
    Line("Security", SecurityName(acc.security));
    Line("User", acc.strUser);
    if (!acc.strUser.empty() && acc.passwordStore == EPasswordStore::Keyring) Line("PasswordStore", "keyring");
    else if (!acc.strUser.empty()) Line("PasswordFile", kPasswordFileName);
    Line("CaFile", acc.strCaFile);
    Line("ReceiveUrl", acc.strReceiveUrl);
    return str;
}

CResult<> CAccountsWriter::Save(const std::string& strPath, const CAccount& acc, IPasswordStore* pKeyring) {
    std::string strProblems;
    auto Problem = [&](const std::string& s) { strProblems += (strProblems.empty() ? "" : "\n") + s; };
    auto Done = [&]() -> CResult<> {
        if (!strProblems.empty()) return CProblem(strProblems);
        return {};
    };
    const std::pair<const char*, const std::string*> kFields[] = {{"The name", &acc.strName},
                                                                  {"The address", &acc.strAddress},
                                                                  {"The SMTP URL", &acc.strSmtpUrl},
                                                                  {"The user name", &acc.strUser},
                                                                  {"The password", &acc.strPassword},
                                                                  {"The CA file", &acc.strCaFile},
                                                                  {"The receiving URL", &acc.strReceiveUrl}};
    for (const auto& [pszWhat, pValue] : kFields)
        if (pValue->find_first_of("\r\n") != std::string::npos) Problem(std::string(pszWhat) + " must be one line.");
    const bool bKeepKeyring = acc.passwordStore == EPasswordStore::Keyring && acc.strPassword.empty();
    if (!acc.strUser.empty() && acc.strPassword.empty() && !bKeepKeyring)
        Problem("Enter the password for the user " + acc.strUser + ".");
    if (acc.strUser.empty() && !acc.strPassword.empty()) Problem("Enter the user name that goes with the password.");
    if (!strProblems.empty()) return Done();

    // Checked as the reader will check it, minus the password file that
    // does not exist yet.
    CAccount accNoLogin = acc;
    accNoLogin.strUser.clear();
    auto check = CAccountsFile::Parse(Compose(accNoLogin), strPath);
    for (const auto& s : check.vecErrors) Problem(WithoutPosition(s, strPath));
    if (!strProblems.empty()) return Done();

    std::string strDir = CFileOps::DirName(strPath);
    QUILLORY_TRY(CFileOps::MakeDirs(strDir));
    CFilePasswordStore file(strDir + "/" + kPasswordFileName);
    const std::string strKey = CAccountsFile::KeyringKey(strPath);
    CAccount accWritten = acc;
    accWritten.passwordStore = EPasswordStore::File;
    if (acc.strUser.empty()) {
        accWritten.strPassword.clear();
    } else if (bKeepKeyring) {
        accWritten.passwordStore = EPasswordStore::Keyring;
    } else if (pKeyring && pKeyring->Write(strKey, acc.strPassword)) {
        accWritten.passwordStore = EPasswordStore::Keyring;
    } else {
        // No keyring answered: the file is the place that always works.
        QUILLORY_TRY(file.Write({}, acc.strPassword));
    }
    QUILLORY_TRY(CFileOps::ReplaceFile(strPath, Compose(accWritten)));
    // Only after accounts.ini points elsewhere: the old secret has no
    // business staying on disk.
    if (accWritten.passwordStore != EPasswordStore::File || acc.strUser.empty()) QUILLORY_TRY(file.Remove({}));
    // Best effort: without a login nothing reads the entry any more, and a
    // keyring that cannot be reached now cannot be mended from here.
    if (acc.strUser.empty() && pKeyring) (void)pKeyring->Remove(strKey);
    auto written = CAccountsFile::Load(strPath);
    for (const auto& s : written.vecErrors) Problem(s);
    return Done();
}
