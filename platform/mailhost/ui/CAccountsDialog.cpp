#include "CAccountsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include <QtConcurrent/QtConcurrent>

#include "CAccountsWriter.h"
#include "CHostMessage.h"
#include "CKeyringPasswordStore.h"
#include "CSecurityNotice.h"
#include "LineField.h"

namespace {

// The combo's rows, in order.
constexpr ESecurity kSecurities[] = {ESecurity::StartTls, ESecurity::Tls, ESecurity::None};

std::string Text(const QLineEdit* p) { return p->text().trimmed().toStdString(); }

}  // namespace

CAccountsDialog::CAccountsDialog(std::string strAccountsPath, QWidget* pParent, IPasswordStore* pKeyring)
    : QDialog(pParent), m_strPath(std::move(strAccountsPath)), m_pKeyring(pKeyring) {
    if (!m_pKeyring) {
        m_pOwnKeyring = std::make_unique<CKeyringPasswordStore>();
        m_pKeyring = m_pOwnKeyring.get();
    }
    setObjectName("accounts");
    setWindowTitle("Accounts");
    auto* pLayout = new QVBoxLayout(this);
    auto* pForm = new QFormLayout;
    m_pName = AddLineField(*pForm, "Your &name:");
    m_pAddress = AddLineField(*pForm, "E-mail &address:");
    m_pAddress->setPlaceholderText("name@example.org");
    m_pSmtpUrl = AddLineField(*pForm, "&SMTP server:");
    m_pSmtpUrl->setPlaceholderText("smtp://mail.example.org:587");
    m_pSecurity = new QComboBox;
    m_pSecurity->addItems({"STARTTLS", "SMTPS (TLS from the start)", "None (unencrypted)"});
    pForm->addRow("Se&curity:", m_pSecurity);
    m_pWarning = new QLabel(CSecurityNotice::kText);
    m_pWarning->setObjectName("securityWarning");
    m_pWarning->setWordWrap(true);
    m_pWarning->setStyleSheet("color: #a04000");
    pForm->addRow("", m_pWarning);
    m_pUser = AddLineField(*pForm, "&User name:");
    m_pPassword = AddLineField(*pForm, "&Password:");
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pReceiveUrl = AddLineField(*pForm, "&Receiving (IMAP/POP3):");
    m_pReceiveUrl->setPlaceholderText("imaps://mail.example.org or pop3s://mail.example.org (optional)");
    m_pCaFile = new QLineEdit;
    m_pCaFile->setObjectName("caFile");
    m_pCaFile->setPlaceholderText("a private CA's certificates, PEM (optional; the system's are always used)");
    auto* pBrowse = new QPushButton("&Browse...");
    auto* pCaRow = new QHBoxLayout;
    pCaRow->addWidget(m_pCaFile, 1);
    pCaRow->addWidget(pBrowse);
    auto* pCaLabel = new QLabel("C&A certificates:");
    pCaLabel->setBuddy(m_pCaFile);
    pForm->addRow(pCaLabel, pCaRow);
    pLayout->addLayout(pForm);

    m_pTest = new QPushButton("&Test");
    m_pResult = new QLabel;
    m_pResult->setWordWrap(true);
    m_pResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pResult->setObjectName("testResult");
    auto* pTestRow = new QHBoxLayout;
    pTestRow->addWidget(m_pTest);
    pTestRow->addWidget(m_pResult, 1);
    pLayout->addLayout(pTestRow);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    pLayout->addWidget(pButtons);

    connect(pButtons, &QDialogButtonBox::accepted, this, &CAccountsDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &CAccountsDialog::reject);
    connect(m_pTest, &QPushButton::clicked, this, [this] { OnTest(); });
    connect(pBrowse, &QPushButton::clicked, this, [this] { OnBrowseCaFile(); });
    connect(m_pSecurity, &QComboBox::currentIndexChanged, this, [this] {
        OnSecurityChanged();
        OnEdited();
    });
    for (QLineEdit* p : {m_pName, m_pAddress, m_pSmtpUrl, m_pUser, m_pPassword, m_pReceiveUrl, m_pCaFile})
        // Any change, typed or picked (Browse), makes the last test's answer stale.
        connect(p, &QLineEdit::textChanged, this, [this] { OnEdited(); });
    connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] { OnTestDone(); });
    Load();
    m_bWarningDue = CSecurityNotice(m_strPath).IsDue(Account());
    OnSecurityChanged();
    resize(560, sizeHint().height());
    m_bLoaded = true;
}

CAccountsDialog::~CAccountsDialog() { m_watcher.waitForFinished(); }

void CAccountsDialog::Load() {
    auto loaded = CAccountsFile::Load(m_strPath);
    if (!loaded.bFound) return;
    const CAccount& acc = loaded.account;
    m_pName->setText(QString::fromStdString(acc.strName));
    m_pAddress->setText(QString::fromStdString(acc.strAddress));
    m_pSmtpUrl->setText(QString::fromStdString(acc.strSmtpUrl));
    for (int i = 0; i < 3; ++i)
        if (kSecurities[i] == acc.security) m_pSecurity->setCurrentIndex(i);
    m_pUser->setText(QString::fromStdString(acc.strUser));
    m_pPassword->setText(QString::fromStdString(acc.strPassword));
    if (acc.passwordStore == EPasswordStore::Keyring && loaded.vecErrors.empty()) LoadKeyringPassword(acc.strUser);
    m_pReceiveUrl->setText(QString::fromStdString(acc.strReceiveUrl));
    m_pCaFile->setText(QString::fromStdString(acc.strCaFile));
    if (!loaded.vecErrors.empty())
        m_pResult->setText(QString::fromStdString("The saved account has problems: " + loaded.vecErrors.front()));
}

void CAccountsDialog::LoadKeyringPassword(const std::string& strUser) {
    CResult<std::optional<std::string>> rPassword = m_pKeyring->Read(CAccountsFile::KeyringKey(m_strPath));
    if (rPassword && *rPassword) {
        m_pPassword->setText(QString::fromStdString(**rPassword));
    } else if (rPassword) {
        m_pResult->setText("The desktop keyring has no password for this account. Enter it again.");
    } else {
        m_bPasswordUnread = true;
        m_strLoadedUser = strUser;
        m_pResult->setText(QString::fromStdString("The password is in the desktop keyring, which cannot be reached (" +
                                                  rPassword.Problem() +
                                                  "). Enter it again, or leave the field empty to keep it there."));
    }
}

CAccount CAccountsDialog::Account() const {
    CAccount acc;
    acc.strName = Text(m_pName);
    acc.strAddress = Text(m_pAddress);
    acc.strSmtpUrl = Text(m_pSmtpUrl);
    acc.security = kSecurities[std::max(0, m_pSecurity->currentIndex())];
    acc.strUser = Text(m_pUser);
    acc.strPassword = m_pPassword->text().toStdString();  // spaces may belong to a password
    acc.strReceiveUrl = Text(m_pReceiveUrl);
    acc.strCaFile = Text(m_pCaFile);
    if (m_bPasswordUnread && acc.strPassword.empty() && acc.strUser == m_strLoadedUser)
        acc.passwordStore = EPasswordStore::Keyring;
    return acc;
}

void CAccountsDialog::OnSecurityChanged() {
    ESecurity security = kSecurities[std::max(0, m_pSecurity->currentIndex())];
    // Told once: for a saved setting the user has not seen it for, or when
    // the user chooses it here.
    if (m_bLoaded) m_bWarningDue = security == ESecurity::None;
    ShowWarning(security == ESecurity::None && m_bWarningDue);
    const std::string strUrl = m_pSmtpUrl->text().toStdString();
    if (const std::string strMatched = CAccountsWriter::MatchScheme(strUrl, security); strMatched != strUrl)
        m_pSmtpUrl->setText(QString::fromStdString(strMatched));
}

// The sentence is wrapped, never cut: the window grows to hold it.
void CAccountsDialog::ShowWarning(bool bShow) {
    if (m_pWarning->isVisibleTo(this) == bShow) return;
    m_pWarning->setVisible(bShow);
    layout()->activate();
    const int nNeeded = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width()) : sizeHint().height();
    if (height() < nNeeded) resize(width(), nNeeded);
}

bool CAccountsDialog::IsTesting() const { return m_watcher.isRunning(); }

void CAccountsDialog::OnTest() {
    if (IsTesting()) return;
    CAccount acc = Account();
    if (acc.strSmtpUrl.empty()) {
        m_pResult->setText("Enter the SMTP server first.");
        return;
    }
    m_pTest->setEnabled(false);
    m_pResult->setText("Connecting...");
    m_watcher.setFuture(QtConcurrent::run(&m_pool, [acc] { return CAccountProbe::Run(acc); }));
}

void CAccountsDialog::OnTestDone() {
    const CAccountProbe::CReport report = m_watcher.result();
    m_pResult->setText(QString::fromStdString(report.Text()));
    m_strFailedTest = report.AllAnswered() ? std::string() : report.Text();
    m_pTest->setEnabled(true);
}

void CAccountsDialog::OnBrowseCaFile() {
    const QString str = QFileDialog::getOpenFileName(this, "CA certificates", m_pCaFile->text(),
                                                     "Certificates (*.pem *.crt);;All files (*)");
    if (!str.isEmpty()) m_pCaFile->setText(str);
}

void CAccountsDialog::OnEdited() {
    // A test's answer is about what was typed then, not about this.
    if (IsTesting()) return;
    m_pResult->clear();
    m_strFailedTest.clear();
}

void CAccountsDialog::accept() {
    if (m_bSaving) return;
    const QScopedValueRollback saving(m_bSaving, true);
    if (!m_strFailedTest.empty() &&
        !CHostMessage::Confirm(this, "The test of this account failed:\n" + m_strFailedTest + "\n\nSave it anyway?"))
        return;
    if (CResult<> r = CAccountsWriter::Save(m_strPath, Account(), m_pKeyring); !r) {
        CHostMessage::Warning(this, "The account was not saved:\n" + r.Problem());
        return;
    }
    CSecurityNotice(m_strPath).Saved(Account());
    QDialog::accept();
}
