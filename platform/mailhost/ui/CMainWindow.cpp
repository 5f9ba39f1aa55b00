#include "CMainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTreeWidget>

#include "CAddressList.h"
#include "CHostMessage.h"
#include "COutboxCounts.h"

namespace {

// The folder list's rows; their names are the store's.
struct CFolderInfo {
    EMailFolder folder;
    int32_t nModelFolder;
};
constexpr CFolderInfo kFolders[] = {
    {EMailFolder::Inbox, olFolderInbox},
    {EMailFolder::Drafts, olFolderDrafts},
    {EMailFolder::Outbox, olFolderOutbox},
    {EMailFolder::SentItems, olFolderSentMail},
    {EMailFolder::DeletedItems, olFolderDeletedItems},
};
enum EColumn { kFrom, kTo, kSubject, kDate, kStatus };

const CFolderInfo& InfoOf(EMailFolder folder) { return kFolders[static_cast<int>(folder)]; }

QString Q(const std::string& str) { return QString::fromStdString(str); }

QString DateText(int64_t nDate) {
    if (nDate == 0) return {};
    return QDateTime::fromSecsSinceEpoch(nDate).toString("yyyy-MM-dd hh:mm");
}

}  // namespace

CMainWindow::CMainWindow(CApplication* pApp, CMailHost& host, CCallbacks callbacks)
    : m_spApp(pApp), m_host(host), m_callbacks(std::move(callbacks)) {
    setObjectName("explorer");
    setWindowTitle(kHostProductName);
    BuildWidgets();
    CComPtr<_Explorer> spExplorer;
    pApp->ActiveExplorer(&spExplorer);
    m_pBars = std::make_unique<CCommandBarView>(this, pApp, spExplorer);
    m_pBars->SetHostActions("Standard", {m_pNew}, {m_pDelete});
    // Add-ins add their commands to the Tools menu through the model's menu bar.
    for (QAction* p : menuBar()->actions())
        if (p->menu() && p->text() == kToolsMenuCaption) m_pBars->SetHostMenu(kToolsMenuCaption, p->menu());
    m_pBars->Rebuild();
    Refresh();
    resize(960, 640);
}

CMainWindow::~CMainWindow() = default;

void CMainWindow::BuildWidgets() {
    m_pNew = new QAction("&New", this);
    m_pNew->setObjectName("new");
    m_pNew->setShortcut(QKeySequence::New);
    m_pNew->setToolTip("New message");
    connect(m_pNew, &QAction::triggered, this, [this] {
        if (m_callbacks.fnNewMessage) m_callbacks.fnNewMessage();
    });
    m_pDelete = new QAction("&Delete", this);
    m_pDelete->setObjectName("delete");
    m_pDelete->setShortcut(QKeySequence::Delete);
    connect(m_pDelete, &QAction::triggered, this, [this] { OnDelete(); });

    QMenu* pFile = m_pFile = menuBar()->addMenu("&File");
    pFile->addAction(m_pNew);
    pFile->addAction("&Open", QKeySequence("Ctrl+O"), this, [this] { OnOpenSelected(); });
    pFile->addSeparator();
    pFile
        ->addAction("&Accounts...", this,
                    [this] {
                        if (m_callbacks.fnAccounts) m_callbacks.fnAccounts();
                    })
        ->setObjectName("accounts");
    pFile->addSeparator();
    pFile->addAction("E&xit", QKeySequence::Quit, this, [this] { Quit(); });
    QMenu* pEdit = menuBar()->addMenu("&Edit");
    pEdit->addAction(m_pDelete);
    QMenu* pTools = menuBar()->addMenu("&Tools");
    pTools->addAction("Send/Re&ceive", QKeySequence("F9"), this, [this] { OnSendReceive(); });
    QMenu* pView = menuBar()->addMenu("&View");
    pView->addAction("&Refresh", QKeySequence::Refresh, this, [this] { Refresh(); });

    m_pFolders = new QListWidget;
    m_pFolders->setObjectName("folders");
    for (const auto& info : kFolders) m_pFolders->addItem(CMailStore::FolderName(info.folder));
    m_pFolders->setCurrentRow(0);
    connect(m_pFolders, &QListWidget::currentRowChanged, this, [this](int nRow) {
        if (nRow >= 0 && !m_bFilling) ShowFolder(kFolders[nRow].folder);
    });

    m_pMessages = new QTreeWidget;
    m_pMessages->setObjectName("messages");
    m_pMessages->setHeaderLabels({"From", "To", "Subject", "Date", "Status"});
    m_pMessages->setRootIsDecorated(false);
    m_pMessages->setSortingEnabled(true);
    m_pMessages->sortByColumn(kDate, Qt::DescendingOrder);
    m_pMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pMessages->header()->setStretchLastSection(true);
    m_pMessages->setColumnWidth(kFrom, 190);
    m_pMessages->setColumnWidth(kTo, 150);
    m_pMessages->setColumnWidth(kSubject, 230);
    connect(m_pMessages, &QTreeWidget::itemSelectionChanged, this, [this] { ShowSelected(); });
    connect(m_pMessages, &QTreeWidget::itemDoubleClicked, this, [this] { OnOpenSelected(); });

    m_pReading = new QTextBrowser;
    m_pReading->setObjectName("reading");

    auto* pRight = new QSplitter(Qt::Vertical);
    pRight->addWidget(m_pMessages);
    pRight->addWidget(m_pReading);
    pRight->setSizes({300, 300});
    auto* pMain = new QSplitter(Qt::Horizontal);
    pMain->addWidget(m_pFolders);
    pMain->addWidget(pRight);
    pMain->setStretchFactor(1, 1);
    pMain->setSizes({200, 760});
    setCentralWidget(pMain);

    m_pDelivery = new QLabel;
    m_pDelivery->setObjectName("delivery");
    statusBar()->addPermanentWidget(m_pDelivery);
}

void CMainWindow::Refresh() {
    {
        const QScopedValueRollback filling(m_bFilling, true);
        for (size_t i = 0; i < std::size(kFolders); ++i) {
            size_t n = m_host.ListFolder(kFolders[i].folder).size();
            QString str = CMailStore::FolderName(kFolders[i].folder);
            if (n) str += QString(" (%1)").arg(n);
            m_pFolders->item(static_cast<int>(i))->setText(str);
        }
    }
    FillMessages();
    UpdateDeliveryLabel();
}

void CMainWindow::ShowFolder(EMailFolder folder) {
    m_folder = folder;
    {
        const QScopedValueRollback filling(m_bFilling, true);
        m_pFolders->setCurrentRow(static_cast<int>(folder));
    }
    FillMessages();
}

// How a message that failed for good is corrected and sent again (OnOpenSelected).
const char* const CMainWindow::kFixHint = "open it (double-click or File > Open), correct it in Drafts and press Send";

std::string CMainWindow::StateText(const std::string& strId) {
    const CDeliveryRecord rec = m_host.DeliveryStatus(strId);
    return CDeliveryWords::Row(rec.state, rec.strReason);
}

void CMainWindow::FillMessages() {
    std::string strKeep = SelectedId();
    QTreeWidgetItem* pKeep = nullptr;
    {
        const QScopedValueRollback filling(m_bFilling, true);
        m_pMessages->setSortingEnabled(false);
        m_pMessages->clear();
        bool bOutbox = m_folder == EMailFolder::Outbox;
        m_pMessages->setColumnHidden(kStatus, !bOutbox);
        for (const auto& strId : m_host.ListFolder(m_folder)) {
            CMailMessage msg;
            auto* pItem = new QTreeWidgetItem(m_pMessages);
            pItem->setData(kFrom, Qt::UserRole, Q(strId));
            if (CResult<> r = m_host.LoadFromFolder(m_folder, strId, msg); !r) {
                pItem->setText(kSubject, Q("(cannot be read: " + r.Problem() + ")"));
                continue;
            }
            pItem->setText(kFrom, Q(msg.strFrom));
            pItem->setText(kTo, Q(CAddressList::Join(msg.vecTo)));
            pItem->setText(kSubject, Q(msg.strSubject.empty() ? "(no subject)" : msg.strSubject));
            pItem->setText(kDate, DateText(msg.nDate));
            if (bOutbox) pItem->setText(kStatus, Q(StateText(strId)));
            if (bOutbox && m_host.DeliveryStatus(strId).state == EHostEvent::Failed)
                for (int nColumn = 0; nColumn < m_pMessages->columnCount(); ++nColumn)
                    pItem->setToolTip(nColumn, QString("To send it again: ") + kFixHint);
            if (strId == strKeep) pKeep = pItem;
        }
        m_pMessages->setSortingEnabled(true);
    }
    if (pKeep) m_pMessages->setCurrentItem(pKeep);
    ShowSelected();
}

std::string CMainWindow::SelectedId() const {
    auto list = m_pMessages->selectedItems();
    return list.isEmpty() ? std::string() : list.front()->data(kFrom, Qt::UserRole).toString().toStdString();
}

void CMainWindow::ShowSelected() {
    if (m_bFilling) return;
    std::string strId = SelectedId();
    CMailMessage msg;
    if (strId.empty() || !m_host.LoadFromFolder(m_folder, strId, msg).Ok()) {
        m_pReading->clear();
        return;
    }
    auto Row = [](const char* pszLabel, const std::string& str) {
        return str.empty() ? QString() : QString("<b>%1</b> %2<br>").arg(pszLabel, Q(str).toHtmlEscaped());
    };
    QString strHtml = Row("From:", msg.strFrom) + Row("To:", CAddressList::Join(msg.vecTo)) +
                      Row("Cc:", CAddressList::Join(msg.vecCc)) + Row("Bcc:", CAddressList::Join(msg.vecBcc)) +
                      Row("Subject:", msg.strSubject) + Row("Date:", DateText(msg.nDate).toStdString());
    std::string strFiles;
    for (const auto& att : msg.vecAttachments) strFiles += (strFiles.empty() ? "" : ", ") + att.strFileName;
    strHtml += Row("Attachments:", strFiles);
    if (m_folder == EMailFolder::Outbox) {
        strHtml += Row("Delivery:", StateText(strId));
        // The way out of a failure, where the user reads it.
        if (m_host.DeliveryStatus(strId).state == EHostEvent::Failed) strHtml += Row("To send it again:", kFixHint);
    }
    strHtml += "<hr><pre style=\"white-space: pre-wrap\">" + Q(msg.strBody).toHtmlEscaped() + "</pre>";
    m_pReading->setHtml(strHtml);
}

void CMainWindow::UpdateDeliveryLabel() {
    // Counted as `mailhost status` counts them.
    COutboxCounts counts;
    for (const auto& strId : m_host.ListFolder(EMailFolder::Outbox)) counts.Add(m_host.DeliveryStatus(strId).state);
    m_pDelivery->setText(Q("Outbox: " + counts.ShortText()));
}

void CMainWindow::OnHostEvents(const std::vector<CHostEventRecord>& vecEvents) {
    if (vecEvents.empty()) return;
    statusBar()->showMessage(Q(CDeliveryWords::Bar(vecEvents.back().kind, vecEvents.back().strText)));
    Refresh();
}

CComPtr<_MailItem> CMainWindow::ModelItem(EMailFolder folder, const std::string& strId) {
    CComPtr<_NameSpace> spNS;
    CComPtr<MAPIFolder> spFolder;
    CComPtr<_Items> spItems;
    if (!m_spApp || FAILED(m_spApp->GetNamespace("MAPI", &spNS)) ||
        FAILED(spNS->GetDefaultFolder(InfoOf(folder).nModelFolder, &spFolder)) || FAILED(spFolder->get_Items(&spItems)))
        return nullptr;
    auto vecIds = m_host.ListFolder(folder);
    auto it = std::find(vecIds.begin(), vecIds.end(), strId);
    if (it == vecIds.end()) return nullptr;
    CComPtr<IDispatch> spItem;
    if (FAILED(spItems->Item(static_cast<int32_t>(it - vecIds.begin()) + 1, &spItem))) return nullptr;
    return CComQIPtr<_MailItem>(spItem);
}

void CMainWindow::ShowProblems() {
    ShowFolder(EMailFolder::Outbox);
    showNormal();
    raise();
    activateWindow();
}

void CMainWindow::OnOpenSelected() {
    std::string strId = SelectedId();
    if (strId.empty()) return;
    EMailFolder folder = m_folder;
    if (folder == EMailFolder::Outbox) {
        // One that failed for good goes nowhere by itself: the user may take
        // it back to Drafts, correct it there and send it again.
        const CDeliveryRecord rec = m_host.DeliveryStatus(strId);
        if (rec.state != EHostEvent::Failed) {
            statusBar()->showMessage("Messages in the Outbox are on their way and cannot be edited.");
            return;
        }
        if (!CHostMessage::Confirm(this, "This message was not sent: " + rec.strReason +
                                             "\n\nMove it to Drafts to correct it and send it again?"))
            return;
        std::string strDraftId;
        if (CResult<> r = m_host.MoveMessage(EMailFolder::Outbox, strId, EMailFolder::Drafts, strDraftId); !r) {
            CHostMessage::Error(this, "The message could not be moved to Drafts: " + r.Problem());
            return;
        }
        Refresh();
        folder = EMailFolder::Drafts;
        strId = strDraftId;
    }
    CComPtr<_MailItem> spMail = ModelItem(folder, strId);
    if (!spMail || FAILED(m_spApp->OpenInspector(spMail, nullptr)))
        CHostMessage::Error(this, "The message could not be opened; it may have been moved or deleted.");
}

void CMainWindow::OnDelete() {
    std::string strId = SelectedId();
    if (strId.empty()) return;
    if (m_folder == EMailFolder::DeletedItems &&
        !CHostMessage::Confirm(this, "Delete this message for good? It cannot be brought back."))
        return;
    CComPtr<_MailItem> spMail = ModelItem(m_folder, strId);
    if (!spMail || FAILED(spMail->Delete()))
        CHostMessage::Error(this, m_folder == EMailFolder::Outbox
                                      ? "The message could not be deleted; it is being sent right now."
                                      : "The message could not be deleted; it may have been moved already.");
    Refresh();
}

void CMainWindow::OnSendReceive() {
    // Through the model's built-in control, so add-ins watching it see it.
    CComPtr<_Explorer> spExplorer;
    CComPtr<_CommandBars> spBars;
    CComPtr<CommandBarControl> spControl;
    if (m_spApp && SUCCEEDED(m_spApp->ActiveExplorer(&spExplorer)) && spExplorer &&
        SUCCEEDED(spExplorer->get_CommandBars(&spBars)) &&
        SUCCEEDED(spBars->FindControl(vtMissing, kSendReceiveControlId, vtMissing, vtMissing, &spControl)) &&
        spControl && SUCCEEDED(spControl->Execute())) {
        statusBar()->showMessage("Sending and receiving...");
        return;
    }
    m_host.SendReceiveNow();
}

void CMainWindow::Detach() {
    m_pBars->Detach();
    m_pBars->Rebuild();
    m_spApp = nullptr;
}

bool CMainWindow::event(QEvent* pEvent) {
    // Others (add-ins, the delivery thread, other programs on the Maildir)
    // change the folders too: coming back to the window shows them as they are.
    if (pEvent->type() == QEvent::WindowActivate) Refresh();
    return QMainWindow::event(pEvent);
}

void CMainWindow::closeEvent(QCloseEvent* pEvent) {
    const auto action = m_fnCloseDecision ? m_fnCloseDecision(false) : CCloseGuard::EAction::Quit;
    if (action == CCloseGuard::EAction::Hide) {
        // The message windows stay open; the tray brings this one back.
        pEvent->accept();
        return;
    }
    if (action == CCloseGuard::EAction::Stay || (m_callbacks.fnCanQuit && !m_callbacks.fnCanQuit())) {
        pEvent->ignore();
        return;
    }
    pEvent->accept();
    QCoreApplication::quit();
}

void CMainWindow::Quit() {
    if (m_fnCloseDecision && m_fnCloseDecision(true) != CCloseGuard::EAction::Quit) return;
    if (m_callbacks.fnCanQuit && !m_callbacks.fnCanQuit()) return;
    hide();
    // Not quit(): that would send this window a close event and ask again.
    QCoreApplication::exit(0);
}
