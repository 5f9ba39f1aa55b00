#pragma once
#include <optional>
#include <string>

// "--name=value" as the option and its value; any other word as itself,
// without one. Both option readers of add and set split a word so.
inline std::optional<std::string> SplitOptionValue(std::string& strOption) {
    const size_t nEq = strOption.find('=');
    if (strOption.rfind("--", 0) != 0 || nEq == std::string::npos) return std::nullopt;
    std::string strValue = strOption.substr(nEq + 1);
    strOption.resize(nEq);
    return strValue;
}
