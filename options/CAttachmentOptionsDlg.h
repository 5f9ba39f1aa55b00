#pragma once
#include <QDialog>
#include <string>

// "Add Attachment": one entry, a file's full path or a folder with a file
// mask, typed or picked.
class CAttachmentOptionsDlg : public QDialog {
    Q_OBJECT
public:
    enum : int {
        IDC_ENTRY = 1145,
        IDC_SELECT_FILE = 1046,
        IDC_SELECT_FOLDER = 1047,
    };

    explicit CAttachmentOptionsDlg(QWidget* pParent = nullptr);

    std::string m_strEntry;

    int exec() override;

    // A folder's entry: the folder, a separator and "*.*".
    static std::string FolderEntry(const std::string& strFolder);

private:
    void OnSelectFile();
    void OnSelectFolder();
    void OnOK();
    void UpdateData(bool bSaveAndValidate);
};
