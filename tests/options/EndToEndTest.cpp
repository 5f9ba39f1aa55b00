// Compose in the real host, schedule through the sheet, then send the task
// as the scheduler will: the template and the folder-and-mask attachments
// reach a loopback SMTP server.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "CAttachmentOptionsDlg.h"
#include "CApplication.h"
#include "CDataExchange.h"
#include "CHostTestBase.h"
#include "CSharedStateScope.h"
#include "CMessageBox.h"
#include "COptionsDlg.h"
#include "SendTask.h"
#include "SharedState.h"
#include "TaskTime.h"

namespace fs = std::filesystem;

namespace {

class EndToEndTest : public CHostTestBase {
protected:
    void SetUp() override {
        CMessageBox::SetHandler([this](const std::string& strText, const std::string&, unsigned) {
            m_vecBoxes.push_back(strText);
            return CMessageBox::IDOK;
        });
        m_server.Start({});
        WritePlainAccount(m_server.Port());
        StartHost();
        fs::create_directories(m_dir.Path() + "/data");
        m_pScope = std::make_unique<CSharedStateScope>(*m_pHost, m_dir.Path() + "/data/", m_list, "Europe/Berlin");
        m_spApp = m_pScope->App();
        m_clock.Set(TaskTime::ToAbsolute(2024, 6, 7, 10, 0, 0));
    }
    void TearDown() override {
        m_spApp.Release();
        m_pScope.reset();
    }
    std::string File(const std::string& strName) {
        const std::string strPath = m_dir.Path() + "/files/" + strName;
        fs::create_directories(fs::path(strPath).parent_path());
        CTempDir::WriteFile(strPath, "contents of " + strName);
        return strPath;
    }
    static QWidget* Control(QWidget* pRoot, int nId) { return CDataExchange::Find(pRoot, nId, true); }
    static void Click(QWidget* pRoot, int nId) { qobject_cast<QAbstractButton*>(Control(pRoot, nId))->click(); }

    CFixedClock m_clock{0};
    CTaskList m_list;
    std::unique_ptr<CSharedStateScope> m_pScope;
    CComPtr<CApplication> m_spApp;
    std::vector<std::string> m_vecBoxes;
};

}  // namespace

TEST_F(EndToEndTest, AScheduledMessageGoesOutWithItsFolderAttachments) {
    File("a.txt");
    File("b.txt");
    File("notes.md");
    const std::string strMask = m_dir.Path() + "/files/*.txt";

    // The message window's part: a composed, saved draft.
    CComPtr<IDispatch> spItem;
    ASSERT_EQ(m_spApp->CreateItem(olMailItem, &spItem), S_OK);
    CComQIPtr<_MailItem> spMail(spItem.p);
    spMail->put_Subject("Monthly files");
    spMail->put_Body("The files of the month.\n");
    spMail->put_To("Rita Receiver <rita@example.com>");
    spMail->Save();
    ASSERT_EQ(m_pHost->ListFolder(EMailFolder::Drafts).size(), 1u);
    g_spCurMailItem = spMail;

    COptionsDlg dlg(nullptr, m_clock);
    dlg.m_bNewTask = 1;
    dlg.m_nMode = COptionsDlg::kModeNewMessage;
    dlg.OtherPage();  // the page exists from construction on
    dlg.show();
    Click(&dlg, 1107);                                                       // monthly, day 15
    qobject_cast<QLineEdit*>(Control(&dlg, 1055))->setText("15");
    QTimer::singleShot(0, [&] {
        QWidget* p = QApplication::activeModalWidget();
        ASSERT_TRUE(qobject_cast<CAttachmentOptionsDlg*>(p));
        qobject_cast<QLineEdit*>(Control(p, 1145))->setText(QString::fromStdString(strMask));
        Click(p, 1);
    });
    Click(&dlg, 1022);
    qobject_cast<QLineEdit*>(Control(&dlg, 1126))->setText("Monthly files");
    Click(&dlg, 1002);
    ASSERT_EQ(dlg.result(), COptionsDlg::kResultOK) << (m_vecBoxes.empty() ? "" : m_vecBoxes.front());

    CTaskItem task = dlg.GetTask();
    EXPECT_EQ(task.m_dtNextSending, (TaskDateTime{2024, 6, 15, 7, 10, 1, 1}));
    EXPECT_EQ(task.m_arrAttachments.GetSize(), 1);
    ASSERT_TRUE(fs::is_regular_file(task.m_strTemplateFile));
    EXPECT_EQ(fs::path(task.m_strTemplateFile).parent_path(), fs::path(g_strDataDir).parent_path());
    // The draft left the mailbox altogether.
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::Drafts).empty());
    EXPECT_TRUE(m_pHost->ListFolder(EMailFolder::DeletedItems).empty());
    m_list.Add(task);

    // Editing the schedule later keeps the template as it is.
    const std::string strTemplate = CTempDir::ReadFile(task.m_strTemplateFile);
    COptionsDlg edit(nullptr, m_clock);
    edit.m_nMode = COptionsDlg::kModeSchedule;
    edit.m_nEditIndex = 0;
    edit.SetTask(task);
    edit.show();
    Click(&edit, 11005);
    Click(&edit, 1002);
    ASSERT_EQ(edit.result(), COptionsDlg::kResultOK);
    EXPECT_EQ(edit.GetTask().m_strTemplateFile, task.m_strTemplateFile);
    EXPECT_EQ(edit.GetTask().m_nRecurrence, 2);
    EXPECT_EQ(CTempDir::ReadFile(task.m_strTemplateFile), strTemplate);

    // A file that appears in the folder after scheduling goes out too.
    File("c.txt");
    SendTask(m_spApp, edit.GetTask());
    ASSERT_TRUE(m_server.WaitForCount(1, std::chrono::seconds(20)));
    const std::string strData = m_server.Received().back().strData;
    EXPECT_NE(strData.find("Subject: Monthly files"), std::string::npos);
    EXPECT_NE(strData.find("The files of the month."), std::string::npos);
    for (const char* pszName : {"a.txt", "b.txt", "c.txt"}) EXPECT_NE(strData.find(pszName), std::string::npos) << pszName;
    EXPECT_EQ(strData.find("notes.md"), std::string::npos);
}
