// quillory show: a task in words, its history's results, and names shown safely.
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "CTaskListFile.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "Contains.h"
#include "ShellRun.h"
#include "ZoneGuard.h"

namespace {

using CRun = CShellRun;

// The tool with the arguments, standard error in its output.
CRun Tool(const std::string& strArgs) {
    return RunShell(ShellQuoted(QUILLORY_CLI) + " " + strArgs + " 2>&1", "/dev/null");
}
CRun Show(const std::string& strArgs) { return Tool("show " + strArgs); }

class ShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string strDir = m_tmp.Path();
        CTempDir::WriteFile(strDir + "/report.eml",
                            "From: me@example.org\nTo: a@example.org, b@example.org\nCc: c@example.org\n"
                            "Subject: Weekly report\n\nFigures.\n");
        std::filesystem::create_directories(strDir + "/reports");
        for (const char* psz : {"/reports/a.csv", "/reports/B.CSV", "/reports/c.txt", "/present.pdf"})
            CTempDir::WriteFile(strDir + psz, "x");

        CTaskItem weekly;
        weekly.m_bActive = 1;
        weekly.m_strTaskName = "Weekly report";
        weekly.m_strTemplateFile = strDir + "/report.eml";
        weekly.m_nRecurrence = CodeOf(ERecurrence::Weekly);
        weekly.m_nWeeklyInterval = 1;
        weekly.m_bWeekDays[4] = 1;  // Monday is ticked by default
        weekly.m_dtStart = {2026, 12, 8, 3, 9, 0, 1};
        weekly.m_dtNextSending = {2026, 12, 10, 5, 9, 0, 1};
        weekly.m_nEndKind = CodeOf(EEndKind::AfterCount);
        weekly.m_nEndAfterCount = 10;
        weekly.m_nOccurrenceCount = 7;
        weekly.m_dtLastSent = {2026, 12, 7, 2, 9, 0, 1};
        weekly.m_bSendOverdue = 1;
        for (const char* psz : {"/reports/*.csv", "/present.pdf", "/gone.pdf", "/nowhere/*.pdf"})
            weekly.m_arrAttachments.Add(strDir + psz);
        CTaskItem once;
        once.m_strTaskName = "Invitation";
        once.m_strTemplateFile = strDir + "/missing.eml";
        once.m_dtStart = {2026, 11, 2, 2, 12, 0, 1};
        m_list.Add(weekly);
        m_list.Add(once);
        m_strArgs = " --codepage UTF-8 --file " + ShellQuoted(strDir + "/emails.dat");
        Save();
    }
    void Save() const {
        ASSERT_TRUE(CTaskListFile::SaveTaskList(m_tmp / "emails.dat", m_list, CTextCodec::Open("UTF-8").Value()).Ok());
    }

    CZoneGuard m_zone{"Europe/Berlin"};  // the tool inherits it
    CTempDir m_tmp;
    CTaskList m_list;
    std::string m_strArgs;
};

}  // namespace

TEST_F(ShowTest, EverySettingInWordsWithTheAttachmentsAsTheyAreNow) {
    const CRun r = Show("'Weekly report'" + m_strArgs);
    EXPECT_EQ(r.nExit, 0);
    // DIR stands for the test's folder.
    std::string strExpected =
        "Task 1: Weekly report\n"
        "Active:          yes\n"
        "Schedule:        Every week on Monday and Thursday at 09:00\n"
        "Ends:            after 10 sendings (7 so far)\n"
        "Send overdue:    yes\n"
        "Receive first:   no\n"
        "Rules:           none\n"
        "Occurrences:     7 so far\n"
        "Last sent:       2026-12-07 09:00\n"
        "Last result:     not known (no tasks.json)\n"
        "Template:        DIR/report.eml\n"
        "From:            me@example.org\n"
        "Subject:         Weekly report\n"
        "To:              a@example.org, b@example.org\n"
        "Cc:              c@example.org\n"
        "Attachments:     DIR/reports/*.csv (2 files match now)\n"
        "                 DIR/present.pdf\n"
        "                 DIR/gone.pdf (missing now)\n"
        "                 DIR/nowhere/*.pdf (its folder is missing now)\n"
        "Next sendings (Europe/Berlin, CET, UTC+01:00):\n"
        "  2026-12-10 09:00\n"
        "  2026-12-14 09:00\n"
        "  2026-12-17 09:00\n";
    for (size_t n = 0; (n = strExpected.find("DIR/", n)) != std::string::npos; n += m_tmp.Path().size())
        strExpected.replace(n, 3, m_tmp.Path());
    EXPECT_EQ(r.strOut, strExpected);
}

// "Sent" is said only of messages that went out: an occurrence whose
// template was missing counts, but is not sent, and "Last sent" skips it.
TEST_F(ShowTest, OnlyMessagesThatWentOutAreCalledSent) {
    struct CRow {
        const char* pszName;
        int nCount;            // occurrences used, as the task records them
        const char* pszKinds;  // the history's kinds, oldest first, one letter each
        std::string strOccurrences, strLastSent;
    };
    const CRow rows[] = {
        {"template missing twice", 2, "mm", "2 so far, 0 sent (2 template missing)", "never"},
        {"sent, then missing", 2, "sm", "2 so far, 1 sent (1 template missing)", "2026-12-01 09:00"},
        {"more than the history keeps", 7, "sfsks",
         "7 so far; of the last 5 recorded, 3 sent (1 failed, 1 skipped (overdue))", "2026-12-05 09:00"},
        {"older sendings not recorded", 7, "mm", "7 so far; of the last 2 recorded, 0 sent (2 template missing)",
         "not among the last 2 recorded"},
        {"sending, its result not known yet", 1, "h", "1 so far, 0 sent (1 sending)", "never"},
        // Skips by rules use nothing up: the one sent of two is all that is left of them.
        {"skipped by its rules beside", 2, "srrrr", "2 so far; of the last 1 recorded, 1 sent; 4 skipped by its rules",
         "2026-12-01 09:00"},
        {"only skipped by its rules", 0, "rr", "0 so far; 2 skipped by its rules", "never"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszName);
        std::string strJson;
        for (int i = 0; row.pszKinds[i]; ++i) {
            static const std::map<char, std::string> kKinds = {{'m', "template-missing"}, {'s', "sent"},
                                                               {'f', "failed"},           {'k', "skipped-overdue"},
                                                               {'r', "skipped"},          {'h', "handed-over"}};
            strJson += std::string(i ? "," : "") + R"({"kind": ")" + kKinds.at(row.pszKinds[i]) +
                       R"(", "occurrence": "2026-12-0)" + std::to_string(i + 1) +
                       R"( 09:00", "messageId": "", "text": "", "when": 1796371200})";
        }
        CTempDir::WriteFile(m_tmp.Path() + "/history.json",
                            R"({"version": 1, "tasks": {"report.eml": [)" + strJson + "]}}");
        m_list[0].m_nOccurrenceCount = row.nCount;
        Save();
        const std::string strOut = Show("1" + m_strArgs).strOut;
        EXPECT_TRUE(Contains(strOut, "Occurrences:     " + row.strOccurrences + "\n"));
        EXPECT_TRUE(Contains(strOut, "Last sent:       " + row.strLastSent + "\n"));
    }
}

TEST_F(ShowTest, TheLastResultComesFromTheHistoryBesideTheTaskList) {
    // As the add-in writes it: by the template's file name, newest last.
    CTempDir::WriteFile(m_tmp.Path() + "/history.json",
                        R"({"version": 1, "tasks": {"report.eml": [
                            {"kind": "sent", "occurrence": "2026-12-03 09:00", "messageId": "<a@x>",
                             "text": "", "when": 1796371200},
                            {"kind": "failed", "occurrence": "2026-12-07 09:00", "messageId": "<b@x>",
                             "text": "550 no such user here", "when": 1796630460}]}})");
    EXPECT_TRUE(Contains(Show("1" + m_strArgs).strOut,
                         "Last result:     The occurrence of 2026-12-07 09:00 failed for good "
                         "(2026-12-07 09:01): 550 no such user here\n"));
    EXPECT_TRUE(Contains(Show("2" + m_strArgs).strOut, "Last result:     none recorded\n"));

    CTempDir::WriteFile(m_tmp.Path() + "/history.json", "{\"version\": 7}");
    const CRun r = Show("1" + m_strArgs);
    EXPECT_EQ(r.nExit, 0) << "a damaged history does not stop the rest";
    EXPECT_TRUE(Contains(
        r.strOut, "Last result:     not known (" + m_tmp.Path() + "/history.json: not a version 1 or 2 task store)\n"));
    EXPECT_EQ(CTempDir::ReadFile(m_tmp.Path() + "/history.json"), "{\"version\": 7}") << "show writes nothing";

    // Wrongly typed members once aborted show; a FIFO once blocked it.
    for (const char* pszHistory :
         {"{\"version\":\"1\",\"tasks\":{}}", "{\"version\":1,\"tasks\":{\"report.eml\":[{\"kind\":5}]}}", "fifo"}) {
        SCOPED_TRACE(pszHistory);
        std::filesystem::remove(m_tmp.Path() + "/history.json");
        if (std::string(pszHistory) == "fifo") ASSERT_EQ(::mkfifo((m_tmp.Path() + "/history.json").c_str(), 0600), 0);
        else CTempDir::WriteFile(m_tmp.Path() + "/history.json", pszHistory);
        const CRun rTyped = Show("1" + m_strArgs);
        EXPECT_EQ(rTyped.nExit, 0) << rTyped.strOut;
        EXPECT_TRUE(Contains(rTyped.strOut, "Last result:     not known ("));
    }
}

// A completed task with a missing template is shown as it is; a task that
// is not there or not named is an error.
TEST_F(ShowTest, ACompletedTaskAMissingTemplateAndATaskThatIsNotThere) {
    const CRun rCompleted = Show("2" + m_strArgs);
    EXPECT_EQ(rCompleted.nExit, 0);
    for (const char* pszLine :
         {"Active:          no (not sent until activated)\n", "Schedule:        Once on 2026-11-02 at 12:00\n",
          "/missing.eml (missing)\n", "Attachments:     none\n", "  none: the schedule has ended\n"})
        EXPECT_TRUE(Contains(rCompleted.strOut, pszLine));
    const CRun rNone = Show("3" + m_strArgs);
    EXPECT_EQ(rNone.nExit, 2);
    EXPECT_EQ(rNone.strOut, "quillory: there is no task 3 (the list has 2)\n");
    EXPECT_EQ(Show("Nobody" + m_strArgs).strOut, "quillory: there is no task named \"Nobody\"\n");
    EXPECT_EQ(Show(m_strArgs).nExit, 1);
    m_list.Add(m_list[1]);  // two tasks of one name
    Save();
    const CRun r = Show("Invitation" + m_strArgs);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_EQ(r.strOut, "quillory: task \"Invitation\": more than one task has this name; give its index\n");
}

// A name with a line break and escape sequences once printed a fake row and
// coloured the terminal; every human-readable output shows it escaped, and
// JSON keeps it exact.
TEST_F(ShowTest, ControlCharactersAreShownEscapedAndJsonStaysExact) {
    const std::string strEvil = "Evil\n3 * Fake 2026-12-07 09:00\x1b[31m\x07\xc2\x9b";
    const std::string strShown = "Evil\\n3 * Fake 2026-12-07 09:00\\x1b[31m\\x07\\u009b";
    m_list.SetAt(0, [&] {
        CTaskItem t = m_list[0];
        t.m_strTaskName = strEvil;
        return t;
    }());
    Save();
    const CRun rShow = Show("1" + m_strArgs);
    EXPECT_EQ(rShow.strOut.substr(0, rShow.strOut.find('\n')), "Task 1: " + strShown);
    const CRun rList = Tool("list" + m_strArgs);
    EXPECT_EQ(rList.strOut.substr(0, rList.strOut.find('\n')), "1 * " + strShown + " 2026-12-10 09:00");
    for (const CRun* pRun : {&rShow, &rList})
        for (const char c : pRun->strOut) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    const CRun rJson = Tool("list --json" + m_strArgs);
    EXPECT_TRUE(Contains(rJson.strOut, "\"name\": \"Evil\\n3 * Fake 2026-12-07 09:00\\u001b[31m\\u0007\u009b\""));
}
