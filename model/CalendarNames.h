#pragma once
#include <array>
#include <cctype>
#include <string>

// The English names of days (from Sunday) and months (from January): the
// one table the texts about a task, the windows and the tool's options use.
inline constexpr std::array<const char*, 7> kWeekdayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                             "Thursday", "Friday", "Saturday"};
inline constexpr std::array<const char*, 12> kMonthNames = {"January",   "February", "March",    "April",
                                                            "May",       "June",     "July",     "August",
                                                            "September", "October",  "November", "December"};

// The index of a typed name in one of the tables above: the full name or its
// first three letters, any case; -1 when none. Example: "thu" in
// kWeekdayNames is 4.
template <size_t N>
int CalendarNameIndex(const std::string& str, const std::array<const char*, N>& arrNames) {
    for (size_t i = 0; i < N; ++i) {
        const std::string strName = arrNames[i];
        if (str.size() != 3 && str.size() != strName.size()) continue;
        bool bSame = true;
        for (size_t k = 0; k < str.size() && bSame; ++k)
            bSame = std::tolower(static_cast<unsigned char>(str[k])) ==
                    std::tolower(static_cast<unsigned char>(strName[k]));
        if (bSame) return static_cast<int>(i);
    }
    return -1;
}
