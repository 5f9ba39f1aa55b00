#pragma once
#include <array>

// The English names the texts about a task use: days from Sunday, months
// from January.
inline constexpr std::array<const char*, 7> kWeekdayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                             "Thursday", "Friday", "Saturday"};
inline constexpr std::array<const char*, 12> kMonthNames = {"January",   "February", "March",    "April",
                                                            "May",       "June",     "July",     "August",
                                                            "September", "October",  "November", "December"};
