#include "CRuleOptions.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "CHolidayFile.h"
#include "CTaskRulesJson.h"
#include "CZoneRules.h"
#include "Digits.h"
#include "OptionWithValue.h"
#include "TaskTime.h"

namespace {

// Each option with the rule key it sets and, for its --no- form, the value
// a task without rules has.
struct CRuleOption {
    const char* pszOption;
    const char* pszKey;
    bool bValued;  // takes a value (else a flag)
};
constexpr CRuleOption kRuleOptions[] = {
    {"--working-days", "workingDays", true},
    {"--holidays", "holidays", true},
    {"--on-holiday", "onHoliday", true},
    {"--zone", "zone", true},
    {"--if-nothing-attached", "ifNothingAttached", true},
    {"--missed", "missed", true},
    {"--pause-until", "pauseUntil", true},
    {"--skip-next", "skipNext", false},
};

const CRuleOption* Find(const std::string& strOption) {
    for (const auto& option : kRuleOptions) {
        if (strOption == option.pszOption || strOption == std::string("--no-") + (option.pszOption + 2)) return &option;
    }
    return nullptr;
}

// The value of a rule as a task without rules has it.
nlohmann::json NoneOf(const std::string& strKey) {
    if (strKey == "pauseUntil") return nullptr;
    if (strKey == "holidays") return nlohmann::json::array();
    if (strKey == "workingDays") return CWorkingDays::WeekdaysText(CTaskRules{}.nWorkingDays);
    if (strKey == "zone") return "";
    if (strKey == "skipNext") return false;
    if (strKey == "onHoliday") return CTaskRules::Word(CTaskRules{}.eOnDayOff, CTaskRules::kOnDayOffWords);
    if (strKey == "missed") return CTaskRules::Word(CTaskRules{}.eMissed, CTaskRules::kMissedWords);
    return CTaskRules::Word(CTaskRules{}.eNothingAttached, CTaskRules::kNothingAttachedWords);
}

// "wait:MINUTES:DEADLINE_MINUTES", or a word alone.
CResult<> NothingAttached(const std::string& strValue, nlohmann::json& j) {
    if (strValue.rfind("wait", 0) != 0 || strValue == "wait") {
        if (strValue == "wait")
            return CProblem("--if-nothing-attached: wait needs how often and for how long, e.g. wait:10:120");
        j["ifNothingAttached"] = strValue;
        return {};
    }
    const auto number = [](const std::string& str) -> int {
        if (!IsDigits(str, 6)) return -1;
        return std::stoi(str);
    };
    // wait:MINUTES:DEADLINE_MINUTES[:send|skip], the last what is done once the deadline passed.
    const size_t nColon = strValue.find(':', 5);
    const size_t nThen = nColon == std::string::npos ? std::string::npos : strValue.find(':', nColon + 1);
    const std::string strThen = nThen == std::string::npos ? "" : strValue.substr(nThen + 1);
    const int nEvery = strValue[4] == ':' && nColon != std::string::npos ? number(strValue.substr(5, nColon - 5)) : -1;
    const int nDeadline =
        nEvery >= 0 ? number(strValue.substr(nColon + 1, nThen == std::string::npos ? nThen : nThen - nColon - 1)) : -1;
    if (nEvery < 0 || nDeadline < 0 || (nThen != std::string::npos && strThen != "send" && strThen != "skip"))
        return CProblem(
            "--if-nothing-attached: must be send, skip or wait:MINUTES:DEADLINE_MINUTES[:send|skip], "
            "not \"" +
            strValue + "\"");
    j["ifNothingAttached"] = "wait";
    j["waitMinutes"] = nEvery;
    j["waitDeadlineMinutes"] = nDeadline;
    if (!strThen.empty()) j["waitThen"] = strThen;
    return {};
}

// A holiday file as the rule keeps it: its absolute path, read once now.
CResult<std::string> HolidayFile(const std::string& strValue) {
    std::error_code ec;
    const std::string strPath = std::filesystem::absolute(strValue, ec).lexically_normal().string();
    if (ec || strValue.empty()) return CProblem("--holidays: \"" + strValue + "\" is not a file name");
    const int64_t nToday = 0;
    if (auto r = CHolidayFile::Read(strPath, nToday, nToday); !r) return CProblem("--holidays: " + r.Problem());
    return strPath;
}

}  // namespace

bool CRuleOptions::IsRuleOption(const std::string& strOption) { return Find(strOption) != nullptr; }

CResult<nlohmann::json> CRuleOptions::Take(std::vector<std::string>& vecArgs) {
    nlohmann::json j = nlohmann::json::object();
    std::map<std::string, std::string> mapGiven;  // rule key -> the option that set it
    std::vector<std::string> vecOthers;
    for (size_t i = 0; i < vecArgs.size(); ++i) {
        std::string strOption = vecArgs[i];
        std::optional<std::string> optValue = SplitOptionValue(strOption);
        const CRuleOption* pOption = Find(strOption);
        if (!pOption) {
            vecOthers.push_back(vecArgs[i]);
            continue;
        }
        const bool bNo = strOption.rfind("--no-", 0) == 0;
        const bool bRepeated = std::string(pOption->pszKey) == "holidays" && !bNo;
        if (const auto it = mapGiven.find(pOption->pszKey);
            it != mapGiven.end() && !(bRepeated && it->second == strOption))
            return CProblem(it->second == strOption ? strOption + ": given more than once"
                                                    : strOption + ": does not go with " + it->second);
        mapGiven[pOption->pszKey] = strOption;
        if (bNo || !pOption->bValued) {
            if (optValue) return CProblem(strOption + ": takes no value");
            j[pOption->pszKey] = bNo ? NoneOf(pOption->pszKey) : nlohmann::json(true);
            continue;
        }
        if (!optValue) {
            if (i + 1 >= vecArgs.size()) return CProblem(strOption + ": needs a value");
            optValue = vecArgs[++i];
        }
        const std::string strKey = pOption->pszKey;
        if (strKey == "holidays") {
            QUILLORY_TRY_VALUE(std::string strPath, HolidayFile(*optValue));
            if (!j.contains(strKey)) j[strKey] = nlohmann::json::array();
            j[strKey].push_back(std::move(strPath));
        } else if (strKey == "ifNothingAttached") {
            QUILLORY_TRY(NothingAttached(*optValue, j));
        } else if (strKey == "zone") {
            // Read once now, so that a zone the system lacks is refused here.
            if (auto r = CZoneRules::Named(*optValue); !r) return CProblem("--zone: " + r.Problem());
            j[strKey] = *optValue;
        } else {
            j[strKey] = *optValue;
        }
    }
    // The values are checked as the host will check them, in the options' words.
    if (auto r = CTaskRulesJson::FromJson(j); !r) {
        std::string strProblem = r.Problem();
        for (const auto& option : kRuleOptions) {
            const std::string strKey = std::string("rules.") + option.pszKey;
            for (size_t n = strProblem.find(strKey); n != std::string::npos; n = strProblem.find(strKey, n + 1))
                strProblem.replace(n, strKey.size(), option.pszOption);
        }
        for (const char* psz : {"rules.waitMinutes", "rules.waitDeadlineMinutes"})
            for (size_t n = strProblem.find(psz); n != std::string::npos; n = strProblem.find(psz, n + 1))
                strProblem.replace(n, std::string(psz).size(), "--if-nothing-attached");
        return CProblem(strProblem);
    }
    vecArgs = std::move(vecOthers);
    return j;
}
