#include "CTaskCheck.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "CPlaceholders.h"
#include "CSchedule.h"
#include "CTaskListFile.h"
#include "CalendarNames.h"
#include "ScheduleRanges.h"
#include "TaskTime.h"

namespace {

namespace R = ScheduleRanges;

class CRules {
public:
    explicit CRules(CProblems& problems) : m_problems(problems) {}

    void Problem(const std::string& strField, const std::string& strText) { m_problems.Add(strField, strText); }
    // One of the choices of a list.
    void Choice(const char* pszField, int32_t n, R::CRange range) {
        if (!range.Holds(n)) Problem(pszField, "must be " + range.Text() + ", not " + std::to_string(n));
    }
    // A count field.
    void Count(const char* pszField, int32_t n, R::CRange range = R::kInterval) {
        if (n < range.nMin)
            Problem(pszField, "must be at least " + std::to_string(range.nMin) + ", not " + std::to_string(n));
        else if (n > range.nMax)
            Problem(pszField, "must be at most " + std::to_string(range.nMax) + ", not " + std::to_string(n));
    }
    void Flag(const std::string& strField, int32_t b) {
        if (b != 0 && b != 1) Problem(strField, "must be 0 or 1, not " + std::to_string(b));
    }

private:
    CProblems& m_problems;
};

std::string DateText(int nYear, int nMonth, int nDay) {
    char sz[48];
    std::snprintf(sz, sizeof sz, "%04d-%02d-%02d", nYear, nMonth, nDay);
    return sz;
}

// The longest a month can be, any year: 29 February is a real date.
int LongestMonth(int nMonthIndex) { return CSchedule::DaysInMonth(2000, nMonthIndex + 1); }

}  // namespace

void CTaskCheck::CheckStartAndEnd(const CTaskItem& task, bool bNewTask, time_t tNow, CProblems& vec) {
    const TaskDateTime& s = task.m_dtStart;
    const auto rStart = TaskTime::ToAbsolute(s.nYear, s.nMonth, s.nDay, s.nHour, s.nMinute, s.nSecond);
    if (!rStart) return vec.Add("start", rStart.Problem());
    if (bNewTask && *rStart <= tNow)
        vec.Add("start", "Please change the starting date and time later than the current time.");
    if (task.EndKind() != EEndKind::EndDate) return;
    const auto rEnd = TaskTime::EndOfDay(task.m_dtEnd);
    if (!rEnd) vec.Add("end", rEnd.Problem());
    else if (*rEnd <= *rStart) vec.Add("end", "Please change the end date later than the starting time.");
}

void CTaskCheck::CheckName(const CTaskList& list, int nSelf, const std::string& strName, CProblems& vec) {
    if (strName.empty()) return vec.Add("taskName", "Please enter the task name.");
    for (int i = 0; i < list.GetSize(); ++i)
        if (i != nSelf && list[i].m_strTaskName == strName)
            return vec.Add("taskName", "The task name already exists, please change it.");
}

void CTaskCheck::CheckPlaceholders(const CTaskItem& task, const CTaskItem* pBefore, CProblems& vec) {
    for (const auto& strEntry : task.m_arrAttachments) {
        if (pBefore && std::find(pBefore->m_arrAttachments.begin(), pBefore->m_arrAttachments.end(), strEntry) !=
                           pBefore->m_arrAttachments.end())
            continue;
        CProblems problems;
        CPlaceholders::Check(strEntry, strEntry, problems);
        for (const auto& problem : problems) vec.Add("attachments", problem.Line());
    }
}

int CTaskCheck::DayOfWeek(int nYear, int nMonth, int nDay) {
    // Sakamoto's method: 0 = Sunday.
    static const int kOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    // In 64 bits and always a valid index, whatever a caller passes: a
    // year near INT_MAX once overflowed and indexed before the table.
    const int64_t y = nMonth < 3 ? int64_t{nYear} - 1 : int64_t{nYear};
    const int64_t nOffset = nMonth >= 1 && nMonth <= 12 ? kOffsets[nMonth - 1] : 0;
    const int64_t nSum = (y + y / 4 - y / 100 + y / 400 + nOffset + nDay) % 7;
    return static_cast<int>(nSum < 0 ? nSum + 7 : nSum) + 1;
}

CProblems CTaskCheck::Check(const CTaskItem& task, const CTextCodec& codec) {
    CProblems vec;
    CheckDates(task, vec);
    CheckCalendar(task, vec);
    CheckRecurrence(task, vec);
    CheckEnd(task, vec);
    CheckFlags(task, vec);
    CheckSize(task, codec, vec);
    return vec;
}

void CTaskCheck::CheckDates(const CTaskItem& task, CProblems& vec) {
    auto group = [&](const char* pszField, const auto& dt) {
        if (auto rGroup = TaskTime::CheckGroup(dt); !rGroup) vec.Add({pszField, "invalid date: " + rGroup.Problem()});
    };
    if (!task.m_dtStart.IsSet()) vec.Add({"start", "must be set"});
    else group("start", task.m_dtStart);
    if (task.m_dtLastSent.IsSet()) group("lastSent", task.m_dtLastSent);
    if (task.m_dtNextSending.IsSet()) group("nextSending", task.m_dtNextSending);
    if (task.EndKind() == EEndKind::EndDate) {
        if (!task.m_dtEnd.IsSet()) vec.Add({"end", "must be set when endKind is 2"});
        else group("end", task.m_dtEnd);
    }
}

void CTaskCheck::CheckCalendar(const CTaskItem& task, CProblems& vec) {
    // Only groups that convert; CheckDates has named the others.
    auto date = [&](const std::string& strField, const auto& dt) {
        if (!dt.IsSet() || !TaskTime::CheckGroup(dt).Ok()) return false;
        const int nDays = CSchedule::DaysInMonth(dt.nYear, dt.nMonth);
        if (dt.nDay > nDays) {
            vec.Add({strField + ".day", std::to_string(dt.nDay) + " is not a day of " +
                                            kMonthNames[static_cast<size_t>(dt.nMonth - 1)] + " " +
                                            std::to_string(dt.nYear) + ", which has " + std::to_string(nDays)});
            return false;
        }
        const int nWeekday = DayOfWeek(dt.nYear, dt.nMonth, dt.nDay);
        if (dt.nDayOfWeek != nWeekday)
            vec.Add({strField + ".dayOfWeek",
                     "must be " + std::to_string(nWeekday) + " (" + kWeekdayNames[static_cast<size_t>(nWeekday - 1)] +
                         ") for " + DateText(dt.nYear, dt.nMonth, dt.nDay) + ", not " + std::to_string(dt.nDayOfWeek)});
        return true;
    };
    const bool bStart = date("start", task.m_dtStart);
    date("lastSent", task.m_dtLastSent);
    date("nextSending", task.m_dtNextSending);
    if (task.EndKind() == EEndKind::EndDate && date("end", task.m_dtEnd) && bStart) {
        const auto& s = task.m_dtStart;
        const auto& e = task.m_dtEnd;
        // The task may send up to 23:59:59 of the end date, so that day
        // itself is a valid end, as on the sheet.
        if (std::tie(e.nYear, e.nMonth, e.nDay) < std::tie(s.nYear, s.nMonth, s.nDay))
            vec.Add({"end", DateText(e.nYear, e.nMonth, e.nDay) + " is before the starting date " +
                                DateText(s.nYear, s.nMonth, s.nDay)});
    }
}

void CTaskCheck::CheckRecurrence(const CTaskItem& t, CProblems& vec) {
    CRules r(vec);
    r.Choice("recurrence", t.m_nRecurrence, R::kRecurrence);
    switch (t.Recurrence()) {
        case ERecurrence::Minutely: r.Count("minuteInterval", t.m_nMinuteInterval); break;
        case ERecurrence::Daily:
            r.Choice("dailyMode", t.m_nDailyMode, R::kDailyMode);
            if (t.DailyMode() == EDailyMode::EveryNDays) r.Count("dailyInterval", t.m_nDailyInterval);
            if (t.DailyMode() == EDailyMode::EveryDayOfKind)
                r.Choice("dailyDayKind", t.m_nDailyDayKind, R::kDailyDayKind);
            break;
        case ERecurrence::Weekly: {
            r.Choice("weeklyMode", t.m_nWeeklyMode, R::kWeeklyMode);
            if (t.WeeklyMode() == EWeeklyMode::EveryNWeeks) r.Count("weeklyInterval", t.m_nWeeklyInterval);
            if (t.WeeklyMode() == EWeeklyMode::WeekOfMonth)
                r.Choice("weeklyWeekOfMonth", t.m_nWeeklyWeekOfMonth, R::kWeekOfMonth);
            bool bAnyDay = false;
            for (int i = 0; i < 7; ++i) {
                r.Flag("weekDays[" + std::to_string(i) + "]", t.m_bWeekDays[i]);
                bAnyDay = bAnyDay || t.m_bWeekDays[i] != 0;
            }
            if (!bAnyDay) r.Problem("weekDays", "at least one day must be set");
            break;
        }
        case ERecurrence::Monthly:
            r.Choice("monthlyMode", t.m_nMonthlyMode, R::kMonthlyMode);
            if (t.MonthlyMode() == EMonthlyMode::DayOfMonth) {
                r.Count("monthlyDay", t.m_nMonthlyDay, R::kDayOfMonth);
                r.Count("monthlyInterval", t.m_nMonthlyInterval);
            } else if (t.MonthlyMode() == EMonthlyMode::OrdinalDay) {
                r.Choice("monthlyOrdinal", t.m_nMonthlyOrdinal, R::kOrdinal);
                r.Choice("monthlyDayKind", t.m_nMonthlyDayKind, R::kDayKind);
                r.Count("monthlyInterval2", t.m_nMonthlyInterval2);
            }
            break;
        case ERecurrence::Yearly:
            r.Choice("yearlyMode", t.m_nYearlyMode, R::kYearlyMode);
            if (t.YearlyMode() == EYearlyMode::MonthAndDay) {
                r.Choice("yearlyMonth", t.m_nYearlyMonth, R::kMonthIndex);
                // A day the month never has would run on into the next
                // month every year; 29 February waits for leap years.
                const bool bMonth = R::kMonthIndex.Holds(t.m_nYearlyMonth);
                const int nLongest = bMonth ? LongestMonth(t.m_nYearlyMonth) : R::kDayOfMonth.nMax;
                if (bMonth && t.m_nYearlyDay > nLongest && t.m_nYearlyDay <= R::kDayOfMonth.nMax)
                    r.Problem("yearlyDay", "must be at most " + std::to_string(nLongest) + " in " +
                                               kMonthNames[static_cast<size_t>(t.m_nYearlyMonth)] + ", not " +
                                               std::to_string(t.m_nYearlyDay));
                else r.Count("yearlyDay", t.m_nYearlyDay, R::kDayOfMonth);
            } else if (t.YearlyMode() == EYearlyMode::OrdinalDay) {
                r.Choice("yearlyOrdinal", t.m_nYearlyOrdinal, R::kOrdinal);
                r.Choice("yearlyDayKind", t.m_nYearlyDayKind, R::kDayKind);
                r.Choice("yearlyMonth2", t.m_nYearlyMonth2, R::kMonthIndex);
            }
            break;
        default: break;
    }
}

void CTaskCheck::CheckEnd(const CTaskItem& task, CProblems& vec) {
    CRules r(vec);
    r.Choice("endKind", task.m_nEndKind, R::kEndKind);
    if (task.EndKind() == EEndKind::AfterCount) r.Count("endAfterCount", task.m_nEndAfterCount, R::kOccurrences);
}

void CTaskCheck::CheckFlags(const CTaskItem& task, CProblems& vec) {
    CRules r(vec);
    r.Flag("active", task.m_bActive);
    r.Flag("receiveBeforeSending", task.m_bReceiveBeforeSending);
    r.Flag("sendOverdue", task.m_bSendOverdue);
}

void CTaskCheck::CheckSize(const CTaskItem& task, const CTextCodec& codec, CProblems& vec) {
    const size_t nLen = CTaskListFile::RecordLength(task, codec);
    if (nLen <= static_cast<size_t>(CTaskListFile::kMaxLength)) return;
    // Named after the text that takes the most room.
    size_t nAttachments = 0;
    for (const auto& str : task.m_arrAttachments) nAttachments += str.size();
    const char* pszField = "taskName";
    if (task.m_strTemplateFile.size() > task.m_strTaskName.size()) pszField = "templateFile";
    if (nAttachments > std::max(task.m_strTaskName.size(), task.m_strTemplateFile.size())) pszField = "attachments";
    vec.Add({pszField, "the task would take " + std::to_string(nLen) + " bytes in the task list file, more than the " +
                           std::to_string(CTaskListFile::kMaxLength) + " a task may take"});
}
