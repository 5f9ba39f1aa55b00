#include "CJsonText.h"

#include <new>

CResult<nlohmann::ordered_json> CJsonText::Parse(const std::string& strText) {
    try {
        return nlohmann::ordered_json::parse(strText);
    } catch (const nlohmann::json::exception& e) {
        return CProblem(std::string("not valid JSON: ") + e.what());
    } catch (const std::bad_alloc&) {
        return CProblem("not valid JSON: too large to hold in memory");
    }
}

std::string CJsonText::Dump(const nlohmann::ordered_json& j, int nIndent) {
    return j.dump(nIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
