// The coming sending times under the recurrence: what Schedule will store,
// updated with every edit, quietly, in the zone they are read in.
#include <QLabel>

#include "COptionsTestBase.h"
#include "CRulesPage.h"

using namespace COptionsIds;

namespace {

class PreviewTest : public COptionsTestBase, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        COptionsTestBase::SetUp();
        SetZone(GetParam());
        m_clock.Set(Local(2024, 6, 7, 10, 0, 0));  // Friday 7 June 2024, 10:00 in the zone
    }
    std::string Times() {
        QCoreApplication::processEvents();  // the preview follows a burst of edits once
        return m_pDlg->GeneralPage().PreviewTimes().toStdString();
    }
    std::string Zone() const { return m_pDlg->GeneralPage().PreviewZone().toStdString(); }
    void Untick(int nId) {
        if (Checked(nId)) Click(nId);
    }
};

}  // namespace

// How the times run on (a day 31 into the next month): ScheduleTest.
TEST_P(PreviewTest, ShowsWhatScheduleWillStoreAndFollowsEachEdit) {
    OpenNew();
    Click(IDC_WEEKLY);
    // Without times it says why.
    Type(IDC_WEEKLY_INTERVAL, "0");
    EXPECT_EQ(Times(), "Shown once the dates and counts on this page are valid.");
    Type(IDC_WEEKLY_INTERVAL, "1");
    for (int nId : {IDC_SUNDAY, IDC_MONDAY, IDC_TUESDAY, IDC_WEDNESDAY, IDC_THURSDAY, IDC_FRIDAY, IDC_SATURDAY})
        Untick(nId);
    EXPECT_EQ(Times(), "Shown once a day of the week is ticked.");
    Click(IDC_FRIDAY);
    SetStart(QDate(2024, 6, 7), QTime(9, 59));  // a minute before the present
    EXPECT_EQ(Times(), "The starting time has passed; Schedule needs a later one.");
    SetStart(QDate(2024, 6, 7), QTime(10, 1));
    EXPECT_EQ(Times().substr(0, 20), "Fri 2024-06-07 10:01");

    SetStart(QDate(2024, 6, 10), QTime(9, 0));  // a Monday
    Click(IDC_FRIDAY);
    Click(IDC_MONDAY);
    Click(IDC_THURSDAY);
    Type(IDC_WEEKLY_INTERVAL, "2");
    // Weeks run Sunday to Saturday: the start's week, then every second one.
    EXPECT_EQ(Times(),
              "Mon 2024-06-10 09:00      Thu 2024-06-13 09:00      Mon 2024-06-24 09:00\n"
              "Thu 2024-06-27 09:00      Mon 2024-07-08 09:00");
    const std::map<std::string, std::string> zones = {{"Europe/Berlin", "Europe/Berlin, CEST, UTC+02:00"},
                                                      {"America/New_York", "America/New_York, EDT, UTC-04:00"},
                                                      {"Asia/Kathmandu", "Asia/Kathmandu, +0545, UTC+05:45"}};
    EXPECT_EQ(Zone(), "Times are in " + zones.at(GetParam()));

    Click(IDC_END_AFTER);
    Type(IDC_END_AFTER_COUNT, "2");
    EXPECT_EQ(Times(), "Mon 2024-06-10 09:00      Thu 2024-06-13 09:00");

    EXPECT_TRUE(m_boxes.m_vecShown.empty()) << "the preview shows no box";
    ASSERT_TRUE(Schedule());
    EXPECT_EQ(m_pDlg->GetTask().m_dtNextSending, (TaskDateTime{2024, 6, 10, 2, 9, 0, 1}));
}

// The Rules page's choices show in the preview as they are made: a day off
// skipped, and a zone of its own with its time here beside it.
TEST_P(PreviewTest, TheRulesPageMovesTheTimesAndNamesTheZonesTimeHere) {
    OpenNew("Report {date:%a %Y-%m-%d}");
    SetStart(QDate(2024, 6, 8), QTime(9, 0));  // a Saturday
    Click(IDC_DAILY);
    Click(IDC_DAILY_EVERY_N_DAYS);
    Type(IDC_DAILY_INTERVAL, "1");
    EXPECT_EQ(Times().substr(0, 20), "Sat 2024-06-08 09:00");
    CRulesPage& page = m_pDlg->RulesPage();
    page.OnDayOff().setCurrentIndex(static_cast<int>(CTaskRules::EOnDayOff::Skip));
    EXPECT_EQ(Times(),
              "Mon 2024-06-10 09:00      Tue 2024-06-11 09:00      Wed 2024-06-12 09:00\n"
              "Thu 2024-06-13 09:00      Fri 2024-06-14 09:00\n"
              "Next subject: Report Mon 2024-06-10");
    page.OnDayOff().setCurrentIndex(static_cast<int>(CTaskRules::EOnDayOff::Send));
    page.Zone().setCurrentText("Asia/Tokyo");
    // Saturday 09:00 in Tokyo is Friday evening in New York: the subject names Tokyo's day.
    EXPECT_EQ(Times().substr(Times().rfind('\n') + 1), "Next subject: Report Sat 2024-06-08");
    // 09:00 in Tokyo (UTC+9) is 00:00 UTC.
    const std::map<std::string, std::string> here = {
        {"Europe/Berlin", "02:00"}, {"America/New_York", "20:00"}, {"Asia/Kathmandu", "05:45"}};
    EXPECT_EQ(page.findChild<QLabel*>("zoneNote")->text().toStdString(),
              "09:00 Asia/Tokyo = " + here.at(GetParam()) + " here");
    page.Zone().setCurrentText("Mars/Olympus_Mons");
    EXPECT_EQ(Times(), "Shown once the choices on the Rules page are valid.");

    // A yearly holiday still counts years ahead: Christmas 2028 is a Monday.
    page.Zone().setCurrentText("");
    const std::string strIcs = m_dir.Path() + "/christmas.ics";
    CTempDir::WriteFile(strIcs,
                        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:xmas@test\r\n"
                        "DTSTART;VALUE=DATE:20201225\r\nDTEND;VALUE=DATE:20201226\r\nRRULE:FREQ=YEARLY\r\n"
                        "SUMMARY:Christmas Day\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    page.AddHolidayFiles({QString::fromStdString(strIcs)});
    page.OnDayOff().setCurrentIndex(static_cast<int>(CTaskRules::EOnDayOff::Before));
    SetStart(QDate(2024, 12, 20), QTime(9, 0));  // a move never goes before the start
    Click(IDC_YEARLY);
    Select(IDC_YEARLY_MONTH, 11);
    Type(IDC_YEARLY_DAY, "25");
    EXPECT_EQ(Times(),
              "Tue 2024-12-24 09:00      Wed 2025-12-24 09:00      Thu 2026-12-24 09:00\n"
              "Fri 2027-12-24 09:00      Fri 2028-12-22 09:00\n"
              "Next subject: Report Tue 2024-12-24");
}

INSTANTIATE_TEST_SUITE_P(Zones, PreviewTest, ::testing::Values("Europe/Berlin", "America/New_York", "Asia/Kathmandu"),
                         [](const auto& info) { return ZoneTestName(info.param); });

// The subject of the next sending is shown filled in; a placeholder that
// sending could not fill, in the subject or a new attachment entry, stops
// Schedule with its place named.
TEST_P(PreviewTest, ShowsTheNextSubjectFilledInAndRefusesWhatCannotBe) {
    OpenNew("Report {month-1:%B %Y} #{n}");
    SetStart(QDate(2024, 7, 1), QTime(9, 0));
    const std::string strTimes = Times();
    EXPECT_EQ(strTimes.substr(strTimes.rfind('\n') + 1), "Next subject: Report June 2024 #1") << strTimes;
    g_spCurMailItem->put_Subject("Report {dat}");
    SetStart(QDate(2024, 7, 2), QTime(9, 0));
    EXPECT_EQ(Times().substr(Times().rfind('\n') + 1), "Subject: unknown placeholder {dat} at 8");
    EXPECT_FALSE(Schedule());
    ASSERT_FALSE(Texts().empty());
    EXPECT_TRUE(Texts().back().starts_with("The subject: unknown placeholder {dat} at 8.\n")) << Texts().back();

    g_spCurMailItem->put_Subject("Report {month-1:%B %Y}");
    CArray<std::string> arrEntries;
    arrEntries.Add("/srv/{month-1:%Q}.csv");
    m_pDlg->AttachmentsPage().Load(arrEntries);
    EXPECT_FALSE(Schedule());
    EXPECT_TRUE(Texts().back().starts_with(
        "The attachment entry /srv/{month-1:%Q}.csv: unknown conversion %Q in {month-1:%Q} at 6.\n"))
        << Texts().back();
    arrEntries.RemoveAll();
    arrEntries.Add("/srv/{month-1:%Y-%m}.csv");
    Get<QTreeWidget>(IDC_ATTACHMENT_LIST)->clear();
    m_pDlg->AttachmentsPage().Load(arrEntries);
    ASSERT_TRUE(Schedule()) << Texts().back();
    ASSERT_EQ(m_pDlg->GetTask().m_arrAttachments.GetSize(), 1);
    EXPECT_EQ(m_pDlg->GetTask().m_arrAttachments[0], "/srv/{month-1:%Y-%m}.csv");

    // Opened from the Email Manager, with no message open, the sheet reads the subject from the template.
    const CTaskItem stored = m_pDlg->GetTask();
    g_spCurMailItem.Release();
    Open(0, COptionsDlg::kModeSchedule, 0, &stored);
    SetStart(QDate(2024, 9, 2), QTime(9, 0));
    EXPECT_EQ(Times().substr(Times().rfind('\n') + 1), "Next subject: Report August 2024");
}
