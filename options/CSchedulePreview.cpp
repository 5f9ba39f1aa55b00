#include "CSchedulePreview.h"

#include <array>

#include "CLocalZone.h"
#include "CPlaceholders.h"
#include "CSchedule.h"
#include "CSendingPreview.h"
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

}  // namespace

QString CSchedulePreview::Times(CTaskItem task, bool bNewTask, const IClock& clock) {
    const TaskDateTime& s = task.m_dtStart;  // with its seconds, as Schedule reads them
    const auto rStart = TaskTime::ToAbsolute(s.nYear, s.nMonth, s.nDay, s.nHour, s.nMinute, s.nSecond);
    if (!rStart) return QString::fromStdString("The starting date cannot be used: " + rStart.Problem());
    const time_t tNow = clock.Now();
    if (bNewTask && *rStart <= tNow) return "The starting time has passed; Schedule needs a later one.";
    if (bNewTask) task.m_dtLastSent.Empty();
    // The computation Schedule makes.
    if (const auto rNext = CSchedule(clock).ScheduleAnew(task, bNewTask, tNow); !rNext)
        return QString::fromStdString("The schedule cannot be computed: " + rNext.Problem());
    const auto rTimes = CSendingPreview::Next(task, kCount);
    if (!rTimes) return QString::fromStdString("The schedule cannot be computed: " + rTimes.Problem());
    if (rTimes->empty()) return "None: the schedule has ended.";
    QString str;
    for (size_t i = 0; i < rTimes->size(); ++i) str += (i == 0 ? "" : i == 3 ? "\n" : "      ") + Shown((*rTimes)[i]);
    return str;
}

QString CSchedulePreview::NextSubject(CTaskItem task, bool bNewTask, const IClock& clock,
                                      const std::string& strSubject) {
    if (!CPlaceholders::Has(strSubject)) return {};
    if (bNewTask) task.m_dtLastSent.Empty();
    if (!CSchedule(clock).ScheduleAnew(task, bNewTask, clock.Now()) || !task.m_dtNextSending.IsSet()) return {};
    const auto rFilled = CPlaceholders::Fill(
        strSubject, {task.m_dtNextSending, task.m_nOccurrenceCount + 1, task.m_strTaskName}, "Subject");
    return QString::fromStdString(rFilled ? "Next subject: " + *rFilled : rFilled.ProblemLines().front());
}

QString CSchedulePreview::Zone(const IClock& clock) {
    return QString::fromStdString("Times are in " + CLocalZone::Describe(clock.Now()));
}
