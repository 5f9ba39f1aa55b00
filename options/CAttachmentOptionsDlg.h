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
    // Where the choosers open: the folder the entry names (itself, or the
    // folder of its file or mask, when that exists), else the home folder.
    // Example: "/srv/reports/*.pdf" -> "/srv/reports"; "" -> "/home/rita".
    static std::string StartFolder(const std::string& strEntry);
    static constexpr const char* kFolderTitle = "Select a Folder of Attachments";

private:
    void OnSelectFile();
    void OnSelectFolder();
    void OnOK();
    void UpdateData(bool bSaveAndValidate);
};
