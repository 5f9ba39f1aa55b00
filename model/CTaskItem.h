#pragma once
#include <cstdint>
#include <string>

#include "CArray.h"
#include "TaskCalendarFields.h"
#include "TaskCodes.h"

// One scheduled e-mail task. Passed and stored by value; a copy owns its
// own strings and attachment list.
class CTaskItem {
public:
    CTaskItem();

    int32_t m_bActive = 0;
    std::string m_strTaskName;
    std::string m_strTemplateFile;
    int32_t m_bReceiveBeforeSending = 0;
    int32_t m_bSendOverdue = 0;
    CArray<std::string> m_arrAttachments;
    TaskDateTime m_dtStart;
    int32_t m_nRecurrence = 0;
    int32_t m_nMinuteInterval = 0;
    int32_t m_nDailyMode = 0;
    int32_t m_nDailyInterval = 0;
    int32_t m_nDailyDayKind = 0;
    int32_t m_nWeeklyMode = 0;
    int32_t m_nWeeklyInterval = 0;
    int32_t m_nWeeklyWeekOfMonth = 0;
    int32_t m_bWeekDays[7] = {0, 1, 0, 0, 0, 0, 0};
    int32_t m_nMonthlyMode = 0;
    int32_t m_nMonthlyDay = 0;
    int32_t m_nMonthlyInterval = 0;
    int32_t m_nMonthlyOrdinal = 0;
    int32_t m_nMonthlyDayKind = 0;
    int32_t m_nMonthlyInterval2 = 0;
    int32_t m_nYearlyMode = 0;
    int32_t m_nYearlyMonth = 0;
    int32_t m_nYearlyDay = 0;
    int32_t m_nYearlyOrdinal = 0;
    int32_t m_nYearlyDayKind = 0;
    int32_t m_nYearlyMonth2 = 0;
    int32_t m_nEndKind = CodeOf(EEndKind::EndDate);
    int32_t m_nEndAfterCount = 1;
    int32_t m_nOccurrenceCount = 0;
    TaskDate m_dtEnd;
    TaskDateTime m_dtLastSent;
    TaskDateTime m_dtNextSending;

    // The stored codes read as their sets (TaskCodes.h); a value outside its
    // set reads as a number none of the names has.
    ERecurrence Recurrence() const { return static_cast<ERecurrence>(m_nRecurrence); }
    EDailyMode DailyMode() const { return static_cast<EDailyMode>(m_nDailyMode); }
    EDayKind DailyDayKind() const { return static_cast<EDayKind>(m_nDailyDayKind); }
    EWeeklyMode WeeklyMode() const { return static_cast<EWeeklyMode>(m_nWeeklyMode); }
    EMonthlyMode MonthlyMode() const { return static_cast<EMonthlyMode>(m_nMonthlyMode); }
    EYearlyMode YearlyMode() const { return static_cast<EYearlyMode>(m_nYearlyMode); }
    EEndKind EndKind() const { return static_cast<EEndKind>(m_nEndKind); }
    // What is wrong with a last sending time that is set but cannot be
    // read ("month 13 is not 1..12"); empty when it is sound or not set.
    std::string LastSentProblem() const;
    // The same as a person reads it wherever the task is shown; "" when sound:
    // "its last sending time cannot be read (month 13 is not 1..12); it is sent by its next time all the same".
    std::string LastSentWarning() const;

    bool operator==(const CTaskItem&) const = default;
};

using CTaskList = CArray<CTaskItem>;
