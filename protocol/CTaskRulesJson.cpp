#include "CTaskRulesJson.h"

#include "CHostProtocol.h"
#include "CSettingsAhead.h"
#include "CZoneFile.h"
#include "TaskTime.h"

namespace {

std::string Choices(const auto& arrWords) {
    std::string str;
    for (size_t i = 0; i < arrWords.size(); ++i)
        str += std::string(i == 0 ? "" : i + 1 == arrWords.size() ? " or " : ", ") + arrWords[i];
    return str;
}

// One choice of a table of words; a problem names them all.
template <class E>
void ReadChoice(const nlohmann::json& j, const char* pszKey, const auto& arrWords, E& e, CProblems& problems) {
    const auto it = j.find(pszKey);
    if (it == j.end()) return;
    const auto chosen = it->is_string() ? CTaskRules::Named<E>(it->get<std::string>(), arrWords) : std::nullopt;
    if (!chosen) return problems.Add(std::string("rules.") + pszKey, "must be " + Choices(arrWords));
    e = *chosen;
}

}  // namespace

bool CTaskRulesJson::IsZoneName(const std::string& str) { return CZoneFile::CheckName(str).Ok(); }

nlohmann::json CTaskRulesJson::ToJson(const CTaskRules& rules) {
    const CTaskRules none;
    nlohmann::json j = nlohmann::json::object();
    if (rules.nWorkingDays != none.nWorkingDays) j["workingDays"] = CWorkingDays::WeekdaysText(rules.nWorkingDays);
    if (!rules.vecHolidayFiles.empty()) j["holidays"] = rules.vecHolidayFiles;
    if (rules.eOnDayOff != none.eOnDayOff)
        j["onHoliday"] = CTaskRules::Word(rules.eOnDayOff, CTaskRules::kOnDayOffWords);
    if (!rules.strZone.empty()) j["zone"] = rules.strZone;
    if (rules.eNothingAttached != none.eNothingAttached) {
        j["ifNothingAttached"] = CTaskRules::Word(rules.eNothingAttached, CTaskRules::kNothingAttachedWords);
        if (rules.eNothingAttached == CTaskRules::ENothingAttached::Wait) {
            j["waitMinutes"] = rules.nWaitMinutes;
            j["waitDeadlineMinutes"] = rules.nWaitDeadlineMinutes;
            if (rules.eWaitThen != none.eWaitThen)
                j["waitThen"] = CTaskRules::Word(rules.eWaitThen, CTaskRules::kNothingAttachedWords);
        }
    }
    if (rules.eMissed != none.eMissed) j["missed"] = CTaskRules::Word(rules.eMissed, CTaskRules::kMissedWords);
    if (rules.pauseUntil.IsSet()) {
        const TaskDateTime dt{rules.pauseUntil.nYear,
                              rules.pauseUntil.nMonth,
                              rules.pauseUntil.nDay,
                              rules.pauseUntil.nDayOfWeek,
                              0,
                              0,
                              0};
        j["pauseUntil"] = TaskTime::Format(dt).substr(0, 10);
    }
    if (rules.bSkipNext) j["skipNext"] = true;
    return j;
}

CResult<CTaskRules> CTaskRulesJson::FromJson(const nlohmann::json& j, CTaskRules rules) {
    if (!j.is_object()) return CProblem("rules: must be an object");
    CProblems problems;
    static const char* const kKeys[] = {
        "workingDays",         "holidays", "onHoliday",  "zone",     "ifNothingAttached", "waitMinutes",
        "waitDeadlineMinutes", "missed",   "pauseUntil", "skipNext", "waitThen"};
    for (const auto& [strKey, value] : j.items())
        if (std::find(std::begin(kKeys), std::end(kKeys), strKey) == std::end(kKeys))
            problems.Add("rules." + strKey, "is not a rule");
    if (const auto it = j.find("workingDays"); it != j.end()) {
        const auto rDays = it->is_string() ? CWorkingDays::ParseWeekdays(it->get<std::string>())
                                           : CResult<uint8_t>(CProblem("must be days such as \"mon-fri\""));
        if (rDays) rules.nWorkingDays = *rDays;
        else problems.Add("rules.workingDays", rDays.Problem());
    }
    if (const auto it = j.find("holidays"); it != j.end()) {
        rules.vecHolidayFiles.clear();
        bool bRight = it->is_array();
        for (const auto& jFile : bRight ? *it : nlohmann::json::array()) {
            bRight = bRight && jFile.is_string() && !jFile.get<std::string>().empty() &&
                     jFile.get<std::string>().front() == '/';
            if (bRight) rules.vecHolidayFiles.push_back(jFile.get<std::string>());
        }
        if (!bRight) problems.Add("rules.holidays", "must be a list of absolute paths of .ics files");
    }
    ReadChoice(j, "onHoliday", CTaskRules::kOnDayOffWords, rules.eOnDayOff, problems);
    if (const auto it = j.find("zone"); it != j.end()) {
        if (it->is_string() && (it->get<std::string>().empty() || IsZoneName(it->get<std::string>())))
            rules.strZone = it->get<std::string>();
        else problems.Add("rules.zone", "must be a zone's name such as \"America/New_York\"");
    }
    ReadChoice(j, "ifNothingAttached", CTaskRules::kNothingAttachedWords, rules.eNothingAttached, problems);
    auto minutes = [&](const char* pszKey, int& nOut) {
        const auto it = j.find(pszKey);
        if (it == j.end()) return;
        if (!it->is_number_integer() || *it < 1 || *it > kMaxWaitMinutes)
            return problems.Add(std::string("rules.") + pszKey,
                                "must be minutes from 1 to " + std::to_string(kMaxWaitMinutes));
        nOut = it->get<int>();
    };
    minutes("waitMinutes", rules.nWaitMinutes);
    minutes("waitDeadlineMinutes", rules.nWaitDeadlineMinutes);
    if (const auto it = j.find("waitThen"); it != j.end()) {
        const auto chosen = it->is_string() ? CTaskRules::Named<CTaskRules::ENothingAttached>(
                                                  it->get<std::string>(), CTaskRules::kNothingAttachedWords)
                                            : std::nullopt;
        if (!chosen || *chosen == CTaskRules::ENothingAttached::Wait)
            problems.Add("rules.waitThen", "must be send or skip");
        else rules.eWaitThen = *chosen;
    }
    if (rules.eNothingAttached == CTaskRules::ENothingAttached::Wait) {
        if (rules.nWaitMinutes == 0 || rules.nWaitDeadlineMinutes == 0)
            problems.Add("rules.ifNothingAttached", "wait needs waitMinutes and waitDeadlineMinutes");
        else if (rules.nWaitDeadlineMinutes < rules.nWaitMinutes)
            problems.Add("rules.waitDeadlineMinutes", "must be at least waitMinutes");
    } else {
        // Given without wait they would be dropped unseen: the user is told instead.
        for (const char* pszKey : {"waitMinutes", "waitDeadlineMinutes", "waitThen"})
            if (j.contains(pszKey))
                problems.Add(std::string("rules.") + pszKey, "goes only with ifNothingAttached wait");
        rules.nWaitMinutes = rules.nWaitDeadlineMinutes = 0;  // they belong to wait alone
        rules.eWaitThen = CTaskRules{}.eWaitThen;
    }
    ReadChoice(j, "missed", CTaskRules::kMissedWords, rules.eMissed, problems);
    if (const auto it = j.find("pauseUntil"); it != j.end()) {
        if (it->is_null()) {
            rules.pauseUntil.Empty();
        } else {
            const auto rDate = it->is_string() ? TaskTime::ParseDate(it->get<std::string>())
                                               : CResult<TaskDate>(CProblem("must be a date as \"YYYY-MM-DD\""));
            if (rDate) rules.pauseUntil = *rDate;
            else problems.Add("rules.pauseUntil", rDate.Problem());
        }
    }
    if (const auto it = j.find("skipNext"); it != j.end()) {
        if (it->is_boolean()) rules.bSkipNext = it->get<bool>();
        else problems.Add("rules.skipNext", "must be true or false");
    }
    if (!problems.Empty()) return problems.AsProblem();
    return rules;
}

CResult<CTaskRules> CTaskRulesJson::FromSettings(const nlohmann::json& jSettings) {
    if (!jSettings.is_object()) return CTaskRules{};
    const auto it = jSettings.find(CHostProtocol::kRules);
    if (it == jSettings.end()) return CTaskRules{};
    return FromJson(*it);
}

CResult<CTaskRules> CTaskRulesJson::InStore(const CTaskHistoryFile* pStore, const CTaskItem& task) {
    if (!pStore) return CTaskRules{};
    return FromSettings(pStore->SettingsOf(CTaskHistory::KeyOf(task.m_strTemplateFile)));
}

CResult<CTaskRules> CTaskRulesJson::Of(const CResult<CTaskHistoryFile::CContent>& rStore,
                                       const std::string& strTaskFile, const CTaskItem& task) {
    if (!rStore) return CTaskHistoryFile::IsBeside(strTaskFile) ? CProblem(rStore.Problem()) : CResult(CTaskRules{});
    const auto it = rStore->mapEntries.find(CTaskHistory::KeyOf(task.m_strTemplateFile));
    return it == rStore->mapEntries.end() ? CTaskRules{} : FromSettings(CSettingsAhead::For(it->second, task));
}
