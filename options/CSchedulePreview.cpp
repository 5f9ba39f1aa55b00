#include "CSchedulePreview.h"

#include <array>

#include "CLocalZone.h"
#include "CPlaceholders.h"
#include "CRuledSchedule.h"
#include "CSchedule.h"
#include "CSendingPreview.h"
#include "CTaskZone.h"
#include "CalendarNames.h"
#include "TaskTime.h"

namespace {

// "Tue 2026-12-08 09:00".
QString Shown(time_t t) {
    const TaskDateTime dt = TaskTime::FromAbsolute(t);
    const std::string strDay = dt.nDayOfWeek >= 1 && dt.nDayOfWeek <= 7
                                   ? std::string(kWeekdayNames[static_cast<size_t>(dt.nDayOfWeek - 1)], 3)
                                   : "";
    return QString::fromStdString(strDay + " " + TaskTime::Format(dt));
}

// The coming sending times, up to nCount, with task scheduled and placed as
// Schedule leaves it.
CResult<std::vector<time_t>> Coming(CTaskItem& task, bool bNewTask, const IClock& clock, const CTaskRules& rules,
                                    CHolidayCache& holidays, int nCount) {
    const time_t tNow = clock.Now();
    if (bNewTask) task.m_dtLastSent.Empty();
    const CWorkingDays days = holidays.WorkingDaysAround(rules, tNow);
    const CSchedule schedule(clock);
    QUILLORY_TRY(CRuledSchedule(schedule, rules, days).ScheduleAnew(task, bNewTask, tNow));
    if (!task.m_dtNextSending.IsSet()) return CSendingPreview::Next(task, nCount, rules, days);
    QUILLORY_TRY_VALUE(const time_t tFrom, TaskTime::ToAbsolute(task.m_dtNextSending));
    return holidays.Coming(task, nCount, rules, tFrom);
}

}  // namespace

QString CSchedulePreview::Times(CTaskItem task, bool bNewTask, const IClock& clock, const CTaskRules& rules,
                                CHolidayCache& holidays) {
    // The start is the task's zone's time, as Schedule reads it.
    const auto rStart = CTaskZone::Run(rules.strZone, task, [](CTaskItem& t) {
        const TaskDateTime& s = t.m_dtStart;  // with its seconds, as Schedule reads them
        return TaskTime::ToAbsolute(s.nYear, s.nMonth, s.nDay, s.nHour, s.nMinute, s.nSecond);
    });
    if (!rStart) return QString::fromStdString("The starting date cannot be used: " + rStart.Problem());
    const time_t tNow = clock.Now();
    if (bNewTask && *rStart <= tNow) return "The starting time has passed; Schedule needs a later one.";
    const auto rTimes = Coming(task, bNewTask, clock, rules, holidays, kCount);
    if (!rTimes) return QString::fromStdString("The schedule cannot be computed: " + rTimes.Problem());
    if (rTimes->empty()) return "None: the schedule has ended.";
    QString str;
    for (size_t i = 0; i < rTimes->size(); ++i) str += (i == 0 ? "" : i == 3 ? "\n" : "      ") + Shown((*rTimes)[i]);
    return str;
}

QString CSchedulePreview::ZoneNote(const CTaskItem& task, const CTaskRules& rules) {
    if (rules.strZone.empty()) return {};
    const auto rAt = CTaskZone::Absolute(rules.strZone, task.m_dtStart);
    if (!rAt) return QString::fromStdString(rAt.Problem());
    const std::string strHere = TaskTime::Format(TaskTime::FromAbsolute(*rAt)).substr(11);
    return QString::fromStdString(TaskTime::Format(task.m_dtStart).substr(11) + " " + rules.strZone + " = " + strHere +
                                  " here");
}

QString CSchedulePreview::NextSubject(CTaskItem task, bool bNewTask, const IClock& clock, const std::string& strSubject,
                                      const CTaskRules& rules, CHolidayCache& holidays) {
    if (!CPlaceholders::Has(strSubject)) return {};
    const auto rTimes = Coming(task, bNewTask, clock, rules, holidays, 1);
    if (!rTimes || rTimes->empty()) return {};
    const auto rFilled =
        CPlaceholders::Fill(strSubject,
                            {CTaskZone::OccurrenceInZone(rules.strZone, TaskTime::FromAbsolute(rTimes->front())),
                             task.m_nOccurrenceCount + 1, task.m_strTaskName},
                            "Subject");
    return QString::fromStdString(rFilled ? "Next subject: " + *rFilled : rFilled.ProblemLines().front());
}

QString CSchedulePreview::Zone(const IClock& clock) {
    return QString::fromStdString("Times are in " + CLocalZone::Describe(clock.Now()));
}
