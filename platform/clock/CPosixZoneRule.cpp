#include "CPosixZoneRule.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <string>

#include "CDateText.h"

namespace {

// A cursor over the rule's text; each reader consumes what it recognises.
class CRuleText {
public:
    explicit CRuleText(std::string_view sv) : m_sv(sv) {}
    bool AtEnd() const { return m_nAt >= m_sv.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_sv[m_nAt]; }
    bool Take(char c) {
        if (Peek() != c) return false;
        ++m_nAt;
        return true;
    }
    // A number of at most nMaxDigits digits, or -1.
    long Number(int nMaxDigits) {
        long n = 0;
        int nDigits = 0;
        while (nDigits < nMaxDigits && Peek() >= '0' && Peek() <= '9') {
            n = n * 10 + (m_sv[m_nAt++] - '0');
            ++nDigits;
        }
        return nDigits == 0 ? -1 : n;
    }
    // "EST" or "<+0530>": at least three letters, or signs and digits too
    // between angle brackets.
    bool Name() {
        const size_t nFrom = m_nAt;
        if (Take('<')) {
            while (std::isalnum(static_cast<unsigned char>(Peek())) || Peek() == '+' || Peek() == '-') ++m_nAt;
            return m_nAt - nFrom - 1 >= 3 && Take('>');
        }
        while (std::isalpha(static_cast<unsigned char>(Peek()))) ++m_nAt;
        return m_nAt - nFrom >= 3;
    }
    // "[+-]h[:mm[:ss]]" in seconds, hours at most nMaxHours; false when malformed.
    bool Duration(long nMaxHours, long& nSeconds) {
        const bool bNegative = Take('-');
        if (!bNegative) (void)Take('+');  // a plus sign is optional
        const long nHours = Number(3);
        if (nHours < 0 || nHours > nMaxHours) return false;
        long nMinutes = 0, nSecs = 0;
        if (Take(':') && ((nMinutes = Number(2)) < 0 || nMinutes > 59)) return false;
        if (Take(':') && ((nSecs = Number(2)) < 0 || nSecs > 59)) return false;
        nSeconds = (nHours * 3600 + nMinutes * 60 + nSecs) * (bNegative ? -1 : 1);
        return true;
    }
    std::string Where() const { return "at character " + std::to_string(m_nAt + 1); }

private:
    std::string_view m_sv;
    size_t m_nAt = 0;
};

bool RuleIsLeap(int64_t nYear) { return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0; }

}  // namespace

CResult<CPosixZoneRule> CPosixZoneRule::Parse(std::string_view sv) {
    CRuleText text(sv);
    CPosixZoneRule rule;
    const auto problem = [&](const char* pszWhat) {
        return CProblem("zone rule \"" + std::string(sv.substr(0, 64)) + "\": " + pszWhat + " " + text.Where());
    };
    // An offset in the text counts west of UTC; the hours of a day at most.
    long nWest = 0;
    if (!text.Name()) return problem("no zone abbreviation");
    if (!text.Duration(24, nWest)) return problem("no offset from UTC");
    rule.m_nStandard = -nWest;
    if (text.AtEnd()) return rule;
    if (!text.Name()) return problem("no summer abbreviation");
    rule.m_bSummer = true;
    rule.m_nSummer = rule.m_nStandard + 3600;  // an hour ahead unless said otherwise
    if (const char c = text.Peek(); (c >= '0' && c <= '9') || c == '+' || c == '-') {
        if (!text.Duration(24, nWest)) return problem("no summer offset");
        rule.m_nSummer = -nWest;
    }
    const auto changeDay = [&](CChangeDay& day) {
        if (!text.Take(',')) return false;
        if (text.Take('M')) {
            day.eKind = CChangeDay::EKind::MonthWeekDay;
            day.nMonth = static_cast<int>(text.Number(2));
            if (day.nMonth < 1 || day.nMonth > 12 || !text.Take('.')) return false;
            day.nWeek = static_cast<int>(text.Number(1));
            if (day.nWeek < 1 || day.nWeek > 5 || !text.Take('.')) return false;
            day.nDay = static_cast<int>(text.Number(1));
            if (day.nDay < 0 || day.nDay > 6) return false;
        } else {
            const bool bJulian = text.Take('J');
            day.eKind = bJulian ? CChangeDay::EKind::JulianNoLeap : CChangeDay::EKind::DayOfYear;
            day.nDay = static_cast<int>(text.Number(3));
            if (day.nDay < (bJulian ? 1 : 0) || day.nDay > 365) return false;
        }
        // The time of day may run a week either way.
        return !text.Take('/') || text.Duration(167, day.nSeconds);
    };
    if (text.AtEnd()) {
        // No days given: the second Sunday of March to the first of November.
        rule.m_summerFrom = {CChangeDay::EKind::MonthWeekDay, 0, 2, 3, 7200};
        rule.m_summerTo = {CChangeDay::EKind::MonthWeekDay, 0, 1, 11, 7200};
        return rule;
    }
    if (!changeDay(rule.m_summerFrom)) return problem("no day summer time begins");
    if (!changeDay(rule.m_summerTo)) return problem("no day summer time ends");
    if (!text.AtEnd()) return problem("unexpected text");
    return rule;
}

int64_t CPosixZoneRule::ChangeAt(const CChangeDay& day, int64_t nYear, long nOffBefore) {
    const int64_t nJan1 = CDateText::DaysFromCivil(nYear, 1, 1);
    int64_t nDayNumber = 0;
    switch (day.eKind) {
        case CChangeDay::EKind::JulianNoLeap:
            nDayNumber = nJan1 + day.nDay - 1 + (RuleIsLeap(nYear) && day.nDay >= 60 ? 1 : 0);
            break;
        case CChangeDay::EKind::DayOfYear: nDayNumber = nJan1 + day.nDay; break;
        case CChangeDay::EKind::MonthWeekDay: {
            const int64_t nFirst = CDateText::DaysFromCivil(nYear, day.nMonth, 1);
            const int nFirstWeekday = static_cast<int>(((nFirst + 4) % 7 + 7) % 7);  // 0 = Sunday; day 0 a Thursday
            int nDayOfMonth = 1 + (day.nDay - nFirstWeekday + 7) % 7 + 7 * (day.nWeek - 1);
            const int nLength = CDateText::DaysInMonth(static_cast<int>(nYear), day.nMonth);
            while (nDayOfMonth > nLength) nDayOfMonth -= 7;  // week 5: the last such weekday
            nDayNumber = nFirst + nDayOfMonth - 1;
            break;
        }
    }
    return nDayNumber * 86400 + day.nSeconds - nOffBefore;
}

long CPosixZoneRule::OffsetAt(time_t tAt) const {
    if (!m_bSummer) return m_nStandard;
    // Some 35,000 years either way: the year's number then fits an int.
    constexpr time_t kFar = time_t{1} << 40;
    const time_t t = std::clamp(tAt, -kFar, kFar);
    // The changes of the years around t, the last one at or before t
    // deciding. Where summer time ends as the next begins (summer all year),
    // the beginning is taken as the later of the two.
    int nYear = 0, nMonth = 0, nDay = 0;
    const int64_t nDays = (static_cast<int64_t>(t) + m_nStandard) / 86400 - (t + m_nStandard < 0 ? 1 : 0);
    CDateText::CivilFromDays(nDays, nYear, nMonth, nDay);
    int64_t nBest = std::numeric_limits<int64_t>::min();
    long nOffset = m_nStandard;
    for (int64_t y = static_cast<int64_t>(nYear) - 2; y <= nYear + 1; ++y) {
        const int64_t nTo = ChangeAt(m_summerTo, y, m_nSummer);
        const int64_t nFrom = ChangeAt(m_summerFrom, y, m_nStandard);
        if (nTo <= t && nTo > nBest) nBest = nTo, nOffset = m_nStandard;
        if (nFrom <= t && nFrom >= nBest) nBest = nFrom, nOffset = m_nSummer;
    }
    return nOffset;
}
