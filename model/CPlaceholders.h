#pragma once
#include <functional>
#include <string>

#include "CProblems.h"
#include "CResult.h"
#include "TaskCalendarFields.h"

// Placeholders in a task's subject, body and attachment entries, filled
// with what each occurrence knows about itself when it is sent:
//
//   {date}                the occurrence's date, as {date:%Y-%m-%d}
//   {time}                its time, as {time:%H:%M}
//   {date-1d:%d.%m.}      a date before or after it: d days, w weeks,
//   {date+2w}             m months or y years; a month or year that has no
//                         such day ends on its last (31 March - 1m = 28/29 Feb)
//   {month-1:%B %Y}       a month before or after it; {month} is "%B %Y"
//   {year-1}              a year before or after it; {year} is "%Y"
//   {n}                   the occurrence's number, 1 for the first
//   {name}                the task's name
//   {{ and }}             a literal { and }
//
// Formats take only these conversions, in English whatever the locale:
// %Y 2027, %y 27, %m 03, %d 05, %e " 5", %B March, %b Mar, %A Friday,
// %a Fri, %H 14, %M 07, %I 02, %p PM, %j 064, %%. Anything else is refused.
//
// Example: "Report {month-1:%B %Y} ({n})" for the third occurrence, on
// 2027-01-04 09:00, is "Report December 2026 (3)".
class CPlaceholders {
public:
    // What an occurrence fills in.
    struct CValues {
        TaskDateTime dtOccurrence;  // local time
        int nOccurrence = 1;
        std::string strTaskName;
    };
    // Applied to each filled value before it goes into the text (HTML escaping).
    using CEscape = std::function<std::string(const std::string&)>;

    // Every problem of the text, strWhere naming it and the position its
    // 1-based character: "subject", "unknown placeholder {dat} at 12". An
    // HTML body (bHtml) is read as FillHtml reads it.
    static void Check(const std::string& strText, const std::string& strWhere, CProblems& problems, bool bHtml = false);
    // The text filled in; a text with a problem is not filled at all, and
    // every problem is told as Check tells it, strWhere first.
    static CResult<std::string> Fill(const std::string& strText, const CValues& values,
                                     const std::string& strWhere = "text");
    // The same for an HTML body: only the text between tags is filled, and
    // what is filled in is escaped, so the markup stays as it was.
    static CResult<std::string> FillHtml(const std::string& strHtml, const CValues& values,
                                         const std::string& strWhere = "body");
    // Whether the text has anything to fill (or a brace that needs looking at).
    static bool Has(const std::string& strText);
};
