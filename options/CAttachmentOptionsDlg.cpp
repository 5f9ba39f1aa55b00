#include "CAttachmentOptionsDlg.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "CAddinBox.h"
#include "CDataExchange.h"
#include "ui_AttachmentOptionsDlg.h"

CAttachmentOptionsDlg::CAttachmentOptionsDlg(QWidget* pParent) : QDialog(pParent) {
    Ui::AttachmentOptionsDlg().setupUi(this);
    CDataExchange::PrepareControls(this);
    connect(CDataExchange::Control<QPushButton>(this, IDC_SELECT_FILE), &QPushButton::clicked, this,
            [this] { OnSelectFile(); });
    connect(CDataExchange::Control<QPushButton>(this, IDC_SELECT_FOLDER), &QPushButton::clicked, this,
            [this] { OnSelectFolder(); });
    connect(CDataExchange::Control<QPushButton>(this, 1), &QPushButton::clicked, this, [this] { OnOK(); });
    connect(CDataExchange::Control<QPushButton>(this, 2), &QPushButton::clicked, this, [this] { reject(); });
}

void CAttachmentOptionsDlg::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    dx.Text(IDC_ENTRY, m_strEntry);
}

int CAttachmentOptionsDlg::exec() {
    UpdateData(false);
    return QDialog::exec();
}

std::string CAttachmentOptionsDlg::FolderEntry(const std::string& strFolder) {
    std::string str = strFolder;
    if (str.empty() || str.back() != '/') str += '/';
    return str + "*.*";
}

std::string CAttachmentOptionsDlg::StartFolder(const std::string& strEntry) {
    // The entry itself, or the folder it names a file or a mask in.
    for (QFileInfo info(QString::fromStdString(strEntry).trimmed()); !info.filePath().isEmpty();) {
        if (info.isAbsolute() && info.isDir()) return info.absoluteFilePath().toStdString();
        if (!info.isAbsolute() || info.path() == info.filePath()) break;
        info = QFileInfo(info.path());
    }
    return QDir::homePath().toStdString();
}

void CAttachmentOptionsDlg::OnSelectFile() {
    UpdateData(true);
    // The toolkit's own dialog: the same on every desktop, and it can be
    // driven like any other window.
    QFileDialog dlg(this, "Select a File to Attach", QString::fromStdString(StartFolder(m_strEntry)), "All Files (*)");
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setOption(QFileDialog::ReadOnly, false);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    m_strEntry = dlg.selectedFiles().first().toStdString();
    UpdateData(false);
}

void CAttachmentOptionsDlg::OnSelectFolder() {
    UpdateData(true);
    QFileDialog dlg(this, kFolderTitle, QString::fromStdString(StartFolder(m_strEntry)));
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
    const std::string strFolder = dlg.selectedFiles().first().toStdString();
    if (strFolder.empty()) return;
    m_strEntry = FolderEntry(strFolder);
    UpdateData(false);
}

void CAttachmentOptionsDlg::OnOK() {
    UpdateData(true);
    const QString strTrimmed = QString::fromStdString(m_strEntry).trimmed();
    if (strTrimmed.isEmpty()) {
        CAddinBox::Warn("Please select a file or folder.");
        CDataExchange::Find(this, IDC_ENTRY)->setFocus();
        return;
    }
    // The entry keeps the text exactly as typed, blanks included.
    accept();
}
