#include "CHolidayFile.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include <libical/ical.h>

#include "CFileOps.h"
#include "TaskTime.h"

namespace {

struct CComponentFree {
    void operator()(icalcomponent* p) const { icalcomponent_free(p); }
};
struct CIteratorFree {
    void operator()(icalrecur_iterator* p) const { icalrecur_iterator_free(p); }
};

// What the recurrences of one file may still spend.
struct CExpansionBudget {
    std::chrono::steady_clock::time_point deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(CHolidayFile::kMaxSeconds);
    int nStepsLeft = CHolidayFile::kMaxInstances;
};

int64_t DayOf(const icaltimetype& t) { return TaskTime::DayNumber(t.year, t.month, t.day); }

std::string NameOf(icalcomponent* pEvent) {
    const char* pszUid = icalcomponent_get_uid(pEvent);
    return pszUid && *pszUid ? std::string("event ") + pszUid : std::string("an event without UID");
}

// The library drops a date or rule it cannot read and notes it in the
// event: read without it, the event would name other days than it says.
CResult<> CheckDatesRead(icalcomponent* pEvent) {
    for (icalproperty* p = icalcomponent_get_first_property(pEvent, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(pEvent, ICAL_XLICERROR_PROPERTY)) {
        const std::string strError = icalproperty_get_xlicerror(p) ? icalproperty_get_xlicerror(p) : "";
        for (const char* pszName : {"DTSTART", "DTEND", "DURATION", "RRULE", "RDATE", "EXDATE"})
            if (strError.find(std::string(" in ") + pszName + " property") != std::string::npos)
                return CProblem(NameOf(pEvent) + ": its " + pszName + " cannot be read (" + strError + ")");
    }
    return {};
}

// The days one all-day event covers, each instance from its start for as
// many days as the event lasts (one when it names no end).
CResult<> AddEvent(icalcomponent* pEvent, int64_t nFromDay, int64_t nToDay, CExpansionBudget& budget,
                   std::set<int64_t>& setDays) {
    QUILLORY_TRY(CheckDatesRead(pEvent));
    const icaltimetype start = icalcomponent_get_dtstart(pEvent);
    if (icaltime_is_null_time(start) || !icaltime_is_date(start)) return {};
    const icaltimetype end = icalcomponent_get_dtend(pEvent);
    const int64_t nLength =
        !icaltime_is_null_time(end) && icaltime_is_date(end) ? std::max<int64_t>(DayOf(end) - DayOf(start), 1) : 1;
    std::set<int64_t> setExcluded;
    for (icalproperty* p = icalcomponent_get_first_property(pEvent, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(pEvent, ICAL_EXDATE_PROPERTY))
        setExcluded.insert(DayOf(icalproperty_get_exdate(p)));
    auto add = [&](int64_t nStart) {
        if (setExcluded.count(nStart)) return;
        for (int64_t d = std::max(nStart, nFromDay); d < nStart + nLength && d <= nToDay; ++d) setDays.insert(d);
    };
    if (icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(pRule);
        // Finer steps name the same day again and again; the library can also
        // search such a rule for ever when it never matches.
        if (rule.freq < ICAL_DAILY_RECURRENCE)
            return CProblem(NameOf(pEvent) + ": a whole-day event cannot repeat more often than daily");
        const std::unique_ptr<icalrecur_iterator, CIteratorFree> pIterator(icalrecur_iterator_new(rule, start));
        if (!pIterator) return {};  // a rule the library cannot follow names no day
        // Straight to the first instance that can reach the span (refused
        // for a rule with COUNT, which bounds itself).
        const int64_t nFirstStart = nFromDay - (nLength - 1);
        if (nFirstStart > DayOf(start) && rule.count == 0) {
            const TaskDateTime dt = TaskTime::DateOfDay(nFirstStart);
            icaltimetype first = icaltime_null_date();
            first.year = dt.nYear;
            first.month = dt.nMonth;
            first.day = dt.nDay;
            (void)icalrecur_iterator_set_start(pIterator.get(), first);  // failing, it starts at DTSTART: slower only
        }
        // Checked before every step: a step that finds nothing can be slow too.
        for (;;) {
            if (--budget.nStepsLeft < 0 || std::chrono::steady_clock::now() > budget.deadline)
                return CProblem(NameOf(pEvent) + ": its recurrence takes too long to follow (more than " +
                                std::to_string(CHolidayFile::kMaxInstances) + " steps or " +
                                std::to_string(CHolidayFile::kMaxSeconds) + " s for the whole file)");
            const icaltimetype t = icalrecur_iterator_next(pIterator.get());
            if (icaltime_is_null_time(t) || DayOf(t) > nToDay) break;
            add(DayOf(t));
        }
    } else {
        add(DayOf(start));
    }
    for (icalproperty* p = icalcomponent_get_first_property(pEvent, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(pEvent, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
        if (!icaltime_is_null_time(rdate.time)) add(DayOf(rdate.time));
    }
    return {};
}

}  // namespace

CResult<std::set<int64_t>> CHolidayFile::FromText(const std::string& strText, int64_t nFromDay, int64_t nToDay) {
    // Whatever the library was built with: a damaged file is a problem of
    // the read, never an abort of the host.
    icalerror_set_errors_are_fatal(0);
    const std::unique_ptr<icalcomponent, CComponentFree> pRoot(icalparser_parse_string(strText.c_str()));
    icalerror_clear_errno();
    if (!pRoot) return CProblem("not an iCalendar file");
    icalcomponent* pCalendar = pRoot.get();
    if (icalcomponent_isa(pCalendar) != ICAL_VCALENDAR_COMPONENT) {
        pCalendar = icalcomponent_get_first_component(pRoot.get(), ICAL_VCALENDAR_COMPONENT);
        if (!pCalendar) return CProblem("not an iCalendar file (no VCALENDAR)");
    }
    std::set<int64_t> setDays;
    CExpansionBudget budget;
    for (icalcomponent* pEvent = icalcomponent_get_first_component(pCalendar, ICAL_VEVENT_COMPONENT); pEvent;
         pEvent = icalcomponent_get_next_component(pCalendar, ICAL_VEVENT_COMPONENT))
        QUILLORY_TRY(AddEvent(pEvent, nFromDay, nToDay, budget, setDays));
    return setDays;
}

CResult<std::set<int64_t>> CHolidayFile::Read(const std::string& strPath, int64_t nFromDay, int64_t nToDay) {
    auto rText = CFileOps::ReadFile(strPath, kMaxBytes);
    if (!rText) return CProblem(strPath + ": " + rText.Problem());
    auto rDays = FromText(*rText, nFromDay, nToDay);
    if (!rDays) return CProblem(strPath + ": " + rDays.Problem());
    return rDays;
}
