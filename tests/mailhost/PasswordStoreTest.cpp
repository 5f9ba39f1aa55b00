// Where the account's password is kept: the private file, the keyring (a
// fake here, to make it fail), and how saving moves it between the two.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "CAccount.h"
#include "CAccountsWriter.h"
#include "CFakeKeyring.h"
#include "CFilePasswordStore.h"
#include "CTempDir.h"
#include "Contains.h"
#include "Joined.h"

namespace {

namespace fs = std::filesystem;

const char* const kWayOut = "run `mailhost account set --password-stdin` to store it in the file";

unsigned Mode(const std::string& strPath) {
    struct stat st {};
    return ::stat(strPath.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

class PasswordStoreTest : public ::testing::Test {
protected:
    std::string Ini() const { return m_dir / "cfg/accounts.ini"; }
    std::string PasswordFile() const { return m_dir / "cfg/smtp-password"; }
    static CAccount Account(const std::string& strPassword) {
        CAccount acc;
        acc.strName = "Zoe";
        acc.strAddress = "zoe@example.org";
        acc.strSmtpUrl = "smtp://mail.example.org:587";
        acc.strUser = "zoe";
        acc.strPassword = strPassword;
        return acc;
    }
    std::string KeyringEntry() const {
        auto it = m_keyring.m_mapEntries.find(Ini());
        return it == m_keyring.m_mapEntries.end() ? "(none)" : it->second;
    }

    CTempDir m_dir;
    CFakeKeyring m_keyring;
};

}  // namespace

TEST_F(PasswordStoreTest, FileStoreKeepsTheFirstLineForTheUserAlone) {
    CFilePasswordStore file(PasswordFile());
    ASSERT_TRUE(file.Read({}));
    EXPECT_FALSE(*file.Read({})) << "no file: no password, not a problem";

    ASSERT_TRUE(file.Write({}, " two words "));
    EXPECT_EQ(Mode(PasswordFile()), 0600u);
    EXPECT_EQ(CTempDir::ReadFile(PasswordFile()), " two words \n");
    CTempDir::WriteFile(PasswordFile(), "first\r\nsecond\n");
    EXPECT_EQ(file.Read({})->value_or("(none)"), "first");

    ::chmod(PasswordFile().c_str(), 0640);
    const auto rOpen = file.Read({});
    ASSERT_FALSE(rOpen);
    EXPECT_TRUE(Contains(rOpen.Problem(), "has mode 0640; others can read it"));

    EXPECT_TRUE(file.Remove({}));
    EXPECT_FALSE(fs::exists(PasswordFile()));
    EXPECT_TRUE(file.Remove({})) << "removing what is not there is done too";
}

TEST_F(PasswordStoreTest, AccountsFileSaysWhereThePasswordIs) {
    struct {
        const char* pszName;
        const char* pszLines;  // after Address and SmtpUrl, from line 4 on
        const char* pszError;  // empty: none
    } const kCases[] = {
        {"keyring with a user", "User = zoe\nPasswordStore = Keyring\n", ""},
        {"keyring and a file too", "User = zoe\nPasswordStore = keyring\nPasswordFile = pw\n",
         ":6: PasswordFile is given but PasswordStore = keyring keeps the password there"},
        {"keyring without a user", "PasswordStore = keyring\n",
         ":4: PasswordStore = keyring is given but User is missing"},
        {"an unknown store", "User = zoe\nPasswordStore = vault\nPasswordFile = pw\n",
         ":5: PasswordStore must be file or keyring, not \"vault\""},
        {"the file, said outright", "User = zoe\nPasswordStore = file\nPasswordFile = pw\n", ""},
    };
    CTempDir::WriteFile(m_dir / "pw", "secret\n");
    ::chmod((m_dir / "pw").c_str(), 0600);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        const auto r = CAccountsFile::Parse(
            std::string("[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h\n") + c.pszLines, m_dir / "a.ini");
        if (*c.pszError) {
            EXPECT_TRUE(Contains(Joined(r.vecErrors), c.pszError));
        } else {
            EXPECT_EQ(Joined(r.vecErrors), "");
        }
    }
    const auto rKeyring = CAccountsFile::Parse(
        "[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h\nUser = zoe\nPasswordStore = keyring\n", m_dir / "a.ini");
    EXPECT_EQ(rKeyring.account.passwordStore, EPasswordStore::Keyring);
    EXPECT_EQ(rKeyring.account.strPassword, "") << "reading the file alone never asks the keyring";
}

TEST_F(PasswordStoreTest, ThePasswordIsReadFromTheKeyringOrTheUserIsToldWhatToDo) {
    fs::create_directories(m_dir / "cfg");
    CTempDir::WriteFile(Ini(), "[Account]\nAddress = a@b.c\nSmtpUrl = smtp://h\nUser = zoe\nPasswordStore = keyring\n");
    const std::string strUnreachable = ": the password is in the desktop keyring, which this session cannot reach";
    using EFault = CFakeKeyring::EFault;
    // A session without a bus, with no keyring at all, or with a locked or empty one.
    const struct {
        const char* pszName;
        bool bKeyring;
        EFault fault;
        const char* pszEntry;   // nullptr: none
        std::string strErrors;  // all of them; without a final newline, where they start
        std::string strPassword;
    } kCases[] = {
        {"an entry", true, EFault::None, "from the keyring", "", "from the keyring"},
        {"no keyring", false, EFault::None, "x", Ini() + strUnreachable + "; " + kWayOut + "\n", ""},
        {"no bus", true, EFault::NoBus, "x", Ini() + strUnreachable + " (no session bus); " + kWayOut + "\n", ""},
        {"locked", true, EFault::Locked, "x",
         Ini() + strUnreachable + " (the desktop keyring: the collection is locked); " + kWayOut + "\n", ""},
        {"no entry", true, EFault::None, nullptr,
         Ini() + ": the desktop keyring has no password for this account; " + kWayOut, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.pszName);
        m_keyring.m_fault = c.fault;
        m_keyring.m_mapEntries.clear();
        if (c.pszEntry) m_keyring.m_mapEntries[Ini()] = c.pszEntry;
        const auto r = CAccountsFile::LoadWithPassword(Ini(), c.bKeyring ? &m_keyring : nullptr);
        const std::string strErrors = Joined(r.vecErrors);
        const bool bWhole = c.strErrors.empty() || c.strErrors.ends_with('\n');
        EXPECT_EQ(bWhole ? strErrors : strErrors.substr(0, c.strErrors.size()), c.strErrors);
        EXPECT_EQ(r.account.strPassword, c.strPassword);
    }

    // A password in the file never asks the keyring.
    m_keyring.m_fault = EFault::None;
    m_keyring.m_nCalls = 0;
    ASSERT_TRUE(CAccountsWriter::Save(Ini(), Account("in the file")));
    EXPECT_EQ(CAccountsFile::LoadWithPassword(Ini(), &m_keyring).account.strPassword, "in the file");
    EXPECT_EQ(m_keyring.m_nCalls, 0);
}

TEST_F(PasswordStoreTest, AKeyringThatDoesNotAnswerLeavesThePasswordInTheFile) {
    for (CFakeKeyring::EFault fault :
         {CFakeKeyring::EFault::NoBus, CFakeKeyring::EFault::Locked, CFakeKeyring::EFault::RefusesWrites}) {
        SCOPED_TRACE(static_cast<int>(fault));
        m_keyring.m_fault = fault;
        ASSERT_TRUE(CAccountsWriter::Save(Ini(), Account("typed")));
        ASSERT_TRUE(CAccountsWriter::Save(Ini(), Account("new one"), &m_keyring));
        EXPECT_EQ(CTempDir::ReadFile(PasswordFile()), "new one\n");
        EXPECT_EQ(Mode(PasswordFile()), 0600u);
        EXPECT_TRUE(Contains(CTempDir::ReadFile(Ini()), "PasswordFile = smtp-password\n"));
        EXPECT_EQ(KeyringEntry(), "(none)");
        EXPECT_EQ(CAccountsFile::Load(Ini()).account.strPassword, "new one");
    }
}

TEST_F(PasswordStoreTest, AnAccountChangedWithoutItsPasswordKeepsTheKeyringEntry) {
    ASSERT_TRUE(CAccountsWriter::Save(Ini(), Account("kept"), &m_keyring));
    // As `account set --name` does on a host that cannot reach the keyring.
    CAccount acc = CAccountsFile::Load(Ini()).account;
    ASSERT_EQ(acc.passwordStore, EPasswordStore::Keyring);
    acc.strName = "Zoe Renamed";
    const int nCallsBefore = m_keyring.m_nCalls;
    ASSERT_TRUE(CAccountsWriter::Save(Ini(), acc));
    EXPECT_EQ(m_keyring.m_nCalls, nCallsBefore);
    EXPECT_TRUE(Contains(CTempDir::ReadFile(Ini()), "Name = Zoe Renamed\n"));
    EXPECT_EQ(CAccountsFile::LoadWithPassword(Ini(), &m_keyring).account.strPassword, "kept");
    EXPECT_FALSE(fs::exists(PasswordFile()));

    // A password in the file is never assumed: without one, it must be typed.
    acc.passwordStore = EPasswordStore::File;
    const std::string strBefore = CTempDir::ReadFile(Ini());
    const CResult<> r = CAccountsWriter::Save(Ini(), acc);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.Problem(), "Enter the password for the user zoe.");
    EXPECT_EQ(CTempDir::ReadFile(Ini()), strBefore);
}

// An invalid account writes nothing anywhere; no login removes the
// password from both places.
TEST_F(PasswordStoreTest, NoLoginRemovesThePasswordFromBothPlacesAndAnInvalidAccountWritesNothing) {
    CAccount bad = Account("secret");
    bad.strAddress = "not an address";
    ASSERT_FALSE(CAccountsWriter::Save(Ini(), bad, &m_keyring));
    EXPECT_EQ(m_keyring.m_nCalls, 0);
    EXPECT_FALSE(fs::exists(Ini()));
    EXPECT_FALSE(fs::exists(PasswordFile()));

    ASSERT_TRUE(CAccountsWriter::Save(Ini(), Account("gone soon"), &m_keyring));
    CTempDir::WriteFile(PasswordFile(), "stale\n");
    CAccount acc = Account("");
    acc.strUser.clear();
    ASSERT_TRUE(CAccountsWriter::Save(Ini(), acc, &m_keyring));
    EXPECT_EQ(KeyringEntry(), "(none)");
    EXPECT_FALSE(fs::exists(PasswordFile()));
    EXPECT_FALSE(Contains(CTempDir::ReadFile(Ini()), "Password"));
}
