// The accounts file: what it holds and every problem it can have, by line.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "CAccount.h"
#include "CTempDir.h"
#include "Contains.h"
#include "Joined.h"

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
    EXPECT_EQ(Joined(r.vecErrors) + Joined(r.vecWarnings), "");
    EXPECT_EQ(r.account.strName, "Zoë Ångström");
    EXPECT_EQ(r.account.strAddress, "zoe@example.org");
    EXPECT_EQ(r.account.security, ESecurity::StartTls);
    EXPECT_EQ(r.account.strPassword, "päss wörd");
    EXPECT_EQ(r.account.strCaFile, dir / "ca.pem");

    r = CAccountsFile::Load(dir / "none.ini");
    EXPECT_FALSE(r.bFound) << "a missing file is no account, not an error";
    EXPECT_TRUE(r.vecErrors.empty());
}

TEST(AccountsFile, EveryProblemIsReportedWithItsLine) {
    const std::string str = Joined(CAccountsFile::Parse("Name = early\n[Account]\nAddress = not-an-address\n"
                                                        "SmtpUrl = http://x\nSecurity = maybe\nColour = blue\n"
                                                        "just words\nName = a\nName = b\n[Other]\n"
                                                        "ReceiveUrl = imap://:99999\n",
                                                        "/cfg/accounts.ini")
                                       .vecErrors);
    for (const char* psz :
         {"/cfg/accounts.ini:1: \"Name\" outside the [Account] section", ":3: not a valid mail address",
          ":4: \"http://x\" must start with smtp://, smtps://", ":5: Security must be starttls, tls or none",
          ":6: unknown key \"Colour\"", ":7: expected Key = Value", ":9: \"Name\" given twice (first on line 8)",
          ":10: unknown section [Other]", ":11: \"ReceiveUrl\" outside"})
        EXPECT_TRUE(Contains(str, psz)) << psz;
}

// The URL, the security and the password file must agree; each row's
// lines follow "[Account]" and are parsed as dir/a.ini.
TEST(AccountsFile, UrlSecurityAndPasswordFileMustAgree) {
    CTempDir dir;
    CTempDir::WriteFile(dir / "pw", "secret\n");
    const std::string strPw = dir / "pw";
    const struct {
        const char* pszName;
        unsigned nMode;  // of the password file
        std::string strLines, strError, strWarning;
        const char* pszPassword;
    } kCases[] = {
        {"implicit TLS", 0600, "Address = a@b.c\nSmtpUrl = smtps://h:465\n", "", "", ""},
        {"smtps with starttls", 0600, "Address = a@b.c\nSmtpUrl = smtps://h\nSecurity = starttls\n",
         "a.ini:4: smtps:// means TLS", "", ""},
        {"port 0", 0600, "Address = a@b.c\nSmtpUrl = smtp://h:0\n", "a.ini:3: \"smtp://h:0\" has no valid port", "",
         ""},
        {"no encryption", 0600, "Address = a@b.c\nSmtpUrl = smtp://h\nSecurity = none\n", "",
         "a.ini:4: Security = none", ""},
        {"no address", 0600, "SmtpUrl = smtp://user@h\n", "Address is missing", "", ""},
        {"a user in the URL", 0600, "Address = a@b.c\nSmtpUrl = smtp://user@h\n",
         "a.ini:3: \"smtp://user@h\": put the user name in User", "", ""},
        {"not UTF-8", 0600, "Address = a@b.c\nSmtpUrl = smtp://h\nName = bad \xC3\x28 utf8\n",
         "a.ini:4: not valid UTF-8", "", ""},
        {"a private password file", 0600,
         "Address = a@b.c\nSmtpUrl = smtp://h\nUser = u\nPasswordFile = " + strPw + "\n", "", "", "secret"},
        {"a password file others read", 0644,
         "Address = a@b.c\nSmtpUrl = smtp://h\nUser = u\nPasswordFile = " + strPw + "\n",
         ":5: password file " + strPw + " has mode 0644; others can read it. Make it 0600 (chmod 600", "", ""},
        {"no password file", 0600, "Address = a@b.c\nSmtpUrl = smtp://h\nUser = u\nPasswordFile = gone\n",
         ":5: password file " + (dir / "gone") + ": No such file", "", ""},
        {"a user without a password", 0600, "Address = a@b.c\nSmtpUrl = smtp://h\nUser = u\n",
         ":4: User is given but PasswordFile is missing", "", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        ::chmod(strPw.c_str(), c.nMode);
        const auto r = CAccountsFile::Parse("[Account]\n" + c.strLines, dir / "a.ini");
        const std::string strErrors = Joined(r.vecErrors);
        EXPECT_TRUE(c.strError.empty() ? strErrors.empty() : Contains(strErrors, c.strError)) << strErrors;
        EXPECT_TRUE(c.strWarning.empty() || Contains(Joined(r.vecWarnings), c.strWarning));
        EXPECT_EQ(r.account.strPassword, c.pszPassword);
    }
    EXPECT_EQ(CAccountsFile::Parse("[Account]\nAddress = a@b.c\nSmtpUrl = smtps://h:465\n", "a.ini").account.security,
              ESecurity::Tls);
}
