// The Attachments page and its Add Attachment dialog, driven through their
// buttons, with the real file and folder choosers.
#include <QDir>
#include <QFileDialog>

#include "CAttachmentOptionsDlg.h"
#include "COptionsTestBase.h"

namespace {

class AttachmentsTest : public COptionsTestBase {
protected:
    void SetUp() override {
        COptionsTestBase::SetUp();
        OpenNew();
        m_pDlg->Sheet().setCurrentWidget(&m_pDlg->AttachmentsPage());
    }
    QTreeWidget* List() { return Get<QTreeWidget>(1121); }
    CStrings Rows() {
        CStrings vec;
        for (const auto& str : m_pDlg->AttachmentsPage().Entries()) vec.push_back(str);
        return vec;
    }
    // Presses a page button that opens the Add Attachment dialog, and fills
    // that in with fn.
    void WithEntryDialog(int nButton, std::function<void(CAttachmentOptionsDlg&)> fn) {
        OnNextModal([fn](QWidget* p) {
            auto* pDlg = qobject_cast<CAttachmentOptionsDlg*>(p);
            ASSERT_TRUE(pDlg);
            EXPECT_EQ(pDlg->windowTitle(), "Add Attachment");
            fn(*pDlg);
        });
        Click(nButton);
    }
    // Makes the chooser's choice strPath: with a file, that file selected;
    // with a folder, that folder opened and nothing in it selected. The
    // chooser lists folders in the background and may undo a selection when
    // the listing arrives, so the choice is made again until it holds.
    static void Choose(QFileDialog& chooser, const QString& strPath, bool bFolder) {
        const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (chooser.selectedFiles() != QStringList{strPath} && std::chrono::steady_clock::now() < tEnd) {
            if (bFolder) chooser.setDirectory(strPath);
            else chooser.selectFile(strPath);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        EXPECT_EQ(chooser.selectedFiles(), QStringList{strPath});
    }
    static void Press(QWidget& dlg, int nId) { CDataExchange::Control<QPushButton>(&dlg, nId)->click(); }
    static void Enter(QWidget& dlg, const std::string& str) {
        CDataExchange::Control<QLineEdit>(&dlg, 1145)->setText(QString::fromStdString(str));
    }
    // Adds what the file (1046) or folder (1047) chooser gives for strPath.
    void AddChosen(int nChooser, const std::string& strPath) {
        WithEntryDialog(1022, [&](CAttachmentOptionsDlg& dlg) {
            OnNextModal(
                [&](QWidget* p) {
                    auto* pChooser = qobject_cast<QFileDialog*>(p);
                    ASSERT_TRUE(pChooser);
                    EXPECT_EQ(pChooser->directory().absolutePath(), QDir::homePath()) << "no entry yet: home";
                    if (nChooser == 1047) {
                        EXPECT_EQ(pChooser->windowTitle(), "Select a Folder of Attachments");
                    }
                    Choose(*pChooser, QString::fromStdString(strPath), nChooser == 1047);
                    static_cast<QDialog*>(pChooser)->accept();  // as the Open button does
                },
                &dlg);
            Press(dlg, nChooser);
            Press(dlg, 1);
        });
    }
    void AddTyped(const std::string& str) {
        WithEntryDialog(1022, [str](CAttachmentOptionsDlg& dlg) {
            Enter(dlg, str);
            Press(dlg, 1);
        });
    }
};

}  // namespace

TEST_F(AttachmentsTest, AddEditRemoveKeepEntriesAsTyped) {
    AddTyped(" /data/out/*.zip ");
    AddTyped("/data/report.pdf");
    AddTyped("/data/report.pdf");  // the same entry twice is allowed
    EXPECT_EQ(Rows(), (CStrings{" /data/out/*.zip ", "/data/report.pdf", "/data/report.pdf"}));
    EXPECT_EQ(List()->headerItem()->text(0), "Attached Files");

    // Cancel and blanks change nothing.
    WithEntryDialog(1022, [](CAttachmentOptionsDlg& dlg) {
        Enter(dlg, "/x");
        Press(dlg, 2);
    });
    WithEntryDialog(1022, [this](CAttachmentOptionsDlg& dlg) {
        Enter(dlg, "   ");
        Press(dlg, 1);
        EXPECT_TRUE(dlg.isVisible());  // still open
        EXPECT_EQ(Told(), CStrings{"Please select a file or folder."});
        Press(dlg, 2);
    });
    EXPECT_EQ(Rows().size(), 3u);

    // Edit and Remove need a selection and act on it.
    Click(1023);
    Click(1024);
    EXPECT_EQ(Told(),
              (CStrings{"Please select an item you want to edit.", "Please select an item you want to remove."}));
    List()->topLevelItem(1)->setSelected(true);
    WithEntryDialog(1023, [](CAttachmentOptionsDlg& dlg) {
        EXPECT_EQ(CDataExchange::Control<QLineEdit>(&dlg, 1145)->text(), "/data/report.pdf");
        Enter(dlg, "/data/other.pdf");
        Press(dlg, 1);
    });
    EXPECT_EQ(Rows()[1], "/data/other.pdf");
    m_boxes.m_nYesNoAnswer = CMessageBox::IDNO;
    Click(1024);
    EXPECT_EQ(Rows().size(), 3u);
    m_boxes.m_nYesNoAnswer = CMessageBox::IDYES;
    Click(1024);
    EXPECT_EQ(Rows(), (CStrings{" /data/out/*.zip ", "/data/report.pdf"}));
    EXPECT_EQ(LastIcon(), CMessageBox::MB_ICONQUESTION);
    EXPECT_EQ(Told(), (CStrings{"Are you sure you want to remove the selected item?",
                                "Are you sure you want to remove the selected item?"}));

    // Remove All asks, even with an empty list.
    Click(1201);
    EXPECT_TRUE(Rows().empty());
    Click(1201);
    EXPECT_EQ(Texts(), (CStrings{"Are you sure you want to remove all of items?",
                                 "Are you sure you want to remove all of items?"}));
}

TEST_F(AttachmentsTest, ChoosersGiveAFileOrAFolderWithEveryFileMaskAndOpenWhereTheEntryPoints) {
    const std::string strFile = m_dir.Path() + "/report.pdf";
    CTempDir::WriteFile(strFile, "%PDF");
    AddChosen(1046, strFile);
    AddChosen(1047, m_dir.Path());  // into the folder, nothing selected in it: that folder is the choice
    EXPECT_EQ(CAttachmentOptionsDlg::FolderEntry("/"), "/*.*");  // the root already ends with its separator

    // The choosers open where the entry points, never at the root by default.
    const std::string strDir = m_dir.Path();
    std::filesystem::create_directories(strDir + "/reports");
    CTempDir::WriteFile(strDir + "/reports/may.pdf", "%PDF");
    const std::string strHome = QDir::homePath().toStdString();
    const struct {
        const char* pszName;
        std::string strEntry, strStart;
    } kCases[] = {
        {"empty", "", strHome},
        {"a folder with a mask", strDir + "/reports/*.pdf", strDir + "/reports"},
        {"a file", strDir + "/reports/may.pdf", strDir + "/reports"},
        {"a folder", strDir + "/reports", strDir + "/reports"},
        {"a file gone from a folder that is there", strDir + "/reports/june.pdf", strDir + "/reports"},
        {"a folder gone", strDir + "/gone/deeper/*.*", strDir},
        {"relative", "reports/*.pdf", strHome},
        {"blanks around", "  " + strDir + "/reports/*.pdf ", strDir + "/reports"},
    };
    for (const auto& c : kCases) EXPECT_EQ(CAttachmentOptionsDlg::StartFolder(c.strEntry), c.strStart) << c.pszName;
    // Both choosers open there, and cancelled they leave the entry as it was.
    WithEntryDialog(1022, [&](CAttachmentOptionsDlg& dlg) {
        Enter(dlg, strDir + "/reports/*.pdf");
        for (int nChooser : {1046, 1047}) {
            SCOPED_TRACE(nChooser);
            OnNextModal(
                [&](QWidget* p) {
                    auto* pChooser = qobject_cast<QFileDialog*>(p);
                    ASSERT_TRUE(pChooser);
                    EXPECT_EQ(pChooser->directory().absolutePath().toStdString(), strDir + "/reports");
                    static_cast<QDialog*>(pChooser)->reject();
                },
                &dlg);
            Press(dlg, nChooser);
        }
        Press(dlg, 1);
    });
    EXPECT_EQ(Rows(), (CStrings{strFile, m_dir.Path() + "/*.*", strDir + "/reports/*.pdf"}));
}
