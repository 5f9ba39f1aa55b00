#include "TaskTime.h"

#include <cstdint>
#include <cstdio>
#include <limits>

#include "CZoneRules.h"

namespace TaskTime {

namespace {

bool InRange(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
    return nYear >= kFirstYear && nYear <= kLastYear && nMonth >= 1 && nMonth <= 12 && nDay >= 1 && nDay <= 31 &&
           nHour >= 0 && nHour <= 23 && nMinute >= 0 && nMinute <= 59;
}

CResult<> CheckFields(int nYear, int nMonth, int nDay, int nHour, int nMinute) {
    return CDateText::CheckFields(nYear, nMonth, nDay, nHour, nMinute);
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// The last few conversions each way, per thread, under the zone's rules of
// the generation they were made with. A computation converts the same few
// instants (the present, the start, the last occurrence, the candidate) back
// and forth; four slots, picked by the key, hold them side by side.
class CConversionMemo {
public:
    bool Find(uint64_t nGeneration, int64_t nKey, int64_t& nValue, TaskDateTime* pdt) const {
        const CSlot& slot = m_slots[SlotOf(nKey)];
        if (slot.nGeneration != nGeneration || slot.nKey != nKey) return false;
        nValue = slot.nValue;
        if (pdt) *pdt = slot.dt;
        return true;
    }
    void Keep(uint64_t nGeneration, int64_t nKey, int64_t nValue, const TaskDateTime& dt = {}) {
        m_slots[SlotOf(nKey)] = {nGeneration, nKey, nValue, dt};
    }

private:
    struct CSlot {
        uint64_t nGeneration = 0;  // none: the rules start at generation 1
        int64_t nKey = 0;
        int64_t nValue = 0;
        TaskDateTime dt;
    };
    static size_t SlotOf(int64_t nKey) {
        return static_cast<size_t>((static_cast<uint64_t>(nKey) * 0x9E3779B97F4A7C15ull) >> 61);
    }
    CSlot m_slots[8];
};
thread_local CConversionMemo g_toAbsolute;
thread_local CConversionMemo g_fromAbsolute;

// The fields of a conversion in one number, or -1 where they do not fit.
int64_t FieldsKey(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    if (nYear >= 65536 || nSecond < 0 || nSecond > 63) return -1;
    return ((((static_cast<int64_t>(nYear) * 16 + nMonth) * 32 + nDay) * 32 + nHour) * 64 + nMinute) * 64 + nSecond;
}

}  // namespace

CResult<> CheckGroup(const TaskDateTime& dt) { return CheckFields(dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute); }

CResult<> CheckGroup(const TaskDate& d) { return CheckFields(d.nYear, d.nMonth, d.nDay, 0, 0); }

CResult<time_t> ToAbsolute(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    // The quick test first: the problem's words are only built for a problem.
    if (!InRange(nYear, nMonth, nDay, nHour, nMinute))
        return CProblem("invalid date group: " + CheckFields(nYear, nMonth, nDay, nHour, nMinute).Problem());
    CZoneRules& zone = CZoneRules::Current();
    const int64_t nKey = FieldsKey(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    if (int64_t nKept; nKey >= 0 && g_toAbsolute.Find(zone.Generation(), nKey, nKept, nullptr)) return nKept;
    const int64_t nWall = CDateText::DaysFromCivil(nYear, nMonth, nDay) * 86400 + nHour * 3600 + nMinute * 60 + nSecond;
    if (time_t t; zone.WallToAbsolute(nWall, t)) {
        if (nKey >= 0) g_toAbsolute.Keep(zone.Generation(), nKey, t);
        return t;
    }
    // The C library knows only the machine's zone.
    if (zone.IsNamed())
        return CProblem("date group cannot be converted in zone " + zone.ZoneName() + ": " +
                        Format({nYear, nMonth, nDay, 0, nHour, nMinute, 0}) + " is outside the years it is kept for");
    std::tm tmLocal{};
    tmLocal.tm_year = nYear - 1900;
    tmLocal.tm_mon = nMonth - 1;
    tmLocal.tm_mday = nDay;
    tmLocal.tm_hour = nHour;
    tmLocal.tm_min = nMinute;
    tmLocal.tm_sec = nSecond;
    tmLocal.tm_isdst = -1;
    time_t t = mktime(&tmLocal);
    if (t == static_cast<time_t>(-1)) {
        // -1 is also a valid instant (1969-12-31 23:59:59 UTC); tell them apart.
        std::tm tmCheck{};
        if (localtime_r(&t, &tmCheck) == nullptr || tmCheck.tm_year != tmLocal.tm_year ||
            tmCheck.tm_mon != tmLocal.tm_mon || tmCheck.tm_mday != tmLocal.tm_mday)
            return CProblem("date group cannot be converted");
    }
    return t;
}

CResult<time_t> ToAbsolute(const TaskDateTime& dt) {
    return ToAbsolute(dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute, 1);
}

CResult<time_t> EndOfDay(const TaskDate& d) { return ToAbsolute(d.nYear, d.nMonth, d.nDay, 23, 59, 59); }

TaskDateTime FromAbsolute(time_t t) {
    CZoneRules& zone = CZoneRules::Current();
    TaskDateTime dt;
    if (int64_t nKept; g_fromAbsolute.Find(zone.Generation(), t, nKept, &dt)) return dt;
    if (long nOff; zone.OffsetAt(t, nOff)) {
        const int64_t nLocal = t + nOff;
        const int64_t nDays = FloorDiv(nLocal, 86400);
        const int64_t nSecs = nLocal - nDays * 86400;
        CDateText::CivilFromDays(nDays, dt.nYear, dt.nMonth, dt.nDay);
        dt.nDayOfWeek = DayOfWeek(nDays);
        dt.nHour = static_cast<int>(nSecs / 3600);
        dt.nMinute = static_cast<int>(nSecs / 60 % 60);
        dt.nSecond = static_cast<int>(nSecs % 60);
        g_fromAbsolute.Keep(zone.Generation(), t, t, dt);
        return dt;
    }
    if (zone.IsNamed()) {
        // The C library knows only the machine's zone: no breakdown.
        dt.nHour = dt.nMinute = dt.nSecond = -1;
        return dt;
    }
    std::tm tmLocal{};
    // A year past what a group can hold cannot be broken down either.
    if (localtime_r(&t, &tmLocal) == nullptr || tmLocal.tm_year > std::numeric_limits<int>::max() - 1900) {
        dt.nHour = dt.nMinute = dt.nSecond = -1;
        return dt;
    }
    dt.nYear = tmLocal.tm_year + 1900;
    dt.nMonth = tmLocal.tm_mon + 1;
    dt.nDay = tmLocal.tm_mday;
    dt.nDayOfWeek = tmLocal.tm_wday + 1;
    dt.nHour = tmLocal.tm_hour;
    dt.nMinute = tmLocal.tm_min;
    dt.nSecond = tmLocal.tm_sec;
    return dt;
}

int64_t DayNumber(int nYear, int nMonth, int nDay) {
    const int64_t nMonths = static_cast<int64_t>(nYear) * 12 + (nMonth - 1);
    const int64_t nYearOf = FloorDiv(nMonths, 12);
    return CDateText::DaysFromCivil(nYearOf, static_cast<int>(nMonths - nYearOf * 12) + 1, nDay);
}

int DayOfWeek(int64_t nDay) { return static_cast<int>(((nDay + 4) % 7 + 7) % 7) + 1; }

TaskDateTime DateOfDay(int64_t nDay) {
    TaskDateTime dt;
    CDateText::CivilFromDays(nDay, dt.nYear, dt.nMonth, dt.nDay);
    dt.nDayOfWeek = DayOfWeek(nDay);
    return dt;
}

std::string Format(const TaskDateTime& dt) {
    char sz[64];
    std::snprintf(sz, sizeof sz, "%04d-%02d-%02d %02d:%02d", dt.nYear, dt.nMonth, dt.nDay, dt.nHour, dt.nMinute);
    return sz;
}

CResult<TaskDate> ParseDate(const std::string& str) {
    QUILLORY_TRY_VALUE(const CDateText::CFields f, CDateText::ParseDate(str));
    return TaskDate{f.nYear, f.nMonth, f.nDay, DayOfWeek(DayNumber(f.nYear, f.nMonth, f.nDay))};
}

CResult<TaskDateTime> ParseDateTime(const std::string& str) {
    QUILLORY_TRY_VALUE(const CDateText::CFields f, CDateText::ParseDateTime(str));
    return TaskDateTime{f.nYear, f.nMonth,  f.nDay, DayOfWeek(DayNumber(f.nYear, f.nMonth, f.nDay)),
                        f.nHour, f.nMinute, 0};
}

}  // namespace TaskTime
