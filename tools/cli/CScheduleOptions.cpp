#include "CScheduleOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "CRuleOptions.h"
#include "CSchedule.h"
#include "CTaskCheck.h"
#include "CZoneHold.h"
#include "CZoneRules.h"
#include "CalendarNames.h"
#include "OptionWithValue.h"
#include "ScheduleRanges.h"
#include "TaskTime.h"

using json = nlohmann::ordered_json;

namespace {

namespace R = ScheduleRanges;

// Options that take a value, and those that do not.
const std::set<std::string> kValued = {"--eml",      "--to",        "--cc",     "--bcc",           "--subject",
                                       "--body",     "--body-file", "--attach", "--attach-entry",  "--every-minutes",
                                       "--interval", "--kind",      "--days",   "--week-of-month", "--day",
                                       "--ordinal",  "--month",     "--start",  "--end-after",     "--end-date",
                                       "--name"};
const std::set<std::string> kFlags = {"--once",
                                      "--daily",
                                      "--weekly",
                                      "--monthly",
                                      "--yearly",
                                      "--no-send-overdue",
                                      "--send-overdue",
                                      "--receive-first",
                                      "--no-receive-first",
                                      "--inactive",
                                      "--active",
                                      "--no-end",
                                      "--no-attach-entries"};
// Options that may be given more than once, each adding to a list.
const std::set<std::string> kRepeated = {"--to", "--cc", "--bcc", "--attach", "--attach-entry"};

std::string Lower(std::string str) {
    std::transform(str.begin(), str.end(), str.begin(), [](unsigned char c) { return std::tolower(c); });
    return str;
}

const std::vector<std::string> kOrdinals = {"first", "second", "third", "fourth", "last"};
// The day kinds in the order of the panels' lists; the seven day names follow.
const std::vector<std::string> kKinds = {"day", "weekday", "weekend-day", "even-day", "odd-day"};

std::vector<std::string> Split(const std::string& str) {
    std::vector<std::string> vec;
    size_t nStart = 0;
    for (;;) {
        const size_t nComma = str.find(',', nStart);
        std::string strPart = str.substr(nStart, nComma == std::string::npos ? std::string::npos : nComma - nStart);
        const size_t nFirst = strPart.find_first_not_of(' ');
        strPart = nFirst == std::string::npos ? "" : strPart.substr(nFirst, strPart.find_last_not_of(' ') - nFirst + 1);
        if (!strPart.empty()) vec.push_back(strPart);
        if (nComma == std::string::npos) return vec;
        nStart = nComma + 1;
    }
}

// What was given on the command line, before it is made into task members.
class CRaw {
public:
    std::map<std::string, std::string> mapValues;
    std::set<std::string> setFlags;
    std::map<std::string, std::vector<std::string>> mapLists;

    bool Has(const std::string& strOption) const {
        return mapValues.count(strOption) > 0 || setFlags.count(strOption) > 0 || mapLists.count(strOption) > 0;
    }
    const std::string& Value(const std::string& strOption) const { return mapValues.at(strOption); }

    // A count field of the sheet: digits only, then within its range.
    CResult<int> Count(const std::string& strOption, R::CRange range, int nDefault) const {
        const int nMax = range.nMax;
        if (!mapValues.count(strOption)) return nDefault;
        const std::string& str = Value(strOption);
        long long n = 0;
        for (char ch : str) {
            if (ch < '0' || ch > '9') return CProblem(strOption + ": Please enter a number.");
            if (n <= nMax) n = n * 10 + (ch - '0');
        }
        if (str.empty() || !range.Holds(static_cast<int32_t>(n)))
            return CProblem(strOption + ": Please enter a number between " + std::to_string(range.nMin) + " and " +
                            std::to_string(nMax) + ".");
        return static_cast<int>(n);
    }
    CResult<int> Named(const std::string& strOption, const std::vector<std::string>& vecNames,
                       const std::string& strWhat) const {
        const std::string strValue = Lower(Value(strOption));
        const auto it = std::find_if(vecNames.begin(), vecNames.end(), [&](const std::string& strName) {
            return strValue == strName || (strValue.size() == 3 && strName.compare(0, 3, strValue) == 0);
        });
        const int n = it == vecNames.end() ? -1 : static_cast<int>(it - vecNames.begin());
        if (n < 0) return CProblem(strOption + ": must be " + strWhat + ", not \"" + Value(strOption) + "\"");
        return n;
    }
    // --kind: the five kinds, and with bDayNames the seven day names after them.
    CResult<int> Kind(bool bDayNames) const {
        const std::string str = Lower(Value("--kind"));
        for (size_t i = 0; i < kKinds.size(); ++i)
            if (str == kKinds[i]) return static_cast<int>(i);
        if (bDayNames)
            if (const int n = CalendarNameIndex(str, kWeekdayNames); n >= 0) return static_cast<int>(kKinds.size()) + n;
        return CProblem("--kind: must be day, weekday, weekend-day, even-day or odd-day" +
                        std::string(bDayNames ? " or a day of the week" : "") + ", not \"" + Value("--kind") + "\"");
    }
    // Options that belong to another schedule than the one chosen.
    CResult<> Only(const std::string& strSchedule, std::initializer_list<const char*> allowed) const {
        for (const char* psz : {"--interval", "--kind", "--days", "--week-of-month", "--day", "--ordinal", "--month"}) {
            if (!Has(psz)) continue;
            if (std::find_if(allowed.begin(), allowed.end(), [&](const char* p) { return std::string(p) == psz; }) ==
                allowed.end())
                return CProblem(std::string(psz) + ": does not go with " + strSchedule);
        }
        return {};
    }
};

CResult<CRaw> Read(const std::vector<std::string>& vecArgs, std::vector<std::string>& vecOperands) {
    CRaw raw;
    for (size_t i = 0; i < vecArgs.size(); ++i) {
        std::string strOption = vecArgs[i];
        std::optional<std::string> optValue = SplitOptionValue(strOption);
        if (strOption.size() < 2 || strOption[0] != '-' || strOption == "-") {
            vecOperands.push_back(strOption);
            continue;
        }
        if (kFlags.count(strOption)) {
            if (optValue) return CProblem(strOption + ": takes no value");
            raw.setFlags.insert(strOption);
            continue;
        }
        // A present of the user's choosing would let a new task start in the past.
        if (strOption == "--now")
            return CProblem("--now: add and set work from the present; --now belongs to next and ics");
        if (!kValued.count(strOption)) return CProblem("unknown option " + strOption);
        if (!optValue) {
            if (i + 1 >= vecArgs.size()) return CProblem(strOption + ": needs a value");
            optValue = vecArgs[++i];
        }
        if (kRepeated.count(strOption)) raw.mapLists[strOption].push_back(*optValue);
        else if (!raw.mapValues.emplace(strOption, *optValue).second)
            return CProblem(strOption + ": given more than once");
    }
    return raw;
}

// The ordinal form of the monthly and yearly panels: "the last friday".
// A new task needs both; a change may give one and keep the other.
CResult<> OrdinalAndKind(const CRaw& raw, bool bAdd, const char* pszOrdinalKey, const char* pszKindKey, json& j) {
    if (raw.Has("--day")) return CProblem("--day: does not go with --ordinal and --kind");
    if (bAdd && (!raw.Has("--ordinal") || !raw.Has("--kind"))) return CProblem("--ordinal and --kind: go together");
    if (raw.Has("--ordinal")) {
        QUILLORY_TRY_VALUE(const int nOrdinal,
                           raw.Named("--ordinal", kOrdinals, "first, second, third, fourth or last"));
        j[pszOrdinalKey] = nOrdinal;
    }
    if (raw.Has("--kind")) {
        QUILLORY_TRY_VALUE(const int nKind, raw.Kind(true));
        j[pszKindKey] = nKind;
    }
    return {};
}

// The recurrence members, as the chosen panel writes them. A new task gets
// every member the panel shows; a change writes only what was given (and
// the form that goes with it), so that the task keeps the rest: its
// interval, its form, its week of the month, its days. Where an option
// fits both forms of a panel and no form is named (--monthly --interval 3,
// --yearly --month may), it is written to both, since the form the task
// has is not known here.
CResult<> Recurrence(const CRaw& raw, bool bAdd, json& j) {
    std::vector<std::string> vecChosen;
    for (const char* psz : {"--once", "--every-minutes", "--daily", "--weekly", "--monthly", "--yearly"})
        if (raw.Has(psz)) vecChosen.push_back(psz);
    if (vecChosen.size() > 1) return CProblem(vecChosen[0] + ": does not go with " + vecChosen[1]);
    if (vecChosen.empty()) {
        QUILLORY_TRY(raw.Only("no schedule option", {}));
        if (bAdd) j["recurrence"] = CodeOf(ERecurrence::Once);
        return {};
    }
    const std::string& strChosen = vecChosen[0];
    if (strChosen == "--once") {
        QUILLORY_TRY(raw.Only(strChosen, {}));
        j["recurrence"] = CodeOf(ERecurrence::Once);
    } else if (strChosen == "--every-minutes") {
        QUILLORY_TRY(raw.Only(strChosen, {}));
        QUILLORY_TRY_VALUE(const int n, raw.Count("--every-minutes", R::kInterval, 1));
        j["recurrence"] = CodeOf(ERecurrence::Minutely);
        j["minuteInterval"] = n;
    } else if (strChosen == "--daily") {
        QUILLORY_TRY(raw.Only(strChosen, {"--interval", "--kind"}));
        j["recurrence"] = CodeOf(ERecurrence::Daily);
        if (raw.Has("--kind")) {
            if (raw.Has("--interval")) return CProblem("--interval: does not go with --kind");
            QUILLORY_TRY_VALUE(const int nKind, raw.Kind(false));
            j["dailyMode"] = 1;
            j["dailyDayKind"] = nKind;
        } else if (raw.Has("--interval") || bAdd) {
            QUILLORY_TRY_VALUE(const int n, raw.Count("--interval", R::kInterval, 1));
            j["dailyMode"] = 0;
            j["dailyInterval"] = n;
        }
    } else if (strChosen == "--weekly") {
        QUILLORY_TRY(raw.Only(strChosen, {"--interval", "--days", "--week-of-month"}));
        if (bAdd && !raw.Has("--days")) return CProblem("--days: Please select at least one of the day.");
        j["recurrence"] = CodeOf(ERecurrence::Weekly);
        if (raw.Has("--week-of-month")) {
            if (raw.Has("--interval")) return CProblem("--interval: does not go with --week-of-month");
            const std::string str = Lower(raw.Value("--week-of-month"));
            const int n = str == "2" || str == "second"   ? 0
                          : str == "3" || str == "third"  ? 1
                          : str == "4" || str == "fourth" ? 2
                                                          : -1;
            if (n < 0)
                return CProblem("--week-of-month: must be 2, 3 or 4, not \"" + raw.Value("--week-of-month") + "\"");
            j["weeklyMode"] = 1;
            j["weeklyWeekOfMonth"] = n;
            if (bAdd) j["weeklyInterval"] = 1;  // the panel's other form keeps its own 1
        } else if (raw.Has("--interval") || bAdd) {
            QUILLORY_TRY_VALUE(const int n, raw.Count("--interval", R::kInterval, 1));
            j["weeklyMode"] = 0;
            j["weeklyInterval"] = n;
            if (bAdd) j["weeklyWeekOfMonth"] = -1;  // a list never chosen from
        }
        if (raw.Has("--days")) {
            json arrDays = json::array({false, false, false, false, false, false, false});
            for (const std::string& strDay : Split(raw.Value("--days"))) {
                const int n = CalendarNameIndex(strDay, kWeekdayNames);
                if (n < 0) return CProblem("--days: \"" + strDay + "\" is no day of the week");
                arrDays[static_cast<size_t>(n)] = true;
            }
            if (std::none_of(arrDays.begin(), arrDays.end(), [](const json& b) { return b.get<bool>(); }))
                return CProblem("--days: Please select at least one of the day.");
            j["weekDays"] = arrDays;
        }
    } else if (strChosen == "--monthly") {
        QUILLORY_TRY(raw.Only(strChosen, {"--interval", "--day", "--ordinal", "--kind"}));
        j["recurrence"] = CodeOf(ERecurrence::Monthly);
        std::optional<int> optMonths;
        if (raw.Has("--interval") || bAdd) {
            QUILLORY_TRY_VALUE(const int n, raw.Count("--interval", R::kInterval, 1));
            optMonths = n;
        }
        if (raw.Has("--ordinal") || raw.Has("--kind")) {
            QUILLORY_TRY(OrdinalAndKind(raw, bAdd, "monthlyOrdinal", "monthlyDayKind", j));
            j["monthlyMode"] = 1;
            if (optMonths) j["monthlyInterval2"] = *optMonths;
        } else if (raw.Has("--day")) {
            QUILLORY_TRY_VALUE(const int nDay, raw.Count("--day", R::kDayOfMonth, 1));
            j["monthlyMode"] = 0;
            j["monthlyDay"] = nDay;
            if (optMonths) j["monthlyInterval"] = *optMonths;
        } else if (bAdd) {
            return CProblem("--monthly: needs --day, or --ordinal and --kind");
        } else if (optMonths) {
            j["monthlyInterval"] = *optMonths;
            j["monthlyInterval2"] = *optMonths;
        }
    } else {
        QUILLORY_TRY(raw.Only(strChosen, {"--month", "--day", "--ordinal", "--kind"}));
        if (bAdd && !raw.Has("--month")) return CProblem("--month: a yearly schedule needs its month");
        std::optional<int> optMonth;
        if (raw.Has("--month")) {
            optMonth = CalendarNameIndex(raw.Value("--month"), kMonthNames);
            if (*optMonth < 0) return CProblem("--month: must be a month's name, not \"" + raw.Value("--month") + "\"");
        }
        j["recurrence"] = CodeOf(ERecurrence::Yearly);
        if (raw.Has("--ordinal") || raw.Has("--kind")) {
            QUILLORY_TRY(OrdinalAndKind(raw, bAdd, "yearlyOrdinal", "yearlyDayKind", j));
            j["yearlyMode"] = 1;
            if (optMonth) j["yearlyMonth2"] = *optMonth;
        } else if (raw.Has("--day")) {
            QUILLORY_TRY_VALUE(const int nDay, raw.Count("--day", R::kDayOfMonth, 1));
            j["yearlyMode"] = 0;
            j["yearlyDay"] = nDay;
            if (optMonth) j["yearlyMonth"] = *optMonth;
        } else if (bAdd) {
            return CProblem("--yearly: needs --day, or --ordinal and --kind");
        } else if (optMonth) {
            j["yearlyMonth"] = *optMonth;
            j["yearlyMonth2"] = *optMonth;
        }
    }
    return {};
}

json DateJson(int nYear, int nMonth, int nDay) {
    return {
        {"year", nYear}, {"month", nMonth}, {"day", nDay}, {"dayOfWeek", CTaskCheck::DayOfWeek(nYear, nMonth, nDay)}};
}

// Start, end, name and the options of the Other page.
CResult<> StartEndAndOptions(const CRaw& raw, bool bAdd, time_t tNow, json& j) {
    std::optional<TaskDateTime> optStart;
    if (raw.Has("--start")) {
        auto rStart = CScheduleOptions::ParseStart(raw.Value("--start"), tNow);
        if (!rStart)
            return CProblem("--start: must be \"YYYY-MM-DD HH:MM\", \"HH:MM\" or \"tomorrow HH:MM\", \"mon HH:MM\": " +
                            rStart.Problem() + ", not \"" + raw.Value("--start") + "\"");
        optStart = *rStart;
    } else if (bAdd) {
        // The next whole minute.
        optStart = TaskTime::FromAbsolute(tNow + 60);
        optStart->nSecond = 0;
    }
    std::optional<time_t> tStart;
    if (optStart) {
        const TaskDateTime& s = *optStart;
        QUILLORY_TRY_VALUE(tStart, TaskTime::ToAbsolute(s.nYear, s.nMonth, s.nDay, s.nHour, s.nMinute, 0));
        if (bAdd && *tStart <= tNow)
            return CProblem("--start: Please change the starting date and time later than the current time.");
        json jStart = DateJson(s.nYear, s.nMonth, s.nDay);
        jStart["hour"] = s.nHour;
        jStart["minute"] = s.nMinute;
        jStart["second"] = 0;
        j["start"] = jStart;
    }
    int nEnds = 0;
    for (const char* psz : {"--end-after", "--end-date", "--no-end"}) nEnds += raw.Has(psz);
    if (nEnds > 1) return CProblem("--end-after, --end-date and --no-end: choose one");
    if (raw.Has("--end-after")) {
        QUILLORY_TRY_VALUE(const int n, raw.Count("--end-after", R::kOccurrences, 1));
        j["endKind"] = CodeOf(EEndKind::AfterCount);
        j["endAfterCount"] = n;
    } else if (raw.Has("--end-date")) {
        const auto rEndDate = TaskTime::ParseDate(raw.Value("--end-date"));
        if (!rEndDate)
            return CProblem("--end-date: must be a date as \"YYYY-MM-DD\": " + rEndDate.Problem() + ", not \"" +
                            raw.Value("--end-date") + "\"");
        if (tStart) {
            const auto rEnd = TaskTime::EndOfDay(*rEndDate);
            if (rEnd && *rEnd <= *tStart)
                return CProblem("--end-date: Please change the end date later than the starting time.");
        }
        j["endKind"] = CodeOf(EEndKind::EndDate);
        j["end"] = DateJson(rEndDate->nYear, rEndDate->nMonth, rEndDate->nDay);
    } else if (raw.Has("--no-end") || bAdd) {
        j["endKind"] = CodeOf(EEndKind::NoEnd);
    }
    if (raw.Has("--name")) j["taskName"] = raw.Value("--name");
    const std::pair<const char*, const char*> arrSwitches[] = {
        {"--active", "--inactive"}, {"--send-overdue", "--no-send-overdue"}, {"--receive-first", "--no-receive-first"}};
    const char* arrKeys[] = {"active", "sendOverdue", "receiveBeforeSending"};
    const bool arrAddDefaults[] = {true, true, false};  // a new task in the sheet
    for (size_t i = 0; i < 3; ++i) {
        const auto [pszOn, pszOff] = arrSwitches[i];
        if (raw.Has(pszOn) && raw.Has(pszOff)) return CProblem(std::string(pszOn) + ": does not go with " + pszOff);
        if (raw.Has(pszOn) || raw.Has(pszOff)) j[arrKeys[i]] = raw.Has(pszOn);
        else if (bAdd) j[arrKeys[i]] = arrAddDefaults[i];
    }
    if (raw.Has("--attach-entry") && raw.Has("--no-attach-entries"))
        return CProblem("--attach-entry: does not go with --no-attach-entries");
    if (raw.Has("--attach-entry") || raw.Has("--no-attach-entries") || bAdd) {
        json arr = json::array();
        if (raw.Has("--attach-entry"))
            for (const std::string& strEntry : raw.mapLists.at("--attach-entry")) {
                if (strEntry.find_first_not_of(" \t") == std::string::npos)
                    return CProblem("--attach-entry: Please select a file or folder.");
                // The host resolves an entry from its own folder, not the
                // caller's: one typed relative to here is made absolute.
                std::error_code ec;
                const bool bAbsolute = strEntry[strEntry.find_first_not_of(" \t")] == '/';
                arr.push_back(bAbsolute ? strEntry : std::filesystem::absolute(strEntry, ec).string());
            }
        j["attachments"] = arr;
    }
    return {};
}

}  // namespace

CResult<CScheduleOptions> CScheduleOptions::Parse(const std::vector<std::string>& vecArgs, bool bAdd, time_t tClock) {
    CScheduleOptions opt;
    std::vector<std::string> vecRest = vecArgs;
    QUILLORY_TRY_VALUE(opt.jRules, CRuleOptions::Take(vecRest));
    QUILLORY_TRY_VALUE(const CRaw raw, Read(vecRest, opt.vecOperands));
    const time_t tNow = tClock;
    QUILLORY_TRY(Recurrence(raw, bAdd, opt.jChanges));
    {
        // A task with a zone of its own has its start and end in that zone.
        std::optional<CZoneHold> zone;
        if (const std::string strZone = opt.jRules.value("zone", ""); !strZone.empty()) {
            QUILLORY_TRY_VALUE(CZoneRules* const pZone, CZoneRules::Named(strZone));
            zone.emplace(*pZone);
        }
        QUILLORY_TRY(StartEndAndOptions(raw, bAdd, tNow, opt.jChanges));
    }

    const auto list = [&](const char* psz) {
        std::vector<std::string> vec;
        if (raw.mapLists.count(psz))
            for (const std::string& str : raw.mapLists.at(psz))
                for (const std::string& strAddress : Split(str)) vec.push_back(strAddress);
        return vec;
    };
    opt.vecTo = list("--to");
    opt.vecCc = list("--cc");
    opt.vecBcc = list("--bcc");
    if (raw.mapLists.count("--attach")) opt.vecAttach = raw.mapLists.at("--attach");
    if (raw.Has("--subject")) opt.optSubject = raw.Value("--subject");
    if (raw.Has("--body")) opt.optBody = raw.Value("--body");
    if (raw.Has("--body-file")) opt.optBodyFile = raw.Value("--body-file");
    if (raw.Has("--eml")) opt.strEml = raw.Value("--eml");
    const bool bFields = !opt.vecTo.empty() || !opt.vecCc.empty() || !opt.vecBcc.empty() || opt.optSubject ||
                         opt.optBody || opt.optBodyFile;
    opt.bMessage = bFields || raw.Has("--eml") || !opt.vecAttach.empty();
    if (raw.Has("--eml") && bFields) return CProblem("--eml: does not go with --to, --cc, --bcc, --subject or --body");
    if (opt.optBody && opt.optBodyFile) return CProblem("--body: does not go with --body-file");
    if (bAdd && !opt.bMessage)
        return CProblem("a new task needs its message: --eml FILE, or --to, --subject and --body");
    // A change keeps the parts of its message it does not give.
    if (bAdd && opt.bMessage && !raw.Has("--eml")) {
        if (opt.vecTo.empty() && opt.vecCc.empty() && opt.vecBcc.empty())
            return CProblem("--to: the message needs at least one recipient");
        if (!opt.optSubject || opt.optSubject->empty()) return CProblem("--subject: the message needs a subject");
        if (!opt.optBody && !opt.optBodyFile) return CProblem("--body: the message needs a body (or --body-file)");
    }
    return opt;
}

std::string CScheduleOptions::InOptionWords(const std::string& strProblem) {
    static const std::map<std::string, std::string> kOptions = {
        {"start", "--start"},
        {"end", "--end-date"},
        {"endKind", "--end-after"},
        {"endAfterCount", "--end-after"},
        {"taskName", "--name"},
        {"minuteInterval", "--every-minutes"},
        {"dailyInterval", "--interval"},
        {"weeklyInterval", "--interval"},
        {"monthlyInterval", "--interval"},
        {"monthlyInterval2", "--interval"},
        {"dailyDayKind", "--kind"},
        {"monthlyDayKind", "--kind"},
        {"yearlyDayKind", "--kind"},
        {"weeklyWeekOfMonth", "--week-of-month"},
        {"weekDays", "--days"},
        {"monthlyDay", "--day"},
        {"yearlyDay", "--day"},
        {"monthlyOrdinal", "--ordinal"},
        {"yearlyOrdinal", "--ordinal"},
        {"yearlyMonth", "--month"},
        {"yearlyMonth2", "--month"},
        {"attachments", "--attach-entry"},
        {"templateFile", "--eml"},
        {"template", "--eml"},
        {"task", "TASK"},
    };
    const size_t nColon = strProblem.find(": ");
    if (nColon == std::string::npos) return strProblem;
    std::string strKey = strProblem.substr(0, nColon);
    strKey.resize(std::min(strKey.size(), strKey.find_first_of(".[")));
    const auto it = kOptions.find(strKey);
    return it == kOptions.end() ? strProblem : it->second + strProblem.substr(nColon);
}

CResult<TaskDateTime> CScheduleOptions::ParseStart(const std::string& str, time_t tNow) {
    if (str.size() == 16 && str[4] == '-') return TaskTime::ParseDateTime(str);
    const size_t nBlank = str.rfind(' ');
    const std::string strDay = nBlank == std::string::npos ? "" : Lower(str.substr(0, nBlank));
    const std::string strTime = nBlank == std::string::npos ? str : str.substr(nBlank + 1);
    const TaskDateTime now = TaskTime::FromAbsolute(tNow);
    const int64_t nToday = TaskTime::DayNumber(now.nYear, now.nMonth, now.nDay);
    const int nWeekday = CalendarNameIndex(strDay, kWeekdayNames);
    if (!strDay.empty() && strDay != "today" && strDay != "tomorrow" && nWeekday < 0)
        return CProblem("\"" + strDay + "\" is neither today, tomorrow nor a day of the week");
    // The first day from today that the words allow and whose time is ahead.
    for (int64_t nDay = nToday + (strDay == "tomorrow"); nDay <= nToday + 8; ++nDay) {
        if (nWeekday >= 0 && TaskTime::DayOfWeek(nDay) != nWeekday + 1) continue;
        const std::string strDate = TaskTime::Format(TaskTime::DateOfDay(nDay)).substr(0, 10);
        QUILLORY_TRY_VALUE(const TaskDateTime dt, TaskTime::ParseDateTime(strDate + " " + strTime));
        QUILLORY_TRY_VALUE(const time_t t, TaskTime::ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute, 0));
        // "today" and "tomorrow" name one day; a time passed there is refused as any past start.
        if (t > tNow || (!strDay.empty() && nWeekday < 0)) return dt;
    }
    return CProblem("no such time ahead");
}
