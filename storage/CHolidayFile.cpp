#include "CHolidayFile.h"

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

int64_t DayOf(const icaltimetype& t) { return TaskTime::DayNumber(t.year, t.month, t.day); }

// The days one all-day event covers, each instance from its start for as
// many days as the event lasts (one when it names no end).
void AddEvent(icalcomponent* pEvent, int64_t nFromDay, int64_t nToDay, std::set<int64_t>& setDays) {
    const icaltimetype start = icalcomponent_get_dtstart(pEvent);
    if (icaltime_is_null_time(start) || !icaltime_is_date(start)) return;
    const icaltimetype end = icalcomponent_get_dtend(pEvent);
    const int64_t nLength =
        !icaltime_is_null_time(end) && icaltime_is_date(end) ? std::max<int64_t>(DayOf(end) - DayOf(start), 1) : 1;
    std::set<int64_t> setExcluded;
    for (icalproperty* p = icalcomponent_get_first_property(pEvent, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(pEvent, ICAL_EXDATE_PROPERTY))
        setExcluded.insert(DayOf(icalproperty_get_exdate(p)));
    auto add = [&](int64_t nStart) {
        if (setExcluded.count(nStart)) return;
        for (int64_t d = nStart; d < nStart + nLength; ++d)
            if (d >= nFromDay && d <= nToDay) setDays.insert(d);
    };
    icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
    if (!pRule) {
        add(DayOf(start));
    } else {
        const std::unique_ptr<icalrecur_iterator, CIteratorFree> pIterator(
            icalrecur_iterator_new(icalproperty_get_rrule(pRule), start));
        if (!pIterator) return;  // a rule libical cannot follow names no day
        int nSeen = 0;
        for (icaltimetype t = icalrecur_iterator_next(pIterator.get());
             !icaltime_is_null_time(t) && nSeen < CHolidayFile::kMaxInstances && DayOf(t) <= nToDay;
             t = icalrecur_iterator_next(pIterator.get()), ++nSeen)
            add(DayOf(t));
    }
    for (icalproperty* p = icalcomponent_get_first_property(pEvent, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(pEvent, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
        if (!icaltime_is_null_time(rdate.time)) add(DayOf(rdate.time));
    }
}

}  // namespace

CResult<std::set<int64_t>> CHolidayFile::FromText(const std::string& strText, int64_t nFromDay, int64_t nToDay) {
    const std::unique_ptr<icalcomponent, CComponentFree> pRoot(icalparser_parse_string(strText.c_str()));
    icalerror_clear_errno();
    if (!pRoot) return CProblem("not an iCalendar file");
    icalcomponent* pCalendar = pRoot.get();
    if (icalcomponent_isa(pCalendar) != ICAL_VCALENDAR_COMPONENT) {
        pCalendar = icalcomponent_get_first_component(pRoot.get(), ICAL_VCALENDAR_COMPONENT);
        if (!pCalendar) return CProblem("not an iCalendar file (no VCALENDAR)");
    }
    std::set<int64_t> setDays;
    for (icalcomponent* pEvent = icalcomponent_get_first_component(pCalendar, ICAL_VEVENT_COMPONENT); pEvent;
         pEvent = icalcomponent_get_next_component(pCalendar, ICAL_VEVENT_COMPONENT))
        AddEvent(pEvent, nFromDay, nToDay, setDays);
    return setDays;
}

CResult<std::set<int64_t>> CHolidayFile::Read(const std::string& strPath, int64_t nFromDay, int64_t nToDay) {
    auto rText = CFileOps::ReadFile(strPath, kMaxBytes);
    if (!rText) return CProblem(strPath + ": " + rText.Problem());
    auto rDays = FromText(*rText, nFromDay, nToDay);
    if (!rDays) return CProblem(strPath + ": " + rDays.Problem());
    return rDays;
}
