#include "CDueTasks.h"

#include <cstdio>
#include <limits>
#include <sstream>

std::time_t CDueTasks::ParseLocal(const std::string& strWhen) {
    std::tm tm{};
    char cEnd = 0;
    if (strWhen.size() != 16 || std::sscanf(strWhen.c_str(), "%4d-%2d-%2d %2d:%2d%c", &tm.tm_year, &tm.tm_mon,
                                            &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &cEnd) != 5)
        return -1;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;  // the zone decides
    return std::mktime(&tm);
}

std::vector<CDueTasks::CTask> CDueTasks::Within(const std::string& strList, std::time_t tNow, long nSeconds) {
    std::vector<CTask> vec;
    std::istringstream in(strList);
    for (std::string strLine; std::getline(in, strLine);) {
        const size_t nMark = strLine.find(' ');
        if (nMark == std::string::npos || strLine.size() < nMark + 3 + 16 || strLine[nMark + 1] != '*') continue;
        const std::string strWhen = strLine.substr(strLine.size() - 16);
        const std::time_t t = ParseLocal(strWhen);
        if (t == -1 || t >= tNow + nSeconds) continue;
        const size_t nName = nMark + 3;
        const size_t nNameEnd = strLine.size() - 16;
        std::string strName = nNameEnd > nName ? strLine.substr(nName, nNameEnd - nName - 1) : "";
        vec.push_back({strWhen, strName, t < tNow});
    }
    return vec;
}

int CDueTasks::CountActive(const std::string& strList) {
    // Due within "forever" from the start of the epoch.
    return static_cast<int>(Within(strList, 0, std::numeric_limits<long>::max()).size());
}
