#pragma once
#include <QDialog>
#include <QFutureWatcher>
#include <QThreadPool>
#include <memory>
#include <string>

#include "CAccount.h"
#include "CAccountProbe.h"
#include "IPasswordStore.h"

class QLineEdit;
class QComboBox;
class QLabel;
class QPushButton;

// The sending (and receiving) account: shows what accounts.ini holds, tests
// the servers with what is typed, and on OK writes accounts.ini and puts
// the password in the desktop keyring (the private file when no keyring
// answers). The host reads the account when it starts.
class CAccountsDialog : public QDialog {
public:
    // pKeyring: where the password goes first; nullptr: the desktop keyring.
    CAccountsDialog(std::string strAccountsPath, QWidget* pParent = nullptr, IPasswordStore* pKeyring = nullptr);
    ~CAccountsDialog() override;

    // The account as the fields give it.
    CAccount Account() const;
    // Connects with the typed values, in the background; the answer shows
    // in ResultLabel() when IsTesting() turns false.
    void OnTest();
    bool IsTesting() const;
    // Writes the account; on a problem shows it and stays open.
    void accept() override;

    QLineEdit* NameField() const { return m_pName; }
    QLineEdit* AddressField() const { return m_pAddress; }
    QLineEdit* SmtpUrlField() const { return m_pSmtpUrl; }
    QComboBox* SecurityChoice() const { return m_pSecurity; }
    QLineEdit* UserField() const { return m_pUser; }
    QLineEdit* PasswordField() const { return m_pPassword; }
    QLineEdit* ReceiveUrlField() const { return m_pReceiveUrl; }
    // A private CA's certificates (PEM), checked on top of the system's.
    QLineEdit* CaFileField() const { return m_pCaFile; }
    QLabel* SecurityWarning() const { return m_pWarning; }
    QLabel* ResultLabel() const { return m_pResult; }
    QPushButton* TestButton() const { return m_pTest; }

private:
    void Load();
    void LoadKeyringPassword(const std::string& strUser);
    void OnSecurityChanged();
    void ShowWarning(bool bShow);
    void OnTestDone();
    void OnBrowseCaFile();
    // A field changed: the last test's answer no longer applies.
    void OnEdited();

    std::string m_strPath;
    std::unique_ptr<IPasswordStore> m_pOwnKeyring;
    IPasswordStore* m_pKeyring = nullptr;
    // The saved password is in a keyring that could not be asked, so the
    // field is empty; left empty, for the same user, the entry is kept.
    bool m_bPasswordUnread = false;
    std::string m_strLoadedUser;
    bool m_bSaving = false;
    std::string
        m_strFailedTest;  // the answer of the last test when it failed, until a field changes  // a slow keyring runs events while OK is being handled
    QLineEdit* m_pName = nullptr;
    QLineEdit* m_pAddress = nullptr;
    QLineEdit* m_pSmtpUrl = nullptr;
    QComboBox* m_pSecurity = nullptr;
    QLineEdit* m_pUser = nullptr;
    QLineEdit* m_pPassword = nullptr;
    QLineEdit* m_pReceiveUrl = nullptr;
    QLineEdit* m_pCaFile = nullptr;
    QLabel* m_pWarning = nullptr;
    QLabel* m_pResult = nullptr;
    QPushButton* m_pTest = nullptr;
    bool m_bLoaded = false;      // the fields hold the saved account
    bool m_bWarningDue = false;  // the insecure setting is news to the user
    // The test's own worker, so that its thread (and the TLS library's
    // per-thread state) is gone with the dialog, not at program exit.
    QThreadPool m_pool;
    QFutureWatcher<CAccountProbe::CReport> m_watcher;
};
