#include "CSchedulePreview.h"

#include <array>

#include "CLocalZone.h"
#include "CSchedule.h"
#include "CSendingPreview.h"
#include "TaskTime.h"

namespace {

// "Tue 2026-12-08 09:00".
QString Shown(time_t t) {
    static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const TaskDateTime dt = TaskTime::FromAbsolute(t);
    const char* pszDay = dt.nDayOfWeek >= 1 && dt.nDayOfWeek <= 7 ? kDays[static_cast<size_t>(dt.nDayOfWeek - 1)] : "";
    return QString::fromStdString(pszDay + (" " + TaskTime::Format(dt)));
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

QString CSchedulePreview::Zone(const IClock& clock) {
    return QString::fromStdString("Times are in " + CLocalZone::Describe(clock.Now()));
}
