#include "CAccountsWriter.h"

#include <unistd.h>

#include <cctype>

#include "CFileOps.h"

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
    if (!acc.strUser.empty()) Line("PasswordFile", kPasswordFileName);
    Line("CaFile", acc.strCaFile);
    Line("ReceiveUrl", acc.strReceiveUrl);
    return str;
}

CResult<> CAccountsWriter::Save(const std::string& strPath, const CAccount& acc) {
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
    if (!acc.strUser.empty() && acc.strPassword.empty())
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
    if (!acc.strUser.empty())
        QUILLORY_TRY(CFileOps::ReplaceFile(strDir + "/" + kPasswordFileName, acc.strPassword + "\n", 0600));
    QUILLORY_TRY(CFileOps::ReplaceFile(strPath, Compose(acc)));
    // No login any more: the old secret has no business staying on disk.
    if (acc.strUser.empty()) ::unlink((strDir + "/" + kPasswordFileName).c_str());
    auto written = CAccountsFile::Load(strPath);
    for (const auto& s : written.vecErrors) Problem(s);
    return Done();
}
