// Tasks loaded into the sheet show their form and values, and scheduling
// them unchanged writes the same recurrence back; the form not in use keeps
// the panel's own initial values on screen and the task's values in store.
#include <QSpinBox>

#include "COptionsTestBase.h"
#include "CRulesPage.h"
#include "CTaskRulesJson.h"

namespace {

class RoundTripTest : public COptionsTestBase {
protected:
    CTaskItem Base() {
        CTaskItem t;
        t.m_strTaskName = "Loaded";
        t.m_dtStart = {2024, 6, 12, 4, 8, 45, 17};  // seconds are kept though not shown
        t.m_nEndKind = 0;
        t.m_dtEnd = {2024, 7, 1, 2};
        t.m_nEndAfterCount = 7;
        t.m_bActive = 1;
        return t;
    }
    // Opens the task for its schedule and presses Schedule at once.
    CTaskItem Reschedule(const CTaskItem& t) {
        m_list.RemoveAll();
        m_list.Add(t);
        Open(0, COptionsDlg::kModeSchedule, 0, &t);
        EXPECT_TRUE(m_boxes.m_vecShown.empty());
        EXPECT_TRUE(Schedule());
        m_boxes.m_vecShown.clear();
        return m_pDlg->GetTask();
    }
    static void ExpectSameRecurrence(CTaskItem a, CTaskItem b) {
        a.m_dtNextSending = b.m_dtNextSending = {};
        a.m_dtLastSent = b.m_dtLastSent = {};
        EXPECT_EQ(a, b);
    }
};

}  // namespace

TEST_F(RoundTripTest, EveryFormLoadsAndWritesBackUnchanged) {
    using T = CTaskItem;
    const struct {
        const char* pszName;
        CFields fields;          // set on Base()
        std::vector<int> vecOn;  // the week days ticked besides
    } cases[] = {
        {"once", {{&T::m_nRecurrence, 0}}},
        {"every 999999 minutes", {{&T::m_nRecurrence, 1}, {&T::m_nMinuteInterval, 999999}}},
        {"every 12 days", {{&T::m_nRecurrence, 2}, {&T::m_nDailyInterval, 12}}},
        {"every odd day",  // the days of form 0 are kept in store, not shown
         {{&T::m_nRecurrence, 2}, {&T::m_nDailyMode, 1}, {&T::m_nDailyDayKind, 4}, {&T::m_nDailyInterval, 9}}},
        {"every 3 weeks on Sunday, Monday (as a new task) and Saturday",
         {{&T::m_nRecurrence, 3}, {&T::m_nWeeklyInterval, 3}, {&T::m_nWeeklyWeekOfMonth, -1}},
         {0, 6}},
        {"fourth week of the month",
         {{&T::m_nRecurrence, 3}, {&T::m_nWeeklyMode, 1}, {&T::m_nWeeklyWeekOfMonth, 2}, {&T::m_nWeeklyInterval, 1}}},
        {"day 31 of every 6 months, ending after a count",
         {{&T::m_nRecurrence, 4}, {&T::m_nMonthlyDay, 31}, {&T::m_nMonthlyInterval, 6}, {&T::m_nEndKind, 1}}},
        {"fourth Saturday of every 4 months, ending on a date",  // the values of form 0 stay in store
         {{&T::m_nRecurrence, 4},
          {&T::m_nMonthlyMode, 1},
          {&T::m_nMonthlyOrdinal, 3},
          {&T::m_nMonthlyDayKind, 11},
          {&T::m_nMonthlyInterval2, 4},
          {&T::m_nMonthlyDay, 20},
          {&T::m_nMonthlyInterval, 5},
          {&T::m_nEndKind, 2}}},
        {"every 24 December", {{&T::m_nRecurrence, 5}, {&T::m_nYearlyMonth, 11}, {&T::m_nYearlyDay, 24}}},
        {"last weekday of February",
         {{&T::m_nRecurrence, 5},
          {&T::m_nYearlyMode, 1},
          {&T::m_nYearlyOrdinal, 4},
          {&T::m_nYearlyDayKind, 1},
          {&T::m_nYearlyMonth2, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CTaskItem t = Base();
        SetFields(t, c.fields);
        for (int nDay : c.vecOn) t.m_bWeekDays[nDay] = 1;
        ExpectSameRecurrence(Reschedule(t), t);
    }
}

TEST_F(RoundTripTest, TheUnusedFormShowsThePanelsInitialValues) {
    using T = CTaskItem;
    CTaskItem t = Base();
    SetFields(t, {{&T::m_nRecurrence, 4},
                  {&T::m_nMonthlyMode, 1},
                  {&T::m_nMonthlyOrdinal, 2},
                  {&T::m_nMonthlyDayKind, 7},
                  {&T::m_nMonthlyInterval2, 3},
                  {&T::m_nMonthlyDay, 20},
                  {&T::m_nMonthlyInterval, 5}});
    m_list.Add(t);
    Open(0, COptionsDlg::kModeSchedule, 0, &t);
    EXPECT_TRUE(Checked(1219));
    EXPECT_EQ(Selected(1057), 2);
    EXPECT_EQ(Selected(1058), 7);
    EXPECT_EQ(Text(1215), "3");
    EXPECT_EQ(Text(1055), "1");
    EXPECT_EQ(Text(1013), "1");
    EXPECT_FALSE(Enabled(1055));
    EXPECT_FALSE(Enabled(1013));
    EXPECT_TRUE(Enabled(1057));
    // The sending time shows hours and minutes; the seconds survive (EveryFormLoadsAndWritesBackUnchanged).
    EXPECT_EQ(Get<QTimeEdit>(1038)->text().toStdString(), "08:45");
}

TEST_F(RoundTripTest, ListsHoldTheirWordsInOrderAndOnlyTheChosenPanelIsWrittenWhileEachKeepsItsValues) {
    OpenNew();
    // The lists' words stand in the order of the numbers stored for them.
    auto items = [&](int nId) {
        CStrings vec;
        auto* p = Get<QComboBox>(nId);
        for (int i = 0; i < p->count(); ++i) vec.push_back(p->itemText(i).toStdString());
        return vec;
    };
    const CStrings vecKinds = {"day", "weekday", "weekend day", "even day", "odd day"};
    CStrings vecDays = vecKinds;
    vecDays.insert(vecDays.end(), {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"});
    const CStrings vecOrdinals = {"first", "second", "third", "fourth", "last"};
    const CStrings vecMonths = {"january", "february", "march",     "april",   "may",      "june",
                                "july",    "august",   "september", "october", "november", "december"};
    EXPECT_EQ(items(1109), vecKinds);
    EXPECT_EQ(items(1054), (CStrings{"second", "third", "fourth"}));
    EXPECT_EQ(items(1057), vecOrdinals);
    EXPECT_EQ(items(1058), vecDays);
    EXPECT_EQ(items(1014), vecMonths);
    EXPECT_EQ(items(1016), vecOrdinals);
    EXPECT_EQ(items(1017), vecDays);
    EXPECT_EQ(items(1018), vecMonths);

    Click(219);
    Type(240, "7");
    Click(11005);
    Type(1007, "0");  // wrong, but on a panel that is not chosen
    Click(1106);
    Type(1052, "4");
    Click(1019);
    Click(11005);
    EXPECT_TRUE(m_pDlg->GeneralPage().Panel(2)->isVisibleTo(&m_pDlg->GeneralPage()));
    EXPECT_FALSE(m_pDlg->GeneralPage().Panel(3)->isVisibleTo(&m_pDlg->GeneralPage()));
    Click(1106);
    EXPECT_EQ(Text(1052), "4");
    EXPECT_TRUE(Checked(1019));
    // "Th&e" without touching the lists gives "first" and "day".
    Click(1107);
    EXPECT_EQ(Selected(1057), -1);
    Click(1219);
    EXPECT_EQ(Selected(1057), 0);
    EXPECT_EQ(Selected(1058), 0);
    Select(1058, 5);
    Click(1228);
    Click(1219);
    EXPECT_EQ(Selected(1058), 5);  // a selection already made stays
    EXPECT_EQ(Selected(1014), 0);  // the yearly month starts at January
    Click(1029);                   // not active
    ASSERT_TRUE(Schedule());
    const CTaskItem task = m_pDlg->GetTask();
    EXPECT_EQ(task.m_nRecurrence, 4);
    EXPECT_EQ(task.m_nMonthlyOrdinal, 0);
    EXPECT_EQ(task.m_nMonthlyDayKind, 5);
    EXPECT_EQ(task.m_bActive, 0);
    // Only the chosen panel is checked and written.
    for (int32_t CTaskItem::*pField :
         {&CTaskItem::m_nMinuteInterval, &CTaskItem::m_nDailyInterval, &CTaskItem::m_nWeeklyInterval})
        EXPECT_EQ(task.*pField, CTaskItem().*pField);
}

TEST_F(RoundTripTest, EachEndChoiceEnablesOnlyItsFieldAndIsWritten) {
    OpenNew();
    struct {
        int nRadio;
        bool bCount, bDate;
        int32_t nKind;
    } const steps[] = {
        {1040, true, false, 1}, {1039, false, false, 0}, {1041, false, true, 2}, {1039, false, false, 0}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.nRadio);
        Click(step.nRadio);
        EXPECT_EQ(Enabled(1042), step.bCount);
        EXPECT_EQ(Enabled(1036), step.bDate);
        m_boxes.m_vecShown.clear();
        ASSERT_TRUE(Schedule());
        EXPECT_EQ(m_pDlg->GetTask().m_nEndKind, step.nKind);
        Compose();  // the commit used the draft up
    }
}

TEST_F(RoundTripTest, ExecReturnsOneAfterScheduleAndTwoOtherwise) {
    CTaskItem t = Base();
    m_list.Add(t);
    for (const char* pszHow : {"buttonSchedule", "buttonCancel", "the close box"}) {
        COptionsDlg dlg(nullptr, m_clock);
        dlg.m_nMode = COptionsDlg::kModeSchedule;
        dlg.m_nEditIndex = 0;
        dlg.SetTask(t);
        QTimer::singleShot(0, &dlg, [&dlg, pszHow] {
            if (auto* p = dlg.findChild<QPushButton*>(pszHow)) p->click();
            else dlg.close();
        });
        EXPECT_EQ(dlg.exec(), pszHow == std::string("buttonSchedule") ? 1 : 2) << pszHow;
    }
}

// The Rules page shows every rule it is given, the wait and the pause among
// them, and gives back exactly those; a wait whose deadline is shorter than
// one try is refused in the page's own words.
TEST(RulesPageRoundTrip, EveryRuleIsShownAndGivenBackAndAShortWaitIsRefused) {
    const nlohmann::json jRules = {{"workingDays", "mon-sat"},   {"onHoliday", "after"},
                                   {"zone", "Asia/Tokyo"},       {"ifNothingAttached", "wait"},
                                   {"waitMinutes", 15},          {"waitDeadlineMinutes", 120},
                                   {"waitThen", "send"},         {"missed", "latest"},
                                   {"pauseUntil", "2031-03-01"}, {"skipNext", true}};
    const CTaskRules rules = ValueOf(CTaskRulesJson::FromJson(jRules));
    CRulesPage page;
    page.Load(rules);
    EXPECT_EQ(page.NothingAttached().currentText(), "Wait for the file");
    EXPECT_EQ(page.WaitMinutes().value(), 15);
    EXPECT_EQ(page.WaitDeadline().value(), 120);
    EXPECT_EQ(page.PauseUntil().date(), QDate(2031, 3, 1));
    const auto rBack = page.Rules();
    ASSERT_TRUE(rBack) << rBack.Problem();
    EXPECT_EQ(CTaskRulesJson::ToJson(*rBack), CTaskRulesJson::ToJson(rules));
    EXPECT_EQ(*rBack, rules);

    page.WaitDeadline().setValue(10);
    EXPECT_EQ(page.Rules().Problem(), "Nothing to attach: the wait must be at least as long as one try.");
}
