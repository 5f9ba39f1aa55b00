// The message window's "Quillory Options" button: the add-in connected to the
// real object model, windows opened and clicked as a user would.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>

#include <gtest/gtest.h>

#include "CAddin.h"
#include "CAddinFolders.h"
#include "CApplication.h"
#include "CBoxRecorder.h"
#include "CMemoryMailBackend.h"
#include "CMessageBox.h"
#include "CMyInspectorEvent.h"
#include "CTaskListFile.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "Contains.h"
#include "IClock.h"
#include "PressSheetButton.h"
#include "SharedState.h"
#include "TaskNames.h"

namespace fs = std::filesystem;

namespace {

class InspectorButtonTest : public ::testing::Test {
protected:
    InspectorButtonTest() {
        m_spApp = CApplication::Create(m_backend);
        m_spAddin = MakeComObject<CAddin>();
    }
    ~InspectorButtonTest() override {
        g_pClock = nullptr;  // a test's own clock has gone before the disconnection saves
        if (m_bConnected) m_spAddin->OnDisconnection(0, nullptr);
        m_spAddin.Release();
        m_spApp->Shutdown();
        g_spApplication.Release();
    }
    void Connect() {
        ASSERT_EQ(m_spAddin->OnConnection(static_cast<_Application*>(m_spApp.p), ext_cm_Startup, nullptr, nullptr),
                  S_OK);
        m_bConnected = true;
    }
    // A compose window for a new message with the given parts, activated.
    CComPtr<_Inspector> Compose(const std::string& strSubject, const std::string& strBody, const std::string& strTo,
                                const std::string& strCc = "") {
        CComPtr<_Inspector> spInspector;
        EXPECT_EQ(m_spApp->OpenNewInspector(&spInspector), S_OK);
        Fill(spInspector, strSubject, strBody, strTo, strCc);
        return spInspector;
    }
    void Fill(_Inspector* p, const std::string& strSubject, const std::string& strBody, const std::string& strTo,
              const std::string& strCc = "") {
        CComQIPtr<_MailItem> spMail = MailOf(p);
        spMail->put_Subject(strSubject);
        spMail->put_Body(strBody);
        spMail->put_To(strTo);
        spMail->put_CC(strCc);
        m_spApp->ActivateInspector(p);
    }
    static CComQIPtr<_MailItem> MailOf(_Inspector* p) {
        CComPtr<IDispatch> spItem;
        p->get_CurrentItem(&spItem);
        return CComQIPtr<_MailItem>(spItem.p);
    }
    static void AddTasks(std::initializer_list<const char*> names) {
        for (const char* psz : names) {
            CTaskItem t;
            t.m_strTaskName = psz;
            t.m_bActive = 1;
            g_pTaskList->Add(t);
        }
    }
    CComPtr<_CommandBarButton> OptionsButton(_Inspector* pInspector, int* pnBars = nullptr) const {
        int nQuillory = 0;
        CComPtr<_CommandBarButton> spFound;
        for (const auto& spBar : m_spApp->CommandBarsOf(pInspector)) {
            std::string strName;
            spBar->get_Name(&strName);
            if (strName != "Quillory") continue;
            ++nQuillory;
            spFound = CComQIPtr<_CommandBarButton>(CApplication::ControlsOf(spBar).at(0).p);
        }
        if (pnBars) *pnBars = nQuillory;
        return spFound;
    }
    // Clicks the button; the options sheet that opens is answered with a
    // click on the control nButtonId (1002 "Schedule", 1063 "Cancel").
    bool ClickAndAnswer(_CommandBarButton* pButton, int nButtonId) {
        bool bSheet = false;
        QObject guard;  // timers die with this call
        QTimer::singleShot(0, &guard, [&] { bSheet = PressSheetButton(nButtonId); });
        // A sheet still open afterwards refused the commit, or is a second one
        // for the same click: record it and cancel.
        QTimer::singleShot(200, &guard, [&] {
            if (PressSheetButton(1063))
                ADD_FAILURE() << "a sheet stayed open; boxes: " << ::testing::PrintToString(m_boxes.Texts());
        });
        pButton->Execute();
        return bSheet;
    }
    std::vector<std::string> SavedNames() { return TaskNamesInFile(g_strDataDir + "emails.dat"); }

    CTempDir m_dir;
    CAddinFolders m_folders{m_dir.Path()};
    CMemoryMailBackend m_backend;
    CComPtr<CApplication> m_spApp;
    CComPtr<CAddin> m_spAddin;
    bool m_bConnected = false;
    CBoxRecorder m_boxes;
};

}  // namespace

// Every window gets one button, once, however often it is activated. One
// window's button listens, also with two open when the add-in connects, and
// a click on any window's reaches it: one click, one sheet, for the window in
// front; a closed window is forgotten.
TEST_F(InspectorButtonTest, EachWindowGetsOneButtonAndOneClickOpensOneSheet) {
    CComPtr<_Inspector> spA, spB;
    ASSERT_EQ(m_spApp->OpenNewInspector(&spA), S_OK);
    ASSERT_EQ(m_spApp->OpenNewInspector(&spB), S_OK);
    Connect();
    CComPtr<_Inspector> spC = Compose("C", "c", "c@example.com");
    for (_Inspector* p : {spA.p, spB.p}) Fill(p, "Report", "Numbers", "boss@example.com");
    m_spApp->DeactivateInspector(spA);
    m_spApp->ActivateInspector(spA);
    for (_Inspector* p : {spA.p, spB.p, spC.p}) {
        int nBars = 0;
        CComPtr<_CommandBarButton> spButton = OptionsButton(p, &nBars);
        EXPECT_EQ(nBars, 1);
        ASSERT_TRUE(spButton);
        std::string strCaption, strTag;
        spButton->get_Caption(&strCaption);
        spButton->get_Tag(&strTag);
        EXPECT_EQ(strCaption + "|" + strTag, "Quillory Options|Quillory Options");
    }
    ASSERT_EQ(m_spAddin->Trackers().size(), 3u);
    int nListening = 0;
    for (const auto& pTracker : m_spAddin->Trackers()) nListening += pTracker->IsButtonAdvised();
    EXPECT_EQ(nListening, 1);
    m_spApp->ActivateInspector(spB);
    EXPECT_TRUE(ClickAndAnswer(OptionsButton(spA), 1063));

    m_spApp->CloseInspector(spB, olDiscard);
    EXPECT_FALSE(g_spCurInspector);
    OptionsButton(spA)->Execute();
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{"Invalid Inspector!"});
    m_spApp->ActivateInspector(spA);
    EXPECT_TRUE(ClickAndAnswer(OptionsButton(spC), 1063));
}

TEST_F(InspectorButtonTest, ChecksComeInOrderAndTheMessageIsSavedFirst) {
    Connect();
    CComPtr<_Inspector> spWindow = Compose("", "body", "a@example.com");
    CComPtr<_CommandBarButton> spButton = OptionsButton(spWindow);
    ASSERT_TRUE(spButton);
    spButton->Execute();
    CComQIPtr<_MailItem> spMail = MailOf(spWindow);
    spMail->put_Subject("Subject only");
    spMail->put_Body("");
    spButton->Execute();
    spMail->put_Body("Body");
    spMail->put_To("");
    spButton->Execute();
    EXPECT_EQ(m_boxes.Texts(), (std::vector<std::string>{
                                   "Please enter a subject into the email.", "Please enter the content into the email.",
                                   "There is not any email addresses in the To field.\n\nPlease select or enter the "
                                   "recipients into the To field."}));
    EXPECT_EQ(m_backend.ListFolder(EMailFolder::Drafts).size(), 1u);  // saved although refused
    // Recipients in Cc only are enough: the sheet opens.
    spMail->put_CC("c@example.com");
    EXPECT_TRUE(ClickAndAnswer(spButton, 1063));
    EXPECT_EQ(m_spApp->OpenInspectors().size(), 1u);  // cancelled: the window stays

    // A failed save shows the host's reason on a second line.
    m_boxes.m_vecShown.clear();
    spWindow = Compose("Report", "Numbers", "boss@example.com");
    spButton = OptionsButton(spWindow);
    spMail = MailOf(spWindow);
    // A reason left behind by an earlier, unrelated failure is not this one's.
    (void)ReportError(E_FAIL, "an older reason");
    ASSERT_EQ(spMail->Delete(), S_OK);  // a deleted message cannot be saved
    spButton->Execute();
    EXPECT_EQ(m_boxes.Texts(), std::vector<std::string>{"Failed to save the email!\nthe message has been deleted"});
}

// A task that was reported scheduled but could not be written would be
// lost with the host: the user is told at once.
TEST_F(InspectorButtonTest, ATaskListThatCannotBeWrittenAfterScheduleIsShown) {
    const std::string strDir = (m_dir / "roaming/Tarnwick Software/Mail Host/Quillory/");
    Connect();
    // A folder where the file goes, once the add-in runs: no save can replace it.
    fs::create_directories(strDir + "emails.dat");
    CComPtr<_Inspector> spWindow = Compose("Weekly report", "Numbers", "boss@example.com");
    ASSERT_TRUE(ClickAndAnswer(OptionsButton(spWindow), 1002));
    ASSERT_EQ(g_pTaskList->GetSize(), 1);
    ASSERT_FALSE(m_boxes.Texts().empty());
    EXPECT_EQ(
        m_boxes.Texts().back().rfind("Failed to save the task list: cannot replace " + strDir + "emails.dat: ", 0), 0u)
        << ::testing::PrintToString(m_boxes.Texts());
    EXPECT_TRUE(fs::is_directory(strDir + "emails.dat"));
}

// The window edits the task it was opened for, wherever the list has moved
// it meanwhile; when that task is gone, or the position names none, its
// message becomes a new task named after its subject rather than being
// dropped after OK.
TEST_F(InspectorButtonTest, AnEditWindowFollowsItsTaskOrStoresANewOne) {
    Connect();
    AddTasks({"First", "Second", "Third"});
    g_nCurTaskIndex = 0;  // "Edit Email Message" on "First"
    CComPtr<_Inspector> spWindow = Compose("First, new words", "Numbers", "boss@example.com");
    g_nCurTaskIndex = -1;
    g_pTaskList->MoveDown(0);
    g_pTaskList->MoveDown(1);  // Second, Third, First
    m_spApp->ActivateInspector(spWindow);
    ASSERT_TRUE(ClickAndAnswer(OptionsButton(spWindow), 1002));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Second", "Third", "First"}));
    EXPECT_FALSE((*g_pTaskList)[2].m_strTemplateFile.empty()) << "the edit went to First";
    EXPECT_TRUE((*g_pTaskList)[0].m_strTemplateFile.empty());

    g_nCurTaskIndex = 0;  // "Edit Email Message" on "Second", which is then removed
    spWindow = Compose("Second again", "Numbers", "boss@example.com");
    g_pTaskList->RemoveAt(0);
    m_spApp->ActivateInspector(spWindow);
    ASSERT_TRUE(ClickAndAnswer(OptionsButton(spWindow), 1002));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Third", "First", "Second again"}));

    g_nCurTaskIndex = 0;  // as the Email Manager leaves it: the edit keeps the task's name
    spWindow = Compose("Third, new words", "Numbers", "boss@example.com");
    ASSERT_TRUE(ClickAndAnswer(OptionsButton(spWindow), 1002));
    ASSERT_EQ(g_pTaskList->GetSize(), 3);
    EXPECT_EQ((*g_pTaskList)[0].m_strTaskName, "Third");
    EXPECT_FALSE((*g_pTaskList)[0].m_strTemplateFile.empty());
    g_nCurTaskIndex = 5;
    spWindow = Compose("Gone", "Numbers", "boss@example.com");
    ASSERT_TRUE(ClickAndAnswer(OptionsButton(spWindow), 1002));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"Third", "First", "Second again", "Gone"}));
    EXPECT_TRUE(m_spApp->OpenInspectors().empty());
}

// A host with windows also says in a box, once, that a damaged task list
// was kept beside itself.
TEST_F(InspectorButtonTest, AKeptDamagedListIsShownInABoxOnce) {
    const std::string strDir = (m_dir / "roaming/Tarnwick Software/Mail Host/Quillory/");
    fs::create_directories(strDir);
    CTaskList list;
    list.Add(CTaskItem());
    list.Add(CTaskItem());
    std::vector<uint8_t> v = CTaskListFile::Encode(list, CTextCodec::Open("UTF-8").Value());
    v[8 + 248] = 0xFF;  // the second record claims 255 bytes; 248 follow
    CTempDir::WriteFile(strDir + "emails.dat", std::string(v.begin(), v.end()));
    CFixedClock clock(1767227400);
    g_pClock = &clock;
    Connect();
    ASSERT_EQ(g_pTaskList->GetSize(), 1);
    EXPECT_TRUE(m_boxes.m_vecShown.empty()) << "nothing is said before the file is replaced";
    EXPECT_EQ(SaveSharedTaskList().Problem(), "");
    // Not inside the save (a tick would wait on it), but from the event loop.
    EXPECT_TRUE(m_boxes.m_vecShown.empty());
    EXPECT_EQ(SaveSharedTaskList().Problem(), "");
    QCoreApplication::processEvents();
    ASSERT_EQ(m_boxes.m_vecShown.size(), 1u);
    const std::string strShown = m_boxes.m_vecShown[0].strText;
    EXPECT_EQ(strShown.rfind("The task list could not be read whole: task 2: ", 0), 0u) << strShown;
    EXPECT_TRUE(Contains(strShown, "The tasks before the damage were kept. The original file was saved as:\n" + strDir +
                                       "emails.dat.damaged-"));
    EXPECT_EQ(m_boxes.m_vecShown[0].nFlags, CMessageBox::MB_OK | CMessageBox::MB_ICONWARNING);
    g_pClock = nullptr;
}
