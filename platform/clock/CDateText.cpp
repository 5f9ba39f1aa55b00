#include "CDateText.h"

CResult<> CDateText::CheckFields(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
    if (nYear < kFirstYear || nYear > kLastYear)
        return CProblem("year " + std::to_string(nYear) + " is not " + std::to_string(kFirstYear) + ".." +
                        std::to_string(kLastYear));
    if (nMonth < 1 || nMonth > 12) return CProblem("month " + std::to_string(nMonth) + " is not 1..12");
    if (nDay < 1 || nDay > 31) return CProblem("day " + std::to_string(nDay) + " is not 1..31");
    if (nHour < 0 || nHour > 23) return CProblem("hour " + std::to_string(nHour) + " is not 0..23");
    if (nMinute < 0 || nMinute > 59) return CProblem("minute " + std::to_string(nMinute) + " is not 0..59");
    return {};
}

int CDateText::DaysInMonth(int nYear, int nMonth) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bLeap = (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
    return nMonth == 2 && bLeap ? 29 : kDays[nMonth - 1];
}

int64_t CDateText::DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CDateText::CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

CResult<CDateText::CFields> CDateText::ParseDate(const std::string& str) {
    const auto digits = [&](size_t nAt, size_t nCount) {
        int n = 0;
        for (size_t i = nAt; i < nAt + nCount; ++i) {
            if (i >= str.size() || str[i] < '0' || str[i] > '9') return -1;
            n = n * 10 + (str[i] - '0');
        }
        return n;
    };
    const int nYear = digits(0, 4), nMonth = digits(5, 2), nDay = digits(8, 2);
    if (str.size() != 10 || str[4] != '-' || str[7] != '-' || nYear < 0 || nMonth < 0 || nDay < 0)
        return CProblem("not a date as \"YYYY-MM-DD\"");
    QUILLORY_TRY(CheckFields(nYear, nMonth, nDay, 0, 0));
    if (nDay > DaysInMonth(nYear, nMonth))
        return CProblem("day " + std::to_string(nDay) + " is not in month " + std::to_string(nMonth) + " of " +
                        std::to_string(nYear));
    return CFields{nYear, nMonth, nDay, 0, 0};
}

CResult<CDateText::CFields> CDateText::ParseDateTime(const std::string& str) {
    if (str.size() != 16 || str[10] != ' ' || str[13] != ':' || str.find_first_not_of("0123456789", 11) != 13 ||
        str.find_first_not_of("0123456789", 14) != std::string::npos)
        return CProblem("not a date and time as \"YYYY-MM-DD HH:MM\"");
    QUILLORY_TRY_VALUE(CFields fields, ParseDate(str.substr(0, 10)));
    fields.nHour = std::stoi(str.substr(11, 2));
    fields.nMinute = std::stoi(str.substr(14, 2));
    QUILLORY_TRY(CheckFields(fields.nYear, fields.nMonth, fields.nDay, fields.nHour, fields.nMinute));
    return fields;
}
