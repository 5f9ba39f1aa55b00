#include <sys/stat.h>

#include <gtest/gtest.h>

#include "CAccount.h"
#include "CTempDir.h"
#include "Contains.h"

namespace {

std::string Joined(const std::vector<std::string>& vec) {
    std::string str;
    for (const auto& s : vec) str += s + "\n";
    return str;
}

}  // namespace

TEST(AccountsFile, FullAccountWithRelativePasswordAndCaFiles) {
    CTempDir dir;
    CTempDir::WriteFile(dir / "pw", "päss wörd\n");
    ::chmod((dir / "pw").c_str(), 0600);
    CTempDir::WriteFile(dir / "ca.pem", "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n");
    CTempDir::WriteFile(dir / "accounts.ini",
                        "\xEF\xBB\xBF; my account\n[Account]\nName = Zoë Ångström\naddress = zoe@example.org\n"
                        "SmtpUrl = smtp://mail.example.org:587\nUser = zoe\nPasswordFile = pw\nCaFile = ca.pem\n"
                        "ReceiveUrl = imaps://mail.example.org\n");
    auto r = CAccountsFile::Load(dir / "accounts.ini");
    ASSERT_TRUE(r.bFound);
    EXPECT_EQ(Joined(r.vecErrors), "");
    EXPECT_EQ(r.account.strName, "Zoë Ångström");
    EXPECT_EQ(r.account.strAddress, "zoe@example.org");
    EXPECT_EQ(r.account.security, ESecurity::StartTls);
    EXPECT_EQ(r.account.strPassword, "päss wörd");
    EXPECT_EQ(r.account.strCaFile, dir / "ca.pem");
    EXPECT_TRUE(r.vecWarnings.empty());

    r = CAccountsFile::Load(dir / "none.ini");
    EXPECT_FALSE(r.bFound) << "a missing file is no account, not an error";
    EXPECT_TRUE(r.vecErrors.empty());
}

TEST(AccountsFile, EveryProblemIsReportedWithItsLine) {
    auto r = CAccountsFile::Parse(
        "Name = early\n[Account]\nAddress = not-an-address\nSmtpUrl = http://x\n"
        "Security = maybe\nColour = blue\njust words\nName = a\nName = b\n[Other]\n"
        "ReceiveUrl = imap://:99999\n",
        "/cfg/accounts.ini");
    std::string str = Joined(r.vecErrors);
    EXPECT_TRUE(Contains(str, "/cfg/accounts.ini:1: \"Name\" outside the [Account] section"));
    EXPECT_TRUE(Contains(str, ":3: not a valid mail address"));
    EXPECT_TRUE(Contains(str, ":4: \"http://x\" must start with smtp://, smtps://"));
    EXPECT_TRUE(Contains(str, ":5: Security must be starttls, tls or none"));
    EXPECT_TRUE(Contains(str, ":6: unknown key \"Colour\""));
    EXPECT_TRUE(Contains(str, ":7: expected Key = Value"));
    EXPECT_TRUE(Contains(str, ":9: \"Name\" given twice (first on line 8)"));
    EXPECT_TRUE(Contains(str, ":10: unknown section [Other]"));
    EXPECT_TRUE(Contains(str, ":11: \"ReceiveUrl\" outside"));
}

TEST(AccountsFile, UrlAndSecurityMustAgree) {
    auto r = CAccountsFile::Parse("[Account]\nAddress = a@b.c\nSmtpUrl = smtps://h:465\n", "a.ini");
    EXPECT_TRUE(r.vecErrors.empty());
    EXPECT_EQ(r.account.security, ESecurity::Tls);
    r = CAccountsFile::Parse("[Account]\nAddress = a@b.c\nSmtpUrl = smtps://h\nSecurity = starttls\n", "a.ini");
    EXPECT_TRUE(Contains(Joined(r.vecErrors), "a.ini:4: smtps:// means TLS"));
    r = CAccountsFile::Parse("[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h:0\n", "a.ini");
    EXPECT_TRUE(Contains(Joined(r.vecErrors), "a.ini:3: \"smtp://h:0\" has no valid port"));
    r = CAccountsFile::Parse("[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h\nSecurity = none\n", "a.ini");
    EXPECT_TRUE(r.vecErrors.empty());
    EXPECT_TRUE(Contains(Joined(r.vecWarnings), "a.ini:4: Security = none"));
    r = CAccountsFile::Parse("[Account]\nSmtpUrl = smtp://user@h\n", "a.ini");
    EXPECT_TRUE(Contains(Joined(r.vecErrors), "Address is missing"));
    EXPECT_TRUE(Contains(Joined(r.vecErrors), "a.ini:2: \"smtp://user@h\": put the user name in User"));
    r = CAccountsFile::Parse("[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h\nName = bad \xC3\x28 utf8\n", "a.ini");
    EXPECT_TRUE(Contains(Joined(r.vecErrors), "a.ini:4: not valid UTF-8"));
}

TEST(AccountsFile, PasswordFileMustBePrivateAndPresent) {
    CTempDir dir;
    CTempDir::WriteFile(dir / "pw", "secret\n");
    ::chmod((dir / "pw").c_str(), 0644);
    std::string strIni =
        "[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h\nUser = u\nPasswordFile = " + (dir / "pw") + "\n";
    auto r = CAccountsFile::Parse(strIni, dir / "a.ini");
    std::string str = Joined(r.vecErrors);
    EXPECT_TRUE(Contains(str, ":5: password file " + (dir / "pw") + " has mode 0644"));
    EXPECT_TRUE(Contains(str, "chmod 600"));
    EXPECT_EQ(r.account.strPassword, "");

    ::chmod((dir / "pw").c_str(), 0600);
    r = CAccountsFile::Parse(strIni, dir / "a.ini");
    EXPECT_TRUE(r.vecErrors.empty()) << Joined(r.vecErrors);
    EXPECT_EQ(r.account.strPassword, "secret");

    r = CAccountsFile::Parse("[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h\nUser = u\nPasswordFile = gone\n",
                             dir / "a.ini");
    EXPECT_TRUE(Contains(Joined(r.vecErrors), ":5: password file " + (dir / "gone") + ": No such file"));
    r = CAccountsFile::Parse("[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h\nUser = u\n", dir / "a.ini");
    EXPECT_TRUE(Contains(Joined(r.vecErrors), ":4: User is given but PasswordFile is missing"));
}
