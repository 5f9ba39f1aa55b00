#include "CWorkingDays.h"

#include "CalendarNames.h"
#include "TaskTime.h"

namespace {

// Three letters of a weekday, lower case: "mon".
std::string Short(int nWeekday) {
    std::string str(kWeekdayNames[static_cast<size_t>(nWeekday - 1)], 3);
    for (char& c : str) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return str;
}

}  // namespace

bool CWorkingDays::IsWorkingDay(int64_t nDay) const {
    return (m_nWeekdays & (1u << TaskTime::DayOfWeek(nDay))) && !m_setHolidays.count(nDay);
}

std::optional<int64_t> CWorkingDays::Before(int64_t nDay, int64_t nNotBefore) const {
    for (int64_t d = nDay - 1; d >= nNotBefore; --d)
        if (IsWorkingDay(d)) return d;
    return std::nullopt;
}

std::optional<int64_t> CWorkingDays::After(int64_t nDay, int64_t nBefore) const {
    for (int64_t d = nDay + 1; d < nBefore; ++d)
        if (IsWorkingDay(d)) return d;
    return std::nullopt;
}

CResult<uint8_t> CWorkingDays::ParseWeekdays(const std::string& str) {
    auto day = [](const std::string& strName) -> CResult<int> {
        const int n = CalendarNameIndex(strName, kWeekdayNames);
        if (n < 0) return CProblem("\"" + strName + "\" is not a day of the week (mon, tue, ... sun)");
        return n + 1;
    };
    uint8_t nMask = 0;
    size_t nStart = 0;
    while (nStart <= str.size()) {
        const size_t nComma = std::min(str.find(',', nStart), str.size());
        const std::string strPart = str.substr(nStart, nComma - nStart);
        const size_t nDash = strPart.find('-');
        QUILLORY_TRY_VALUE(const int nFirst, day(strPart.substr(0, nDash)));
        int nLast = nFirst;
        if (nDash != std::string::npos) {
            QUILLORY_TRY_VALUE(nLast, day(strPart.substr(nDash + 1)));
        }
        for (int d = nFirst;; d = d % 7 + 1) {
            nMask = static_cast<uint8_t>(nMask | (1u << d));
            if (d == nLast) break;
        }
        nStart = nComma + 1;
    }
    return nMask;
}

std::string CWorkingDays::WeekdaysText(uint8_t nWeekdays) {
    if ((nWeekdays & kEveryDay) == kEveryDay) return "mon-sun";
    // Runs of days, starting after a day that is not in the mask, so that
    // a run over the weekend ("fri-mon") stays one.
    int nFirstOff = 1;
    while (nWeekdays & (1u << nFirstOff)) ++nFirstOff;
    std::string strText;
    for (int i = 1; i <= 7; ++i) {
        const int d = (nFirstOff + i - 1) % 7 + 1;
        const int dPrev = (d + 5) % 7 + 1;
        if (!(nWeekdays & (1u << d)) || (nWeekdays & (1u << dPrev))) continue;
        int dEnd = d;
        while (nWeekdays & (1u << (dEnd % 7 + 1)) && dEnd % 7 + 1 != d) dEnd = dEnd % 7 + 1;
        strText += (strText.empty() ? "" : ",") + Short(d);
        if (dEnd != d) strText += (dEnd == d % 7 + 1 ? "," : "-") + Short(dEnd);
    }
    return strText;
}
