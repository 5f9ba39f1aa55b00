#include "CJsonText.h"

#include <new>
#include <set>
#include <vector>

CResult<nlohmann::ordered_json> CJsonText::Parse(const std::string& strText) {
    // A key given twice would be read as its last value alone: a request
    // naming two tasks, or an import with a second, empty "tasks", must be
    // refused rather than half taken.
    using json = nlohmann::ordered_json;
    std::vector<std::set<std::string>> vecKeysOfOpen;
    std::string strTwice;
    const json::parser_callback_t fnCheck = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) vecKeysOfOpen.emplace_back();
        else if (event == json::parse_event_t::object_end) vecKeysOfOpen.pop_back();
        else if (event == json::parse_event_t::key && !vecKeysOfOpen.back().insert(parsed.get<std::string>()).second &&
                 strTwice.empty())
            strTwice = parsed.get<std::string>();
        return true;
    };
    try {
        json j = json::parse(strText, fnCheck);
        if (!strTwice.empty())
            return CProblem("not valid JSON: the key \"" + strTwice + "\" is given twice in one object");
        return j;
    } catch (const nlohmann::json::exception& e) {
        return CProblem(std::string("not valid JSON: ") + e.what());
    } catch (const std::bad_alloc&) {
        return CProblem("not valid JSON: too large to hold in memory");
    }
}

std::string CJsonText::Dump(const nlohmann::ordered_json& j, int nIndent) {
    return j.dump(nIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
