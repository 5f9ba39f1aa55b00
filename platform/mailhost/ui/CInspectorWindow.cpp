#include "CInspectorWindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "CAddressList.h"
#include "CHostMessage.h"
#include "LineField.h"

namespace {

std::string Text(const QLineEdit* p) { return p->text().toStdString(); }

}  // namespace

CInspectorWindow::CInspectorWindow(CApplication* pApp, _Inspector* pInspector, std::function<void()> fnStoreChanged)
    : m_spApp(pApp), m_spInspector(pInspector), m_fnStoreChanged(std::move(fnStoreChanged)) {
    setObjectName("inspector");
    CComPtr<IDispatch> spItem;
    if (SUCCEEDED(pInspector->get_CurrentItem(&spItem))) m_spMail = CComQIPtr<_MailItem>(spItem);
    bool bSent = false;
    if (m_spMail) m_spMail->get_Sent(&bSent);
    m_bReadOnly = !m_spMail || bSent;
    m_bKept = !StoredAs().empty();
    BuildWidgets();
    LoadFromItem();
    m_pBars = std::make_unique<CCommandBarView>(this, pApp, pInspector);
    m_pBars->SetToolbarMenu(m_pMessageMenu);
    m_pBars->Rebuild();
    resize(720, 560);
}

CInspectorWindow::~CInspectorWindow() = default;

void CInspectorWindow::BuildWidgets() {
    QMenu* pFile = m_pMessageMenu = menuBar()->addMenu("&Message");
    m_pSend = pFile->addAction("&Send", QKeySequence("Ctrl+Return"), this, [this] { OnSend(); });
    m_pSave = pFile->addAction("Sa&ve to Drafts", QKeySequence::Save, this, [this] { OnSave(); });
    pFile->addSeparator();
    m_pClose = pFile->addAction("&Close", QKeySequence::Close, this, [this] { OnClose(); });
    m_pSend->setObjectName("send");
    m_pSave->setObjectName("save");
    m_pClose->setObjectName("close");

    QToolBar* pMessageBar = addToolBar("Message");
    pMessageBar->setObjectName("MessageBar");
    pMessageBar->setMovable(false);
    pMessageBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    pMessageBar->addAction(m_pSend);
    pMessageBar->addAction(m_pSave);
    pMessageBar->addAction(m_pClose);

    auto* pCentral = new QWidget(this);
    auto* pLayout = new QVBoxLayout(pCentral);
    auto* pForm = new QFormLayout;
    m_pTo = AddLineField(*pForm, "&To:", "to");
    m_pTo->setPlaceholderText("name@example.org; Other Name <other@example.org>");
    m_pCc = AddLineField(*pForm, "&Cc:", "cc");
    m_pBcc = AddLineField(*pForm, "&Bcc:", "bcc");
    m_pSubject = AddLineField(*pForm, "S&ubject:", "subject");
    pLayout->addLayout(pForm);
    m_pBody = new QPlainTextEdit;
    m_pBody->setObjectName("body");
    pLayout->addWidget(m_pBody, 1);

    auto* pAttachRow = new QHBoxLayout;
    m_pAttachments = new QListWidget;
    m_pAttachments->setObjectName("attachments");
    m_pAttachments->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pAttachments->setMaximumHeight(90);
    auto* pButtons = new QVBoxLayout;
    m_pAddAttachment = new QPushButton("&Attach...");
    m_pRemoveAttachment = new QPushButton("&Remove");
    m_pAddAttachment->setObjectName("attach");
    m_pRemoveAttachment->setObjectName("removeAttachment");
    pButtons->addWidget(m_pAddAttachment);
    pButtons->addWidget(m_pRemoveAttachment);
    pButtons->addStretch();
    pAttachRow->addWidget(new QLabel("Attachments:"));
    pAttachRow->addWidget(m_pAttachments, 1);
    pAttachRow->addLayout(pButtons);
    pLayout->addLayout(pAttachRow);
    setCentralWidget(pCentral);
    statusBar();

    connect(m_pAddAttachment, &QPushButton::clicked, this, [this] {
        QStringList list = QFileDialog::getOpenFileNames(this, "Attach files");
        if (!list.isEmpty()) AddAttachmentFiles(list);
    });
    connect(m_pRemoveAttachment, &QPushButton::clicked, this, [this] { RemoveSelectedAttachments(); });
    // Straight into the item, so the model always holds what is shown.
    connect(m_pSubject, &QLineEdit::textChanged, this, [this] {
        if (m_spMail && !m_bLoading) m_spMail->put_Subject(Text(m_pSubject));
        Edited();
        UpdateTitle();
    });
    connect(m_pBody, &QPlainTextEdit::textChanged, this, [this] {
        if (m_spMail && !m_bLoading) m_spMail->put_Body(m_pBody->toPlainText().toStdString());
        Edited();
    });
    for (QLineEdit* p : {m_pTo, m_pCc, m_pBcc})
        connect(p, &QLineEdit::textChanged, this, [this] {
            PushRecipients();
            Edited();
        });
}

void CInspectorWindow::LoadFromItem() {
    m_bLoading = true;
    if (m_spMail) {
        std::string str;
        m_spMail->get_To(&str), m_pTo->setText(QString::fromStdString(str));
        m_spMail->get_CC(&str), m_pCc->setText(QString::fromStdString(str));
        m_spMail->get_BCC(&str), m_pBcc->setText(QString::fromStdString(str));
        m_spMail->get_Subject(&str), m_pSubject->setText(QString::fromStdString(str));
        m_spMail->get_Body(&str), m_pBody->setPlainText(QString::fromStdString(str));
    }
    ReloadAttachments();
    for (QLineEdit* p : {m_pTo, m_pCc, m_pBcc, m_pSubject}) p->setReadOnly(m_bReadOnly);
    m_pBody->setReadOnly(m_bReadOnly);
    for (QWidget* p : {static_cast<QWidget*>(m_pAddAttachment), static_cast<QWidget*>(m_pRemoveAttachment)})
        p->setEnabled(!m_bReadOnly);
    m_pSend->setEnabled(!m_bReadOnly);
    m_pSave->setEnabled(!m_bReadOnly);
    m_bLoading = false;
    UpdateTitle();
}

void CInspectorWindow::ReloadAttachments() {
    m_pAttachments->clear();
    CComPtr<Attachments> spAttachments;
    if (!m_spMail || FAILED(m_spMail->get_Attachments(&spAttachments))) return;
    int32_t n = 0;
    spAttachments->get_Count(&n);
    for (int32_t i = 1; i <= n; ++i) {
        std::string str;
        spAttachments->get_FileName(i, &str);
        m_pAttachments->addItem(QString::fromStdString(str));
    }
}

void CInspectorWindow::PushRecipients() {
    if (!m_spMail || m_bLoading) return;
    // Kept as typed (split only), so a half-typed address is not lost; it
    // is checked before the message is saved or sent.
    m_spMail->put_To(CAddressList::Join(CAddressList::Split(Text(m_pTo))));
    m_spMail->put_CC(CAddressList::Join(CAddressList::Split(Text(m_pCc))));
    m_spMail->put_BCC(CAddressList::Join(CAddressList::Split(Text(m_pBcc))));
}

void CInspectorWindow::Edited() {
    if (m_bLoading) return;
    m_bEdited = true;
    UpdateTitle();
}

void CInspectorWindow::UpdateTitle() {
    QString strSubject = m_pSubject->text().isEmpty() ? "Untitled" : m_pSubject->text();
    setWindowTitle(strSubject + (m_bEdited ? " *" : "") + " - Message");
}

bool CInspectorWindow::CheckAddresses() {
    const std::pair<QLineEdit*, const char*> kFields[] = {{m_pTo, "To"}, {m_pCc, "Cc"}, {m_pBcc, "Bcc"}};
    for (const auto& [pField, pszName] : kFields) {
        if (CResult<> r = CAddressList::Check(Text(pField), pszName); !r) {
            CHostMessage::Warning(this, r.Problem());
            pField->setFocus();
            return false;
        }
    }
    return true;
}

bool CInspectorWindow::OnSave() {
    if (m_bReadOnly || !m_spMail || !CheckAddresses()) return false;
    PushRecipients();
    if (FAILED(m_spMail->Save())) {
        CHostMessage::Error(this,
                            "The message could not be saved to Drafts. Check that the mail profile folder "
                            "can be written, then try again.");
        return false;
    }
    m_bEdited = false;
    m_bKept = true;
    UpdateTitle();
    statusBar()->showMessage("Saved to Drafts.");
    if (m_fnStoreChanged) m_fnStoreChanged();
    return true;
}

bool CInspectorWindow::SaveQuietly() {
    if (m_bReadOnly || !m_spMail) return false;
    PushRecipients();
    if (FAILED(m_spMail->Save())) {
        // A bad address keeps the draft from being stored; the text must not go too.
        m_spMail->put_To("");
        m_spMail->put_CC("");
        m_spMail->put_BCC("");
        std::string strBody;
        m_spMail->get_Body(&strBody);
        m_spMail->put_Body("To: " + Text(m_pTo) + "\nCc: " + Text(m_pCc) + "\nBcc: " + Text(m_pBcc) + "\n\n" + strBody);
        if (FAILED(m_spMail->Save())) return false;
    }
    m_bEdited = false;
    return true;
}

void CInspectorWindow::OnSend() {
    if (m_bReadOnly || !m_spMail || !CheckAddresses()) return;
    if (CAddressList::Split(Text(m_pTo)).empty() && CAddressList::Split(Text(m_pCc)).empty() &&
        CAddressList::Split(Text(m_pBcc)).empty()) {
        CHostMessage::Warning(this, "Please enter at least one recipient in To, Cc or Bcc.");
        m_pTo->setFocus();
        return;
    }
    PushRecipients();
    std::function<void()> fnStoreChanged = m_fnStoreChanged;
    // On success the model closes every window of the item, this one too.
    if (FAILED(m_spMail->Send())) {
        CHostMessage::Error(this,
                            "The message could not be put into the Outbox. Check that the mail profile "
                            "folder can be written, then try again.");
        return;
    }
    if (fnStoreChanged) fnStoreChanged();
}

bool CInspectorWindow::OnClose() {
    if (m_bModelClosed) return true;
    if (m_bEdited && !m_bReadOnly) {
        // An add-in that keeps this message elsewhere (a scheduled task's
        // template) asks about the changes itself; Drafts is not their place.
        bool bHandled = false, bCancel = false;
        PushRecipients();
        if (FAILED(m_spApp->AskBeforeClose(m_spInspector, &bHandled, &bCancel))) bHandled = bCancel = false;
        if (bCancel || m_bModelClosed) return m_bModelClosed;
        if (!bHandled) {
            auto answer = CHostMessage::AskSave(this, "Do you want to save the changes to \"" +
                                                          (Text(m_pSubject).empty() ? "Untitled" : Text(m_pSubject)) +
                                                          "\" in Drafts?");
            if (answer == QMessageBox::Cancel) return false;
            if (answer == QMessageBox::Yes && !OnSave()) return false;
            if (answer == QMessageBox::No) DropUnkeptCopy();
        }
    }
    // Saved already when the user wanted it; the model must not save again.
    if (FAILED(m_spApp->CloseInspector(m_spInspector, olDiscard)) && !m_bModelClosed) {
        CHostMessage::Error(this, "The message window could not be closed.");
        return false;
    }
    return true;
}

std::string CInspectorWindow::StoredAs() const {
    std::string strId;
    if (m_spMail && FAILED(m_spMail->get_EntryID(&strId))) strId.clear();
    return strId;
}

void CInspectorWindow::DropUnkeptCopy() {
    if (m_bKept || m_bReadOnly || StoredAs().empty()) return;
    // An add-in stored it to read it (from its toolbar button); the user never
    // kept it, so it goes for good: to Deleted Items, and from there.
    if (SUCCEEDED(m_spMail->Delete()) && !StoredAs().empty()) (void)m_spMail->Delete();  // gone either way
    if (m_fnStoreChanged) m_fnStoreChanged();
}

void CInspectorWindow::AddAttachmentFiles(const QStringList& listPaths) {
    CComPtr<Attachments> spAttachments;
    if (m_bReadOnly || !m_spMail || FAILED(m_spMail->get_Attachments(&spAttachments))) return;
    std::string strFailed;
    for (const QString& str : listPaths) {
        if (FAILED(spAttachments->Add(str.toStdString(), olByValue, vtMissing, vtMissing)))
            strFailed += "\n" + str.toStdString();
        else m_bEdited = true;
    }
    ReloadAttachments();
    UpdateTitle();
    if (!strFailed.empty())
        CHostMessage::Warning(this,
                              "These files could not be attached (missing, not a file or not readable):" + strFailed);
}

void CInspectorWindow::RemoveSelectedAttachments() {
    CComPtr<Attachments> spAttachments;
    if (m_bReadOnly || !m_spMail || FAILED(m_spMail->get_Attachments(&spAttachments))) return;
    std::vector<int> vecRows;
    for (const QListWidgetItem* p : m_pAttachments->selectedItems()) vecRows.push_back(m_pAttachments->row(p));
    std::sort(vecRows.rbegin(), vecRows.rend());
    for (int nRow : vecRows)
        if (SUCCEEDED(spAttachments->Remove(nRow + 1))) m_bEdited = true;
    ReloadAttachments();
    UpdateTitle();
}

void CInspectorWindow::ModelClosed() {
    m_bModelClosed = true;
    m_pBars->Detach();
    m_pBars->Rebuild();
    hide();
}

bool CInspectorWindow::event(QEvent* pEvent) {
    if (!m_bModelClosed) {
        if (pEvent->type() == QEvent::WindowActivate) m_spApp->ActivateInspector(m_spInspector);
        else if (pEvent->type() == QEvent::WindowDeactivate) m_spApp->DeactivateInspector(m_spInspector);
    }
    return QMainWindow::event(pEvent);
}

void CInspectorWindow::closeEvent(QCloseEvent* pEvent) {
    // The window goes when the model says so (ModelClosed), not here.
    if (m_bModelClosed) {
        pEvent->accept();
        return;
    }
    pEvent->ignore();
    OnClose();
}
