#pragma once
// Each line followed by a newline: a list of problems as one text, so a
// check can look for a part and a failure shows them all.
#include <string>
#include <vector>

inline std::string Joined(const std::vector<std::string>& vecLines) {
    std::string str;
    for (const std::string& strLine : vecLines) str += strLine + "\n";
    return str;
}
