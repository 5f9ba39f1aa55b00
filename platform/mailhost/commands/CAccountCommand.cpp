#include "CAccountCommand.h"

#include <signal.h>

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <ostream>
#include <utility>

#include "CAccountProbe.h"
#include "CAccountsWriter.h"
#include "CArgs.h"
#include "CCurlAccount.h"
#include "CHostPaths.h"
#include "CKeyringPasswordStore.h"
#include "CMailStore.h"
#include "CProfileLock.h"
#include "MailhostExitStatus.h"

namespace {

const char* const kHelp =
    "usage: mailhost account show\n"
    "       mailhost account set [--name NAME] [--address ADDRESS] [--smtp URL]\n"
    "                            [--security starttls|smtps|none] [--user USER]\n"
    "                            [--password-stdin] [--receive URL] [--ca-file PATH]\n"
    "       mailhost account test\n"
    "\n"
    "show  prints the account in accounts.ini ($MAILHOST_ACCOUNTS, else\n"
    "      $XDG_CONFIG_HOME/mailhost/accounts.ini) and what is wrong with it.\n"
    "set   changes the options given and keeps the others, as the Accounts dialog\n"
    "      does; writes nothing unless the whole account is valid. The password is\n"
    "      the first line of standard input; it is kept in smtp-password beside\n"
    "      accounts.ini, readable only by you. A password the Accounts dialog put in\n"
    "      the desktop keyring stays there until a new one is given. --user \"\"\n"
    "      removes the login, and --receive \"\" the receiving server. The SMTP\n"
    "      URL's scheme follows the security: smtps:// for smtps, smtp:// for\n"
    "      starttls. --ca-file names a file of certificate authorities in PEM form\n"
    "      that the servers' certificates are checked against on top of the\n"
    "      system's (a private CA); --ca-file \"\" drops it. Without one,\n"
    "      $CURL_CA_BUNDLE, else $SSL_CERT_FILE, replaces the system's bundle, and\n"
    "      $SSL_CERT_DIR its folder. A headless host running on the profile with\n"
    "      this accounts file is told to read the account again.\n"
    "test  connects to the sending server, and to the receiving one when there is\n"
    "      one, with the saved account, and prints what each server answered.\n"
    "\n"
    "exit status: 0 done (test: every configured server answered), 1 usage,\n"
    "2 no account or an invalid one, 3 a server refused or could not be reached\n"
    "(set: the running host could not be told; the account is saved all the same).\n"
    "\n"
    "example:\n"
    "  printf '%s\\n' \"$PASSWORD\" | mailhost account set --name \"Zoe Example\" \\\n"
    "      --address zoe@example.org --smtp smtp://mail.example.org:587 \\\n"
    "      --security starttls --user zoe --password-stdin\n"
    "  mailhost account test\n";

// The command line's words for the security, read and written by this one
// table; the file says "tls" for smtps.
constexpr std::pair<ESecurity, const char*> kSecurityWords[] = {
    {ESecurity::StartTls, "starttls"}, {ESecurity::Tls, "smtps"}, {ESecurity::None, "none"}};

const char* SecurityWord(ESecurity security) {
    for (const auto& [e, psz] : kSecurityWords)
        if (e == security) return psz;
    return "starttls";
}

int Show(const std::string& strPath, std::ostream& out, std::ostream& err) {
    const CAccountsFile::CReport report = CAccountsFile::Load(strPath);
    if (!report.bFound) {
        err << "mailhost: no account is set up in " << strPath << "\n";
        return kExitData;
    }
    const CAccount& acc = report.account;
    auto Line = [&out](const char* pszKey, const std::string& strValue) {
        out << pszKey << std::string(10 - std::string(pszKey).size(), ' ') << (strValue.empty() ? "-" : strValue)
            << "\n";
    };
    Line("file:", strPath);
    Line("name:", acc.strName);
    Line("address:", acc.strAddress);
    Line("smtp:", acc.strSmtpUrl);
    Line("security:", SecurityWord(acc.security));
    Line("user:", acc.strUser);
    Line("password:", acc.passwordStore == EPasswordStore::Keyring ? "(in the desktop keyring)"
                      : acc.strPassword.empty()                    ? ""
                                                                   : "(set)");
    Line("receive:", acc.strReceiveUrl);
    const std::optional<CCurlAccount::CTrust> trust = CCurlAccount::Trust(acc);
    const bool bFromEnvironment = trust && trust->source == CCurlAccount::ESource::Environment;
    if (!trust || trust->strCaFile.empty()) Line("ca file:", "(the system's)");
    else if (!bFromEnvironment) Line("ca file:", trust->strCaFile + " (on top of the system's)");
    else Line("ca file:", trust->strCaFile + " (from " + trust->strVariable + ", instead of the system's)");
    if (bFromEnvironment && !trust->strCaDir.empty()) Line("ca dir:", trust->strCaDir + " (from $SSL_CERT_DIR)");
    for (const auto& str : report.vecWarnings) err << "mailhost: warning: " << str << "\n";
    // The account's own CaFile is checked with the rest of the account.
    if (bFromEnvironment && !trust->strCaFile.empty())
        if (CResult<> r = CAccountsFile::CheckCaFile(trust->strCaFile); !r)
            err << "mailhost: warning: " << trust->strVariable << ": " << r.Problem() << "\n";
    for (const auto& str : report.vecErrors) err << "mailhost: " << str << "\n";
    return report.vecErrors.empty() ? kExitOk : kExitData;
}

// A headless host on the profile reads the account again on SIGHUP; one
// with windows takes it from its Accounts dialog or when it starts. A host
// that reads another accounts file is left alone.
int TellRunningHost(const std::string& strPath, std::ostream& out, std::ostream& err) {
    const std::optional<CProfileLock::CHolder> holder = CProfileLock::Holder(CMailStore::DefaultProfileDir());
    if (!holder) return kExitOk;
    const std::string strHost = "the running host (pid " + std::to_string(holder->pid) + ")";
    if (!holder->strAccountsPath.empty() && !CHostPaths::SamePath(holder->strAccountsPath, strPath)) {
        out << strHost << " uses " << holder->strAccountsPath << ", not this file; it was not told\n";
        return kExitOk;
    }
    if (holder->strMode != "headless") {
        err << "mailhost: " << strHost << " reads the account when it starts; restart it to use this one\n";
        return kExitOk;
    }
    if (holder->pid <= 0 || ::kill(holder->pid, SIGHUP) != 0) {
        err << "mailhost: " << strHost << " could not be told to read the account again: "
            << (holder->pid <= 0 ? "its pid is unknown" : std::strerror(errno)) << "; restart it\n";
        return kExitHost;
    }
    out << strHost << " reads the account again\n";
    return kExitOk;
}

int Set(const std::string& strPath, CArgs& args, std::istream& in, std::ostream& out, std::ostream& err) {
    // What the dialog would show when it opens: the file's values, as far
    // as they could be read.
    CAccount acc = CAccountsFile::Load(strPath).account;
    if (auto v = args.Value("--name")) acc.strName = *v;
    if (auto v = args.Value("--address")) acc.strAddress = *v;
    if (auto v = args.Value("--smtp")) acc.strSmtpUrl = *v;
    if (auto v = args.Value("--receive")) acc.strReceiveUrl = *v;
    // Named from where the command runs, kept whole: the host reads it
    // from its own folder.
    if (auto v = args.Value("--ca-file")) acc.strCaFile = v->empty() ? *v : CHostPaths::Absolute(*v);
    if (auto v = args.Value("--user")) {
        // Another user's password is no use for this one.
        if (*v != acc.strUser) {
            acc.strPassword.clear();
            acc.passwordStore = EPasswordStore::File;
        }
        acc.strUser = *v;
    }
    const std::optional<std::string> security = args.Value("--security");
    const bool bPasswordStdin = args.Flag("--password-stdin");
    if (auto strProblem = args.Problem()) {
        err << "mailhost: account set: " << *strProblem << "\n";
        return kExitUsage;
    }
    if (security) {
        const auto* pWord = std::find_if(std::begin(kSecurityWords), std::end(kSecurityWords),
                                         [&](const auto& word) { return *security == word.second; });
        if (pWord == std::end(kSecurityWords)) {
            err << "mailhost: account set: --security must be starttls, smtps or none, not \"" << *security << "\"\n";
            return kExitUsage;
        }
        acc.security = pWord->first;
    }
    if (bPasswordStdin) {
        std::string strLine;
        if (!std::getline(in, strLine) && strLine.empty()) {
            err << "mailhost: account set: --password-stdin: nothing on standard input\n";
            return kExitUsage;
        }
        if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
        acc.strPassword = strLine;  // spaces may belong to a password
    }
    acc.strSmtpUrl = CAccountsWriter::MatchScheme(acc.strSmtpUrl, acc.security);
    if (CResult<> r = CAccountsWriter::Save(strPath, acc); !r) {
        err << "mailhost: the account was not saved:\n" << r.Problem() << "\n";
        return kExitData;
    }
    out << "saved " << strPath << "\n";
    if (acc.security == ESecurity::None)
        err << "mailhost: warning: without encryption your mail and your password travel over the network "
               "readable by anyone on the way\n";
    return TellRunningHost(strPath, out, err);
}

int Test(const std::string& strPath, std::ostream& out, std::ostream& err) {
    // The keyring answers through an event loop, which wants the
    // application object the commands otherwise do without.
    int argc = 1;
    char szName[] = "mailhost";
    char* argv[] = {szName, nullptr};
    const QCoreApplication app(argc, argv);
    CKeyringPasswordStore keyring;
    const CAccountsFile::CReport report = CAccountsFile::LoadWithPassword(strPath, &keyring);
    if (!report.bFound) {
        err << "mailhost: no account is set up in " << strPath << "\n";
        return kExitData;
    }
    if (!report.vecErrors.empty()) {
        for (const auto& str : report.vecErrors) err << "mailhost: " << str << "\n";
        return kExitData;
    }
    const CAccountProbe::CReport probe = CAccountProbe::Run(report.account);
    out << probe.Text() << "\n";
    return probe.AllAnswered() ? kExitOk : kExitHost;
}

}  // namespace

int CAccountCommand::Run(const std::vector<std::string>& vecArgs, std::istream& in, std::ostream& out,
                         std::ostream& err) {
    CArgs args(vecArgs.empty() ? vecArgs : std::vector<std::string>(vecArgs.begin() + 1, vecArgs.end()));
    const std::string strCommand = vecArgs.empty() ? "" : vecArgs.front();
    if (strCommand == "--help" || args.Flag("--help")) {
        out << kHelp;
        return kExitOk;
    }
    const std::string strPath = CAccountsFile::DefaultPath();
    if (strCommand == "set") return Set(strPath, args, in, out, err);
    if (strCommand != "show" && strCommand != "test") {
        err << "mailhost: account: " << (strCommand.empty() ? "a command is missing" : "unknown command " + strCommand)
            << "\n"
            << kHelp;
        return kExitUsage;
    }
    if (auto strProblem = args.Problem()) {
        err << "mailhost: account " << strCommand << ": " << *strProblem << "\n";
        return kExitUsage;
    }
    return strCommand == "show" ? Show(strPath, out, err) : Test(strPath, out, err);
}
