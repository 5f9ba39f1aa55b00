#include "CCalendarExport.h"

#include <cstdlib>
#include <memory>
#include <optional>

#include <libical/ical.h>

#include "CLocalZone.h"
#include "CRecurrenceRule.h"
#include "CSendingPreview.h"
#include "TaskTime.h"

namespace {

struct CComponentFree {
    void operator()(icalcomponent* p) const { icalcomponent_free(p); }
};
using CComponent = std::unique_ptr<icalcomponent, CComponentFree>;

// Two calendar years after t, local time.
CResult<time_t> TwoYearsAfter(time_t t) {
    TaskDateTime dt = TaskTime::FromAbsolute(t);
    return TaskTime::ToAbsolute(dt.nYear + 2, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute, dt.nSecond);
}

// The zone the instants are written in: the local one where the calendar
// library knows it, else UTC.
struct CZone {
    icaltimezone* pZone = nullptr;
    std::string strId;
};

CZone LocalZone() {
    const std::string strName = CLocalZone::Name();
    icaltimezone* pUtc = icaltimezone_get_utc_timezone();
    icaltimezone* p = icaltimezone_get_builtin_timezone(strName.c_str());
    if (!p || p == pUtc || !icaltimezone_get_component(p)) return {pUtc, ""};
    return {p, strName};
}

icalproperty* WithZone(icalproperty* p, const CZone& zone) {
    if (!zone.strId.empty()) icalproperty_add_parameter(p, icalparameter_new_tzid(zone.strId.c_str()));
    return p;
}

icaltimetype AtZone(time_t t, const CZone& zone) {
    icaltimetype tt = icaltime_from_timet_with_zone(t, 0, zone.pZone);
    return icaltime_set_timezone(&tt, zone.pZone);
}

// The zone's definition under the plain name the events use.
icalcomponent* ZoneComponent(const CZone& zone) {
    icalcomponent* p = icalcomponent_new_clone(icaltimezone_get_component(zone.pZone));
    if (icalproperty* pId = icalcomponent_get_first_property(p, ICAL_TZID_PROPERTY))
        icalproperty_set_tzid(pId, zone.strId.c_str());
    return p;
}

// The rule with the task's end, or nothing when the task has no rule.
std::optional<icalrecurrencetype> RuleOf(const CTaskItem& task) {
    auto rule = CRecurrenceRule::For(task);
    if (!rule) return std::nullopt;
    std::string str = *rule;
    if (task.EndKind() == EEndKind::AfterCount) {
        str += ";COUNT=" + std::to_string(task.m_nEndAfterCount - task.m_nOccurrenceCount);
    } else if (task.EndKind() == EEndKind::EndDate) {
        const auto tEnd = TaskTime::EndOfDay(task.m_dtEnd);
        if (!tEnd) return std::nullopt;  // the instants are written one by one instead
        const icaltimetype until = icaltime_from_timet_with_zone(*tEnd, 0, icaltimezone_get_utc_timezone());
        str += ";UNTIL=" + std::string(icaltime_as_ical_string(until));
    }
    icalrecurrencetype r = icalrecurrencetype_from_string(str.c_str());
    icalerror_clear_errno();
    if (r.freq == ICAL_NO_RECURRENCE) return std::nullopt;
    return r;
}

// The rule's instants from dtStart on, before tHorizon, at most nMax.
std::vector<time_t> Expand(const icalrecurrencetype& rule, icaltimetype dtStart, const CZone& zone, time_t tHorizon,
                           size_t nMax) {
    std::vector<time_t> vec;
    icalrecur_iterator* pIt = icalrecur_iterator_new(rule, dtStart);
    if (!pIt) return vec;
    for (icaltimetype t = icalrecur_iterator_next(pIt); !icaltime_is_null_time(t) && vec.size() < nMax;
         t = icalrecur_iterator_next(pIt)) {
        const time_t tAbs = icaltime_as_timet_with_zone(t, zone.pZone);
        if (tAbs >= tHorizon) break;
        vec.push_back(tAbs);
    }
    icalrecur_iterator_free(pIt);
    icalerror_clear_errno();
    return vec;
}

CResult<CComponent> Event(const CCalendarExport::CEntry& entry, const CZone& zone, time_t tNow) {
    auto preview = CSendingPreview::Next(entry.task, CCalendarExport::kMaxInstants, entry.rules, entry.days);
    if (!preview) return preview.TakeProblem();
    std::vector<time_t> vecTimes;
    QUILLORY_TRY_VALUE(const time_t tHorizon, TwoYearsAfter(tNow));
    // Occurrences fall on whole minutes (the task keeps second 1 of each);
    // a calendar shows them as the minute they are sent in.
    for (time_t t : *preview)
        if (t < tHorizon) vecTimes.push_back(t - ((t % 60) + 60) % 60);
    if (vecTimes.empty()) return CComponent();

    CComponent event(icalcomponent_new(ICAL_VEVENT_COMPONENT));
    icalcomponent* p = event.get();
    icalcomponent_add_property(p, icalproperty_new_uid(entry.strUid.c_str()));
    icalcomponent_add_property(
        p, icalproperty_new_dtstamp(icaltime_from_timet_with_zone(tNow, 0, icaltimezone_get_utc_timezone())));
    icalcomponent_add_property(p, icalproperty_new_summary(entry.task.m_strTaskName.c_str()));
    icalcomponent_add_property(p, icalproperty_new_description(entry.strDescription.c_str()));
    const icaltimetype dtStart = AtZone(vecTimes.front(), zone);
    icalcomponent_add_property(p, WithZone(icalproperty_new_dtstart(dtStart), zone));

    const auto rule = RuleOf(entry.task);
    const bool bRule = rule && Expand(*rule, dtStart, zone, tHorizon, vecTimes.size() + 1) == vecTimes;
    if (bRule) {
        icalcomponent_add_property(p, icalproperty_new_rrule(*rule));
    } else {
        for (size_t i = 1; i < vecTimes.size(); ++i) {
            icaldatetimeperiodtype rdate{};
            rdate.time = AtZone(vecTimes[i], zone);
            rdate.period = icalperiodtype_null_period();
            icalcomponent_add_property(p, WithZone(icalproperty_new_rdate(rdate), zone));
        }
    }
    icalproperty* pForm = icalproperty_new_x(bRule ? "RRULE" : "RDATE");
    icalproperty_set_x_name(pForm, "X-QUILLORY-FORM");
    icalcomponent_add_property(p, pForm);
    return event;
}

}  // namespace

CResult<std::string> CCalendarExport::Build(const std::vector<CEntry>& vecEntries, time_t tNow) {
    const CZone zone = LocalZone();
    CComponent calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Quillory//Sending plan//EN"));
    if (!zone.strId.empty()) icalcomponent_add_component(calendar.get(), ZoneComponent(zone));
    for (const CEntry& entry : vecEntries) {
        auto event = Event(entry, zone, tNow);
        if (!event) return CProblem("task \"" + entry.task.m_strTaskName + "\": " + event.Problem());
        if (*event) icalcomponent_add_component(calendar.get(), event->release());
    }
    char* psz = icalcomponent_as_ical_string_r(calendar.get());
    if (!psz) return CProblem("the calendar cannot be written");
    std::string str(psz);
    std::free(psz);
    return str;
}
