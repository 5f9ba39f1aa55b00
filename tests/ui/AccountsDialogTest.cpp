// The Accounts dialog: what it writes, how it warns, and its Test button.
#include <sys/stat.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cctype>
#include <filesystem>

#include "CAccountsDialog.h"
#include "CAccountsWriter.h"
#include "CDovecotServer.h"
#include "CEnvScope.h"
#include "CFakeKeyring.h"
#include "CSecurityNotice.h"
#include "CUiTestBase.h"
#include "Contains.h"

namespace fs = std::filesystem;

namespace {

class AccountsDialogTest : public CUiTestBase {
protected:
    // The dialogs made without a keyring of the test's own find no session
    // bus, so a developer's desktop keyring is never written.
    CEnvScope m_noBus{"DBUS_SESSION_BUS_ADDRESS", nullptr};
    CEnvScope m_noRuntimeBus{"XDG_RUNTIME_DIR", nullptr};
    std::string Path() const { return m_dir / "cfg/accounts.ini"; }
    static void Fill(CAccountsDialog& dlg, const std::string& strUrl, int nSecurity, const char* pszUser = "",
                     const char* pszPassword = "") {
        dlg.NameField()->setText("Zoë Sender");
        dlg.AddressField()->setText("zoe@example.org");
        dlg.SmtpUrlField()->setText(QString::fromStdString(strUrl));
        dlg.SecurityChoice()->setCurrentIndex(nSecurity);
        dlg.UserField()->setText(pszUser);
        dlg.PasswordField()->setText(pszPassword);
    }
    static std::string RunTest(CAccountsDialog& dlg) {
        dlg.TestButton()->click();
        auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (dlg.IsTesting() && std::chrono::steady_clock::now() < tEnd) Process();
        Process();
        return dlg.ResultLabel()->text().toStdString();
    }
};

}  // namespace

TEST_F(AccountsDialogTest, WritesAnAccountTheHostReadsWithAPrivatePasswordFileAndShowsProblems) {
    {
        CAccountsDialog dlg(Path());
        Fill(dlg, "smtp://mail.example.org:587", 0, "zoe", " secret with spaces ");
        dlg.ReceiveUrlField()->setText("imaps://mail.example.org");
        dlg.accept();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    auto r = CAccountsFile::Load(Path());
    ASSERT_TRUE(r.bFound);
    EXPECT_TRUE(r.vecErrors.empty()) << r.vecErrors.front();
    EXPECT_EQ(r.account.strName, "Zoë Sender");
    EXPECT_EQ(r.account.strAddress, "zoe@example.org");
    EXPECT_EQ(r.account.security, ESecurity::StartTls);
    EXPECT_EQ(r.account.strUser, "zoe");
    EXPECT_EQ(r.account.strPassword, " secret with spaces ");
    EXPECT_EQ(r.account.strReceiveUrl, "imaps://mail.example.org");
    struct stat st {};
    ASSERT_EQ(::stat((m_dir / "cfg/smtp-password").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(Contains(CTempDir::ReadFile(Path()), "secret")) << "the password stays out of accounts.ini";

    // Opened again, the dialog shows what was saved.
    {
        CAccountsDialog again(Path());
        EXPECT_EQ(again.UserField()->text(), "zoe");
        EXPECT_EQ(again.PasswordField()->text(), " secret with spaces ");
        EXPECT_EQ(again.SecurityChoice()->currentIndex(), 0);
    }

    // Problems are shown and the working file is not replaced.
    const std::string strBefore = CTempDir::ReadFile(Path());
    CAccountsDialog dlg(Path());
    dlg.AddressField()->setText("not an address");
    dlg.SmtpUrlField()->setText("http://mail.example.org");
    m_boxes.Expect(QMessageBox::Ok);
    dlg.accept();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_EQ(m_boxes.Seen()[0].icon, QMessageBox::Warning);
    const std::string& str2 = m_boxes.Seen()[0].strText;
    EXPECT_TRUE(Contains(str2, "not a valid mail address"));
    EXPECT_TRUE(Contains(str2, "must start with smtp://, smtps://"));
    EXPECT_FALSE(Contains(str2, "accounts.ini:")) << "no line numbers of a file the user never wrote";
    EXPECT_EQ(CTempDir::ReadFile(Path()), strBefore);
}

TEST_F(AccountsDialogTest, SecurityChoiceWarnsInAWholeSentenceAndMatchesTheUrl) {
    CAccountsDialog dlg(Path());
    dlg.show();
    Fill(dlg, "smtp://mail.example.org:465", 0);
    EXPECT_FALSE(dlg.SecurityWarning()->isVisible());
    dlg.SecurityChoice()->setCurrentIndex(1);
    EXPECT_EQ(dlg.SmtpUrlField()->text(), "smtps://mail.example.org:465");
    EXPECT_EQ(dlg.Account().security, ESecurity::Tls);
    dlg.SecurityChoice()->setCurrentIndex(2);
    EXPECT_TRUE(dlg.SecurityWarning()->isVisible());
    EXPECT_NE(dlg.SecurityWarning()->text().indexOf("password travel"), -1);
    dlg.SecurityChoice()->setCurrentIndex(0);
    EXPECT_EQ(dlg.SmtpUrlField()->text(), "smtp://mail.example.org:465");

    // The warning is a whole sentence, never cut.
    dlg.SmtpUrlField()->setText("smtp://mail.example.org:25");
    dlg.SecurityChoice()->setCurrentIndex(2);
    Process();
    QLabel* pWarning = dlg.SecurityWarning();
    ASSERT_TRUE(pWarning->isVisible());
    EXPECT_EQ(pWarning->text().toStdString(), CSecurityNotice::kText);
    EXPECT_TRUE(pWarning->wordWrap());
    const std::string strText = pWarning->text().toStdString();
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(strText.front())));
    EXPECT_EQ(strText.back(), '.');
    EXPECT_GE(pWarning->height(), pWarning->heightForWidth(pWarning->width()));
    EXPECT_TRUE(dlg.rect().contains(pWarning->geometry()));
    // A narrower window wraps it into more lines and is made taller for them.
    dlg.SecurityChoice()->setCurrentIndex(0);
    dlg.resize(380, dlg.height());
    Process();
    dlg.SecurityChoice()->setCurrentIndex(2);
    Process();
    EXPECT_GE(pWarning->height(), pWarning->heightForWidth(pWarning->width()));
    EXPECT_TRUE(dlg.rect().contains(pWarning->geometry()));
}

// Told once per server saved without encryption: not again on the next
// opening nor in a box after OK; again when the setting becomes insecure
// once more after a secure one.
TEST_F(AccountsDialogTest, TheSecurityWarningIsShownOnceForEachInsecureSetting) {
    auto fnOpenShowsWarning = [&] {
        CAccountsDialog dlg(Path());
        dlg.show();
        Process();
        return dlg.SecurityWarning()->isVisible();
    };
    auto fnSave = [&](int nSecurity, const char* pszUrl) {
        CAccountsDialog dlg(Path());
        dlg.show();
        Fill(dlg, pszUrl, nSecurity);
        const bool bShown = dlg.SecurityWarning()->isVisible();
        dlg.accept();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        return bShown;
    };
    EXPECT_TRUE(fnSave(2, "smtp://mail.example.org:25")) << "chosen: told";
    EXPECT_FALSE(fnOpenShowsWarning()) << "seen: not again";
    // The host's own note on the saved file is left out of its boxes.
    const auto loaded = CAccountsFile::Load(Path());
    const std::vector<std::string> vecMessages = {
        "accounts.ini:4: Security = none: mail and password travel unencrypted", "another problem"};
    EXPECT_EQ(CSecurityNotice(Path()).Unseen(vecMessages, loaded.account), std::vector<std::string>{"another problem"});
    EXPECT_FALSE(fnSave(0, "smtp://mail.example.org:587"));
    EXPECT_EQ(CSecurityNotice(Path()).Unseen(vecMessages, CAccountsFile::Load(Path()).account), vecMessages);
    EXPECT_TRUE(fnSave(2, "smtp://mail.example.org:25")) << "insecure again: told again";
    EXPECT_FALSE(fnOpenShowsWarning());
    // A file that was set insecure by hand for another server is news.
    WriteAccounts(
        "[Account]\nName = Zoë\nAddress = zoe@example.org\nSmtpUrl = smtp://other.example.org:25\n"
        "Security = none\n");
    fs::create_directories(fs::path(Path()).parent_path());
    fs::copy_file(m_dir / "accounts.ini", Path(), fs::copy_options::overwrite_existing);
    EXPECT_TRUE(fnOpenShowsWarning());
}

TEST_F(AccountsDialogTest, TestButtonReportsTheServersAnswer) {
    m_server.Start({.bStartTls = true, .strAuth = "zoe:right"});
    // The loopback server's certificate is self-made: the CA file typed into
    // the dialog makes it trusted.
    CAccountsDialog dlg(Path());
    Fill(dlg, "smtp://127.0.0.1:" + std::to_string(m_server.Port()), 0, "zoe", "right");
    dlg.CaFileField()->setText(QString::fromStdString(m_server.CertPath()));
    std::string str = RunTest(dlg);
    EXPECT_EQ(str.rfind("Sending: OK.", 0), 0u) << str;

    dlg.PasswordField()->setText("wrong");
    str = RunTest(dlg);
    EXPECT_EQ(str.rfind("Sending: FAILED.", 0), 0u) << str;
    EXPECT_TRUE(Contains(str, "535")) << "the server's refusal: " << str;
    EXPECT_TRUE(dlg.TestButton()->isEnabled());
    // OK after a failed test asks first; No keeps the dialog and the file.
    const std::string strBefore = CTempDir::ReadFile(Path());
    m_boxes.Expect(QMessageBox::No);
    dlg.accept();
    ASSERT_FALSE(m_boxes.Seen().empty());
    EXPECT_TRUE(Contains(m_boxes.Seen().back().strText, "535"));
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_EQ(CTempDir::ReadFile(Path()), strBefore);
    // A change makes the old answer stale: it goes, with the question.
    QTest::keyClick(dlg.PasswordField(), Qt::Key_Backspace);
    EXPECT_EQ(dlg.ResultLabel()->text(), "");
    m_boxes.Clear();

    // OK keeps the CA file with the account, and refuses one that is no
    // file of certificates.
    dlg.PasswordField()->setText("right");
    dlg.CaFileField()->setText(QString::fromStdString(m_dir / "cfg"));
    m_boxes.Expect(QMessageBox::Ok);
    dlg.accept();
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_TRUE(Contains(m_boxes.Seen()[0].strText, "CA file"));
    dlg.CaFileField()->setText(QString::fromStdString(m_server.CertPath()));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(CAccountsFile::Load(Path()).account.strCaFile, m_server.CertPath());
    EXPECT_EQ(CAccountsDialog(Path()).CaFileField()->text().toStdString(), m_server.CertPath());
}

TEST_F(AccountsDialogTest, TestButtonAlsoLogsInToTheReceivingServer) {
    CDovecotServer dovecot(m_dir / "dovecot");
    dovecot.Start();
    m_server.Start({});
    CAccountsDialog dlg(Path());
    Fill(dlg, "smtp://127.0.0.1:" + std::to_string(m_server.Port()), 2, CDovecotServer::kUser,
         CDovecotServer::kPassword);
    for (const std::string strScheme : {"imap", "pop3"}) {
        int nPort = strScheme == "imap" ? dovecot.ImapPort() : dovecot.Pop3Port();
        dlg.ReceiveUrlField()->setText(QString::fromStdString(strScheme + "://127.0.0.1:" + std::to_string(nPort)));
        std::string str = RunTest(dlg);
        EXPECT_TRUE(Contains(str, "\nReceiving: OK."));
        EXPECT_TRUE(Contains(str, strScheme == "imap" ? "* OK" : "+OK")) << "the greeting: " << str;
    }
    dlg.PasswordField()->setText("wrong");
    std::string str = RunTest(dlg);
    EXPECT_TRUE(Contains(str, "\nReceiving: FAILED."));
    EXPECT_TRUE(Contains(str, "-ERR")) << "the server's refusal: " << str;
}

TEST_F(AccountsDialogTest, ALockedKeyringKeepsItsPasswordUnlessANewOneIsTyped) {
    CFakeKeyring keyring;
    {
        CAccountsDialog dlg(Path(), nullptr, &keyring);
        Fill(dlg, "smtp://mail.example.org:587", 0, "zoe", "in the keyring");
        dlg.accept();
    }
    keyring.m_fault = CFakeKeyring::EFault::Locked;
    {
        CAccountsDialog dlg(Path(), nullptr, &keyring);
        EXPECT_EQ(dlg.PasswordField()->text(), "");
        const std::string strShown = dlg.ResultLabel()->text().toStdString();
        EXPECT_TRUE(Contains(strShown, "cannot be reached (the desktop keyring: the collection is locked)"));
        // Another field changed, the password left alone: the entry stays.
        dlg.NameField()->setText("Zoe Renamed");
        dlg.accept();
        ASSERT_EQ(dlg.result(), QDialog::Accepted);
    }
    keyring.m_fault = CFakeKeyring::EFault::None;
    EXPECT_EQ(keyring.m_mapEntries[Path()], "in the keyring");
    EXPECT_TRUE(Contains(CTempDir::ReadFile(Path()), "Name = Zoe Renamed\n"));
    EXPECT_TRUE(Contains(CTempDir::ReadFile(Path()), "PasswordStore = keyring\n"));

    keyring.m_fault = CFakeKeyring::EFault::Locked;
    {
        // Another user cannot borrow it.
        CAccountsDialog dlg(Path(), nullptr, &keyring);
        dlg.UserField()->setText("zed");
        m_boxes.Expect(QMessageBox::Ok);
        dlg.accept();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        ASSERT_EQ(m_boxes.Seen().size(), 1u);
        EXPECT_TRUE(Contains(m_boxes.Seen()[0].strText, "Enter the password for the user zed."));

        // A new password, with the keyring still locked, goes to the file.
        dlg.UserField()->setText("zoe");
        dlg.PasswordField()->setText("typed again");
        dlg.accept();
        ASSERT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(CTempDir::ReadFile(m_dir / "cfg/smtp-password"), "typed again\n");
    EXPECT_TRUE(Contains(CTempDir::ReadFile(Path()), "PasswordFile = smtp-password\n"));
}
