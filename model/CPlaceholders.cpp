#include "CPlaceholders.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>

#include "CDateText.h"
#include "CalendarNames.h"
#include "TaskTime.h"

namespace {

constexpr const char* kPlaceholderConversions = "YymdeBbAaHMIpj%";
constexpr size_t kMaxOffsetDigits = 4;  // up to 9999 units either way
constexpr size_t kMaxShownInside = 40;  // of a placeholder quoted in a problem

// One placeholder as written: {date-1d:%d.%m.} is "date", -1, 'd', "%d.%m.".
struct CPlaceholderSpec {
    std::string strName;
    int nOffset = 0;
    char cUnit = 0;  // d, w, m, y; 0 when none was written
    std::optional<std::string> strFormat;
};

// 1-based, counting characters rather than the bytes of UTF-8.
size_t CharPosition(const std::string& str, size_t nByte) {
    size_t n = 1;
    for (size_t i = 0; i < nByte && i < str.size(); ++i)
        if ((static_cast<unsigned char>(str[i]) & 0xC0) != 0x80) ++n;
    return n;
}

std::string Quoted(const std::string& strInside) {
    return "{" + (strInside.size() > kMaxShownInside ? strInside.substr(0, kMaxShownInside) + "..." : strInside) + "}";
}

// The inside of one placeholder; the problem in words without its position.
CResult<CPlaceholderSpec> ParseInside(const std::string& strInside) {
    const CProblem unknown("unknown placeholder " + Quoted(strInside));
    CPlaceholderSpec spec;
    size_t i = 0;
    while (i < strInside.size() && std::islower(static_cast<unsigned char>(strInside[i]))) ++i;
    spec.strName = strInside.substr(0, i);
    const bool bDate = spec.strName == "date", bMonth = spec.strName == "month", bYear = spec.strName == "year";
    if (!bDate && !bMonth && !bYear && spec.strName != "time" && spec.strName != "n" && spec.strName != "name")
        return unknown;
    if (i < strInside.size() && (strInside[i] == '+' || strInside[i] == '-')) {
        if (!bDate && !bMonth && !bYear) return unknown;
        const int nSign = strInside[i] == '-' ? -1 : 1;
        const size_t nDigits = ++i;
        while (i < strInside.size() && std::isdigit(static_cast<unsigned char>(strInside[i]))) ++i;
        if (i == nDigits || i - nDigits > kMaxOffsetDigits) return unknown;
        spec.nOffset = nSign * std::stoi(strInside.substr(nDigits, i - nDigits));
        if (i < strInside.size() && std::string_view("dwmy").find(strInside[i]) != std::string_view::npos)
            spec.cUnit = strInside[i++];
        // A date needs its unit; a month or a year counts in its own.
        if (bDate ? spec.cUnit == 0 : spec.cUnit != 0 && spec.cUnit != (bMonth ? 'm' : 'y')) return unknown;
    }
    if (i == strInside.size()) return spec;
    if (strInside[i] != ':' || spec.strName == "n" || spec.strName == "name") return unknown;
    spec.strFormat = strInside.substr(i + 1);
    const std::string& strFormat = *spec.strFormat;
    for (size_t k = 0; k < strFormat.size(); ++k) {
        if (strFormat[k] != '%') continue;
        const bool bKnown = k + 1 < strFormat.size() &&
                            std::string_view(kPlaceholderConversions).find(strFormat[k + 1]) != std::string_view::npos;
        if (!bKnown) return CProblem("unknown conversion " + strFormat.substr(k, 2) + " in " + Quoted(strInside));
        ++k;
    }
    return spec;
}

struct CCivilDay {
    int nYear, nMonth, nDay;
};

// Months and years keep the day where the month has it, else take its last.
CCivilDay AddMonths(const CCivilDay& day, int64_t nMonths) {
    const int64_t nTotal = int64_t{day.nYear} * 12 + (day.nMonth - 1) + nMonths;
    const int64_t nYear = nTotal >= 0 ? nTotal / 12 : (nTotal - 11) / 12;
    const int nYearOut = static_cast<int>(std::clamp<int64_t>(nYear, -1, 100000));
    const int nMonth = static_cast<int>(nTotal - nYear * 12) + 1;
    if (nYearOut < 1) return {nYearOut, nMonth, 1};  // out of range all the same; refused below
    return {nYearOut, nMonth, std::min(day.nDay, CDateText::DaysInMonth(nYearOut, nMonth))};
}

CCivilDay Shifted(const CPlaceholderSpec& spec, const CCivilDay& day) {
    switch (spec.cUnit) {
        case 'd':
        case 'w': {
            const TaskDateTime dt = TaskTime::DateOfDay(TaskTime::DayNumber(day.nYear, day.nMonth, day.nDay) +
                                                        spec.nOffset * (spec.cUnit == 'w' ? 7 : 1));
            return {dt.nYear, dt.nMonth, dt.nDay};
        }
        case 'm': return AddMonths(day, spec.nOffset);
        case 'y': return AddMonths(day, int64_t{spec.nOffset} * 12);
        default:
            return spec.strName == "year" ? AddMonths(day, int64_t{spec.nOffset} * 12) : AddMonths(day, spec.nOffset);
    }
}

std::string Padded(int64_t n, size_t nWidth, char cPad = '0') {
    std::string str = std::to_string(n);
    if (str.size() < nWidth) str.insert(0, nWidth - str.size(), cPad);
    return str;
}

std::string Formatted(const std::string& strFormat, const CCivilDay& day, int nHour, int nMinute) {
    const int64_t nDayNumber = TaskTime::DayNumber(day.nYear, day.nMonth, day.nDay);
    const int nWeekday = TaskTime::DayOfWeek(nDayNumber);  // 1 = Sunday
    std::string str;
    for (size_t k = 0; k < strFormat.size(); ++k) {
        if (strFormat[k] != '%' || k + 1 >= strFormat.size()) {
            str += strFormat[k];
            continue;
        }
        switch (strFormat[++k]) {
            case 'Y': str += std::to_string(day.nYear); break;
            case 'y': str += Padded(day.nYear % 100, 2); break;
            case 'm': str += Padded(day.nMonth, 2); break;
            case 'd': str += Padded(day.nDay, 2); break;
            case 'e': str += Padded(day.nDay, 2, ' '); break;
            case 'B': str += kMonthNames[static_cast<size_t>(day.nMonth - 1)]; break;
            case 'b': str += std::string(kMonthNames[static_cast<size_t>(day.nMonth - 1)]).substr(0, 3); break;
            case 'A': str += kWeekdayNames[static_cast<size_t>(nWeekday - 1)]; break;
            case 'a': str += std::string(kWeekdayNames[static_cast<size_t>(nWeekday - 1)]).substr(0, 3); break;
            case 'H': str += Padded(nHour, 2); break;
            case 'M': str += Padded(nMinute, 2); break;
            case 'I': str += Padded(nHour % 12 == 0 ? 12 : nHour % 12, 2); break;
            case 'p': str += nHour < 12 ? "AM" : "PM"; break;
            case 'j': str += Padded(nDayNumber - TaskTime::DayNumber(day.nYear, 1, 1) + 1, 3); break;
            default: str += '%'; break;  // "%%"; nothing else passes ParseInside
        }
    }
    return str;
}

CResult<std::string> Rendered(const CPlaceholderSpec& spec, const CPlaceholders::CValues& values,
                              const std::string& strInside) {
    if (spec.strName == "n") return std::to_string(values.nOccurrence);
    if (spec.strName == "name") return values.strTaskName;
    const TaskDateTime& dt = values.dtOccurrence;
    if (!dt.IsSet() || dt.nMonth > 12 || dt.nDay > CDateText::DaysInMonth(dt.nYear, dt.nMonth) || dt.nHour < 0 ||
        dt.nHour > 23 || dt.nMinute < 0 || dt.nMinute > 59)
        return CProblem(Quoted(strInside) + ": the occurrence has no date");
    const CCivilDay day = Shifted(spec, {dt.nYear, dt.nMonth, dt.nDay});
    if (day.nYear < TaskTime::kFirstYear || day.nYear > TaskTime::kLastYear)
        return CProblem(Quoted(strInside) + " falls outside the years " + std::to_string(TaskTime::kFirstYear) +
                        " to " + std::to_string(TaskTime::kLastYear));
    const char* pszDefault = spec.strName == "time"    ? "%H:%M"
                             : spec.strName == "month" ? "%B %Y"
                             : spec.strName == "year"  ? "%Y"
                                                       : "%Y-%m-%d";
    return Formatted(spec.strFormat.value_or(pszDefault), day, dt.nHour, dt.nMinute);
}

std::string HtmlEscaped(const std::string& str) {
    std::string strOut;
    for (const char c : str) {
        switch (c) {
            case '&': strOut += "&amp;"; break;
            case '<': strOut += "&lt;"; break;
            case '>': strOut += "&gt;"; break;
            case '"': strOut += "&quot;"; break;
            default: strOut += c;
        }
    }
    return strOut;
}

// Reads strText[nBegin, nEnd): with pValues, fills what it reads into
// strOut; without, only looks for problems.
void Scan(const std::string& strText, size_t nBegin, size_t nEnd, const CPlaceholders::CValues* pValues, bool bHtml,
          std::string& strOut, const std::string& strWhere, CProblems& problems) {
    auto problem = [&](const std::string& strWhat, size_t nAt) {
        problems.Add(strWhere, strWhat + " at " + std::to_string(CharPosition(strText, nAt)));
    };
    size_t i = nBegin;
    while (i < nEnd) {
        const char c = strText[i];
        if ((c == '{' || c == '}') && i + 1 < nEnd && strText[i + 1] == c) {
            strOut += c;
            i += 2;
        } else if (c == '}') {
            problem("single } (a literal brace is written }})", i);
            ++i;
        } else if (c == '{') {
            const size_t nClose = strText.find_first_of("{}", i + 1);
            if (nClose >= nEnd || strText[nClose] == '{') {
                problem("unclosed placeholder", i);
                i = std::min(nClose, nEnd);
                continue;
            }
            const std::string strInside = strText.substr(i + 1, nClose - i - 1);
            auto rSpec = ParseInside(strInside);
            if (!rSpec) problem(rSpec.Problem(), i);
            else if (pValues) {
                const auto rValue = Rendered(*rSpec, *pValues, strInside);
                if (!rValue) problem(rValue.Problem(), i);
                else strOut += bHtml ? HtmlEscaped(*rValue) : *rValue;
            }
            i = nClose + 1;
        } else {
            strOut += c;
            ++i;
        }
    }
}

// Where the element's content that is not text ends: a style sheet or a
// script, whose braces are their own.
size_t RawTextEnd(const std::string& strHtml, size_t nTagStart, size_t nTagEnd) {
    std::string strTag;
    for (size_t k = nTagStart + 1; k < nTagEnd && std::isalpha(static_cast<unsigned char>(strHtml[k])); ++k)
        strTag += static_cast<char>(std::tolower(static_cast<unsigned char>(strHtml[k])));
    if (strTag != "style" && strTag != "script") return nTagEnd;
    const std::string strClose = "</" + strTag;
    const auto it =
        std::search(strHtml.begin() + static_cast<std::ptrdiff_t>(nTagEnd), strHtml.end(), strClose.begin(),
                    strClose.end(), [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    return static_cast<size_t>(it - strHtml.begin());
}

// Scan for the text between the tags of an HTML body.
void ScanHtml(const std::string& strHtml, const CPlaceholders::CValues* pValues, std::string& strOut,
              const std::string& strWhere, CProblems& problems) {
    size_t i = 0;
    while (i < strHtml.size()) {
        const size_t nTag = std::min(strHtml.find('<', i), strHtml.size());
        Scan(strHtml, i, nTag, pValues, true, strOut, strWhere, problems);
        if (nTag == strHtml.size()) break;
        const size_t nTagEnd = std::min(strHtml.find('>', nTag), strHtml.size() - 1) + 1;
        const size_t nRawEnd = RawTextEnd(strHtml, nTag, nTagEnd);
        strOut.append(strHtml, nTag, nRawEnd - nTag);
        i = nRawEnd;
    }
}

}  // namespace

void CPlaceholders::Check(const std::string& strText, const std::string& strWhere, CProblems& problems, bool bHtml) {
    std::string strIgnored;
    if (bHtml) ScanHtml(strText, nullptr, strIgnored, strWhere, problems);
    else Scan(strText, 0, strText.size(), nullptr, false, strIgnored, strWhere, problems);
}

CResult<std::string> CPlaceholders::Fill(const std::string& strText, const CValues& values,
                                         const std::string& strWhere) {
    CProblems problems;
    std::string strOut;
    Scan(strText, 0, strText.size(), &values, false, strOut, strWhere, problems);
    if (!problems.Empty()) return problems.AsProblem();
    return strOut;
}

CResult<std::string> CPlaceholders::FillHtml(const std::string& strHtml, const CValues& values,
                                             const std::string& strWhere) {
    CProblems problems;
    std::string strOut;
    ScanHtml(strHtml, &values, strOut, strWhere, problems);
    if (!problems.Empty()) return problems.AsProblem();
    return strOut;
}

bool CPlaceholders::Has(const std::string& strText) { return strText.find_first_of("{}") != std::string::npos; }
