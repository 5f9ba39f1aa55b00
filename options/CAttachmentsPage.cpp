#include "CAttachmentsPage.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>

#include "CAddinBox.h"
#include "CAttachmentEntry.h"
#include "CAttachmentOptionsDlg.h"
#include "CDataExchange.h"
#include "COptionsIds.h"
#include "ui_AttachmentsPage.h"

using namespace COptionsIds;

using CAddinBox::Ask;
using CAddinBox::Warn;

CAttachmentsPage::CAttachmentsPage(QWidget* pParent) : QWidget(pParent) {
    Ui::AttachmentsPage().setupUi(this);
    CDataExchange::PrepareControls(this);
    m_pList = CDataExchange::Control<QTreeWidget>(this, IDC_ATTACHMENT_LIST);
    m_pList->setColumnWidth(0, 410);
    m_pList->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pList->header()->setStretchLastSection(false);  // the column keeps its width
    const std::pair<int, void (CAttachmentsPage::*)()> handlers[] = {
        {IDC_ADD_FILES, &CAttachmentsPage::OnAdd},
        {IDC_EDIT_ATTACHMENT, &CAttachmentsPage::OnEdit},
        {IDC_REMOVE_ATTACHMENT, &CAttachmentsPage::OnRemove},
        {IDC_REMOVE_ALL, &CAttachmentsPage::OnRemoveAll},
    };
    for (const auto& [nId, pfn] : handlers)
        connect(CDataExchange::Control<QPushButton>(this, nId), &QPushButton::clicked, this, pfn);
}

QTreeWidgetItem* CAttachmentsPage::NewRow(const std::string& strEntry) const {
    auto* pItem = new QTreeWidgetItem();
    ShowEntry(pItem, strEntry);
    return pItem;
}

// A folder with a mask whose folder is missing is legal (it is looked up at
// each sending) but worth a second look: greyed, with the reason.
void CAttachmentsPage::ShowEntry(QTreeWidgetItem* pItem, const std::string& strEntry) const {
    pItem->setText(0, QString::fromStdString(strEntry));
    std::error_code ec;
    const bool bMissing =
        CAttachmentEntry::IsMask(strEntry) && !std::filesystem::is_directory(CAttachmentEntry::FolderOf(strEntry), ec);
    pItem->setData(0, kFolderMissingRole, bMissing);
    pItem->setToolTip(0, bMissing
                             ? QString::fromStdString("The folder \"" + CAttachmentEntry::FolderOf(strEntry) +
                                                      "\" is not found now; it is looked up again at each sending.")
                             : QString());
    pItem->setForeground(0, m_pList->palette().brush(bMissing ? QPalette::Disabled : QPalette::Active, QPalette::Text));
}

void CAttachmentsPage::Load(const CArray<std::string>& arrEntries) {
    for (const std::string& str : arrEntries) m_pList->addTopLevelItem(NewRow(str));
}

CArray<std::string> CAttachmentsPage::Entries() const {
    CArray<std::string> arr;
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i) arr.Add(m_pList->topLevelItem(i)->text(0).toStdString());
    return arr;
}

int CAttachmentsPage::SelectedRow() const {
    for (int i = 0; i < m_pList->topLevelItemCount(); ++i)
        if (m_pList->topLevelItem(i)->isSelected()) return i;
    return -1;
}

void CAttachmentsPage::OnAdd() {
    CAttachmentOptionsDlg dlg(this);
    if (dlg.exec() == QDialog::Accepted) m_pList->addTopLevelItem(NewRow(dlg.m_strEntry));
}

void CAttachmentsPage::OnEdit() {
    const int nRow = SelectedRow();
    if (nRow < 0) return Warn("Please select an item you want to edit.");
    CAttachmentOptionsDlg dlg(this);
    dlg.m_strEntry = m_pList->topLevelItem(nRow)->text(0).toStdString();
    if (dlg.exec() == QDialog::Accepted) ShowEntry(m_pList->topLevelItem(nRow), dlg.m_strEntry);
}

void CAttachmentsPage::OnRemove() {
    const int nRow = SelectedRow();
    if (nRow < 0) return Warn("Please select an item you want to remove.");
    if (Ask("Are you sure you want to remove the selected item?")) delete m_pList->takeTopLevelItem(nRow);
}

void CAttachmentsPage::OnRemoveAll() {
    if (Ask("Are you sure you want to remove all of items?")) m_pList->clear();
}
