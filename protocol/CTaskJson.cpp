#include "CTaskJson.h"

#include <functional>
#include <map>
#include <set>

#include "CSchedule.h"
#include "CTaskCheck.h"
#include "TaskTime.h"

using json = nlohmann::ordered_json;

namespace {

json GroupToJson(const TaskDateTime& dt) {
    return {{"year", dt.nYear}, {"month", dt.nMonth},   {"day", dt.nDay},      {"dayOfWeek", dt.nDayOfWeek},
            {"hour", dt.nHour}, {"minute", dt.nMinute}, {"second", dt.nSecond}};
}

json GroupToJson(const TaskDate& d) {
    return {{"year", d.nYear}, {"month", d.nMonth}, {"day", d.nDay}, {"dayOfWeek", d.nDayOfWeek}};
}

// One reader per key; each reports its own problems.
class CReader {
public:
    CReader(CProblems& problems, std::string strWhere) : m_problems(problems), m_strWhere(std::move(strWhere)) {}

    void Problem(const std::string& strKey, const std::string& strWhat) {
        m_problems.Add(m_strWhere + ": " + strKey, strWhat);
        m_setBadKeys.insert(strKey.substr(0, strKey.find_first_of(".[")));
    }
    // A key that could not be read; its value is not checked further.
    bool IsBad(const std::string& strKey) const {
        return m_setBadKeys.count(strKey.substr(0, strKey.find_first_of(".["))) > 0;
    }

    bool Int(const json& j, const std::string& strKey, int32_t& n) {
        if (!j.is_number_integer()) {
            Problem(strKey, "expected an integer");
            return false;
        }
        // Read as unsigned first: 18446744073709551615 is no -1.
        const bool bHuge = j.is_number_unsigned() && j.get<uint64_t>() > INT32_MAX;
        const auto v = bHuge ? int64_t{0} : j.get<int64_t>();
        if (bHuge || v < INT32_MIN || v > INT32_MAX) {
            Problem(strKey, "integer out of the 32-bit range");
            return false;
        }
        n = static_cast<int32_t>(v);
        return true;
    }

    void Bool(const json& j, const std::string& strKey, int32_t& b) {
        if (!j.is_boolean()) return Problem(strKey, "expected true or false");
        b = j.get<bool>() ? 1 : 0;
    }

    template <class Group>
    void DateGroup(const json& j, const std::string& strKey, Group& g, bool bWithTime) {
        if (!j.is_object()) return Problem(strKey, "expected an object");
        std::map<std::string, int32_t*> fields = {
            {"year", &g.nYear}, {"month", &g.nMonth}, {"day", &g.nDay}, {"dayOfWeek", &g.nDayOfWeek}};
        if constexpr (std::is_same_v<Group, TaskDateTime>) {
            if (bWithTime) {
                fields["hour"] = &g.nHour;
                fields["minute"] = &g.nMinute;
                fields["second"] = &g.nSecond;
            }
        }
        g = Group{};
        bool bOk = true;
        for (auto& [k, v] : j.items()) {
            auto it = fields.find(k);
            if (it == fields.end()) {
                Problem(strKey + "." + k, "unknown key");
                bOk = false;
            } else if (!Int(v, strKey + "." + k, *it->second)) {
                bOk = false;
            }
        }
        // A day of week left out (or 0) is the date's own; one given must
        // match it, which the task check sees to.
        if (bOk && g.nDayOfWeek == 0 && g.IsSet() && TaskTime::CheckGroup(g).Ok() &&
            g.nDay <= CSchedule::DaysInMonth(g.nYear, g.nMonth))
            g.nDayOfWeek = CTaskCheck::DayOfWeek(g.nYear, g.nMonth, g.nDay);
    }

private:
    CProblems& m_problems;
    std::string m_strWhere;
    std::set<std::string> m_setBadKeys;
};

void TaskFromJson(const json& j, CTaskItem& t, CReader& r) {
    using Fn = std::function<void(const json&, const std::string&)>;
    auto intKey = [&](int32_t& n) -> Fn { return [&r, &n](const json& v, const std::string& k) { r.Int(v, k, n); }; };
    auto boolKey = [&](int32_t& b) -> Fn { return [&r, &b](const json& v, const std::string& k) { r.Bool(v, k, b); }; };
    auto strKey = [&](std::string& s) -> Fn {
        return [&r, &s](const json& v, const std::string& k) {
            if (v.is_string()) s = v.get<std::string>();
            else r.Problem(k, "expected a string");
        };
    };
    const std::map<std::string, Fn> readers = {
        {"active", boolKey(t.m_bActive)},
        {"taskName", strKey(t.m_strTaskName)},
        {"templateFile", strKey(t.m_strTemplateFile)},
        {"receiveBeforeSending", boolKey(t.m_bReceiveBeforeSending)},
        {"sendOverdue", boolKey(t.m_bSendOverdue)},
        {"attachments",
         [&](const json& v, const std::string& k) {
             if (!v.is_array()) return r.Problem(k, "expected an array of strings");
             t.m_arrAttachments.RemoveAll();  // a change replaces the entries
             for (const auto& e : v) {
                 if (!e.is_string()) return r.Problem(k, "expected an array of strings");
                 t.m_arrAttachments.Add(e.get<std::string>());
             }
         }},
        {"start", [&](const json& v, const std::string& k) { r.DateGroup(v, k, t.m_dtStart, true); }},
        {"recurrence", intKey(t.m_nRecurrence)},
        {"minuteInterval", intKey(t.m_nMinuteInterval)},
        {"dailyMode", intKey(t.m_nDailyMode)},
        {"dailyInterval", intKey(t.m_nDailyInterval)},
        {"dailyDayKind", intKey(t.m_nDailyDayKind)},
        {"weeklyMode", intKey(t.m_nWeeklyMode)},
        {"weeklyInterval", intKey(t.m_nWeeklyInterval)},
        {"weeklyWeekOfMonth", intKey(t.m_nWeeklyWeekOfMonth)},
        {"weekDays",
         [&](const json& v, const std::string& k) {
             if (!v.is_array() || v.size() != 7) return r.Problem(k, "expected an array of 7 booleans");
             for (int i = 0; i < 7; ++i)
                 r.Bool(v[static_cast<size_t>(i)], k + "[" + std::to_string(i) + "]", t.m_bWeekDays[i]);
         }},
        {"monthlyMode", intKey(t.m_nMonthlyMode)},
        {"monthlyDay", intKey(t.m_nMonthlyDay)},
        {"monthlyInterval", intKey(t.m_nMonthlyInterval)},
        {"monthlyOrdinal", intKey(t.m_nMonthlyOrdinal)},
        {"monthlyDayKind", intKey(t.m_nMonthlyDayKind)},
        {"monthlyInterval2", intKey(t.m_nMonthlyInterval2)},
        {"yearlyMode", intKey(t.m_nYearlyMode)},
        {"yearlyMonth", intKey(t.m_nYearlyMonth)},
        {"yearlyDay", intKey(t.m_nYearlyDay)},
        {"yearlyOrdinal", intKey(t.m_nYearlyOrdinal)},
        {"yearlyDayKind", intKey(t.m_nYearlyDayKind)},
        {"yearlyMonth2", intKey(t.m_nYearlyMonth2)},
        {"endKind", intKey(t.m_nEndKind)},
        {"endAfterCount", intKey(t.m_nEndAfterCount)},
        {"occurrenceCount", intKey(t.m_nOccurrenceCount)},
        {"end", [&](const json& v, const std::string& k) { r.DateGroup(v, k, t.m_dtEnd, false); }},
        {"lastSent", [&](const json& v, const std::string& k) { r.DateGroup(v, k, t.m_dtLastSent, true); }},
        {"nextSending", [&](const json& v, const std::string& k) { r.DateGroup(v, k, t.m_dtNextSending, true); }},
    };
    for (auto& [k, v] : j.items()) {
        auto it = readers.find(k);
        if (it == readers.end()) r.Problem(k, "unknown key");
        else it->second(v, k);
    }
}

}  // namespace

json CTaskJson::ToJson(const CTaskItem& t) {
    json arrDays = json::array();
    for (int b : t.m_bWeekDays) arrDays.push_back(b != 0);
    json arrAttach = json::array();
    for (const auto& s : t.m_arrAttachments) arrAttach.push_back(s);
    json j = json::object();
    j["active"] = t.m_bActive != 0;
    j["taskName"] = t.m_strTaskName;
    j["templateFile"] = t.m_strTemplateFile;
    j["receiveBeforeSending"] = t.m_bReceiveBeforeSending != 0;
    j["sendOverdue"] = t.m_bSendOverdue != 0;
    j["attachments"] = arrAttach;
    j["start"] = GroupToJson(t.m_dtStart);
    j["recurrence"] = t.m_nRecurrence;
    j["minuteInterval"] = t.m_nMinuteInterval;
    j["dailyMode"] = t.m_nDailyMode;
    j["dailyInterval"] = t.m_nDailyInterval;
    j["dailyDayKind"] = t.m_nDailyDayKind;
    j["weeklyMode"] = t.m_nWeeklyMode;
    j["weeklyInterval"] = t.m_nWeeklyInterval;
    j["weeklyWeekOfMonth"] = t.m_nWeeklyWeekOfMonth;
    j["weekDays"] = arrDays;
    j["monthlyMode"] = t.m_nMonthlyMode;
    j["monthlyDay"] = t.m_nMonthlyDay;
    j["monthlyInterval"] = t.m_nMonthlyInterval;
    j["monthlyOrdinal"] = t.m_nMonthlyOrdinal;
    j["monthlyDayKind"] = t.m_nMonthlyDayKind;
    j["monthlyInterval2"] = t.m_nMonthlyInterval2;
    j["yearlyMode"] = t.m_nYearlyMode;
    j["yearlyMonth"] = t.m_nYearlyMonth;
    j["yearlyDay"] = t.m_nYearlyDay;
    j["yearlyOrdinal"] = t.m_nYearlyOrdinal;
    j["yearlyDayKind"] = t.m_nYearlyDayKind;
    j["yearlyMonth2"] = t.m_nYearlyMonth2;
    j["endKind"] = t.m_nEndKind;
    j["endAfterCount"] = t.m_nEndAfterCount;
    j["occurrenceCount"] = t.m_nOccurrenceCount;
    j["end"] = GroupToJson(t.m_dtEnd);
    j["lastSent"] = GroupToJson(t.m_dtLastSent);
    j["nextSending"] = GroupToJson(t.m_dtNextSending);
    return j;
}

json CTaskJson::ToJson(const CTaskList& list) {
    json arr = json::array();
    for (const auto& t : list) arr.push_back(ToJson(t));
    return arr;
}

void CTaskJson::FromJson(const json& j, CTaskList& list, CProblems& problems, const CTextCodec& codec) {
    if (!j.is_array()) {
        problems.Add("input", "expected a JSON array of tasks");
        return;
    }
    std::map<std::string, int> mapFirstOfName;  // from 1
    int i = 0;
    for (const auto& jt : j) {
        ++i;
        CReader r(problems, "task " + std::to_string(i));
        if (!jt.is_object()) {
            r.Problem("(task)", "expected an object");
            continue;
        }
        CTaskItem t;
        TaskFromJson(jt, t, r);
        // The default start is a placeholder, never a schedule anyone chose.
        if (!jt.contains("start")) r.Problem("start", "must be given");
        // Filtered first, so that one check's problem does not hide another of the same key.
        std::vector<CProblems::CEntry> vecChecked;
        for (const auto& p : CTaskCheck::Check(t, codec))
            if (!r.IsBad(p.strWhere)) vecChecked.push_back(p);
        for (const auto& p : vecChecked) r.Problem(p.strWhere, p.strText);
        // The host tells the messages of two tasks apart by their names: a
        // name may not be another task's (told with the first that has it).
        if (!t.m_strTaskName.empty()) {
            const auto [it, bNew] = mapFirstOfName.emplace(t.m_strTaskName, i);
            if (!bNew) r.Problem("taskName", "is task " + std::to_string(it->second) + "'s name as well");
        }
        list.Add(t);
    }
}

void CTaskJson::Overlay(const json& jChanges, CTaskItem& task, CProblems& problems, const std::string& strWhere) {
    CReader r(problems, strWhere);
    if (!jChanges.is_object()) return r.Problem("(changes)", "expected an object");
    TaskFromJson(jChanges, task, r);
}
