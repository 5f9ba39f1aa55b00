#pragma once
// The occurrences a task must produce, worked out again from the rules on
// whole calendar days and local wall times. It uses nothing of the
// scheduler: not its conversions, not its day arithmetic, not its
// day-of-month table. The scheduler's tick is checked against it.
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "CTaskItem.h"
#include "ZoneGuard.h"

namespace RefSchedule {

// Days since 1970-01-01; a day beyond the month's end runs on into the next.
inline int64_t DayNumber(int64_t y, int m, int d) {
    y += (m - 1) / 12;
    m = (m - 1) % 12 + 1;
    // Counted by hand: days of the whole years, then of the whole months.
    auto leap = [](int64_t yy) { return (yy % 4 == 0 && yy % 100 != 0) || yy % 400 == 0; };
    static const int kCum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t n = 0;
    for (int64_t yy = 1970; yy < y; ++yy) n += leap(yy) ? 366 : 365;
    for (int64_t yy = y; yy < 1970; ++yy) n -= leap(yy) ? 366 : 365;
    n += kCum[m - 1] + (m > 2 && leap(y) ? 1 : 0) + d - 1;
    return n;
}

struct CDate {
    int y, m, d;
};

inline CDate DateOf(int64_t nDay) {
    time_t t = static_cast<time_t>(nDay * 86400 + 43200);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

// fn() with the C library's zone set to strZone (none: the machine's), and
// the machine's zone back afterwards. Every wall time, day and offset the
// reference works out inside is strZone's.
template <class F>
auto InZone(const std::string& strZone, F&& fn) {
    const std::unique_ptr<CZoneGuard> pGuard =
        strZone.empty() ? nullptr : std::make_unique<CZoneGuard>(strZone.c_str());
    return fn();
}

// 1 = Sunday .. 7 = Saturday; 1970-01-01 was a Thursday.
inline int Weekday(int64_t nDay) { return static_cast<int>(((nDay + 4) % 7 + 7) % 7) + 1; }

inline int DaysIn(int y, int m) { return static_cast<int>(DayNumber(y, m + 1, 1) - DayNumber(y, m, 1)); }

inline long OffsetAt(time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_gmtoff;
}

// The current zone's wall time of t as the C library writes it.
inline std::string WallText(time_t t, const char* pszFormat = "%Y-%m-%d %H:%M") {
    std::tm tm{};
    localtime_r(&t, &tm);
    char sz[64];
    std::strftime(sz, sizeof sz, pszFormat, &tm);
    return sz;
}

// A local wall time as an instant at second 1: where the clocks went back
// it is the earlier of the two, where they jumped forward it is read with
// the offset from before the jump.
// nWall counts seconds of wall time since 1970-01-01 00:00; fnOffset gives
// the offset at an instant.
template <class F>
time_t InstantOfWall(time_t nWall, const F& fnOffset) {
    const long nBefore = fnOffset(nWall - 86400), nAfter = fnOffset(nWall + 86400);
    bool bFound = false;
    time_t tBest = 0;
    for (long nOff : {nBefore, nAfter}) {
        const time_t u = nWall - nOff;
        if (fnOffset(u) == nOff && (!bFound || u < tBest)) {
            tBest = u;
            bFound = true;
        }
    }
    return bFound ? tBest : nWall - nBefore;
}
inline time_t Instant(int64_t nDay, int h, int mi) {
    return InstantOfWall(static_cast<time_t>(nDay * 86400 + h * 3600 + mi * 60 + 1), OffsetAt);
}

inline int64_t LocalDay(time_t t) {
    const int64_t n = static_cast<int64_t>(t) + OffsetAt(t);
    return n >= 0 ? n / 86400 : -((-n + 86399) / 86400);
}

// Whether the day is of the kind: any day, a weekday, a weekend day, an
// even or odd day of its month, or Sunday (5) .. Saturday (11).
inline bool OfKind(int64_t nDay, int nKind) {
    const int w = Weekday(nDay), d = DateOf(nDay).d;
    switch (nKind) {
        case 0: return true;
        case 1: return w >= 2 && w <= 6;
        case 2: return w == 1 || w == 7;
        case 3: return d % 2 == 0;
        case 4: return d % 2 == 1;
        default: return w == nKind - 4;
    }
}

// Day of month of the (ordinal+1)-th day of a kind, or of the last one for
// ordinal 4, found by walking the month.
inline int NthDayOfKind(int y, int m, int nOrdinal, int nKind) {
    std::vector<int> vecDays;
    for (int d = 1; d <= DaysIn(y, m); ++d)
        if (OfKind(DayNumber(y, m, d), nKind)) vecDays.push_back(d);
    return nOrdinal == 4 ? vecDays.back() : vecDays[static_cast<size_t>(nOrdinal)];
}

// One occurrence: the calendar day it belongs to and the instant it is sent
// at, the day's wall time at the start's hour and minute (minutely tasks
// count elapsed minutes instead).
struct COccurrence {
    int64_t nDay;
    time_t tWall;
};

class CReference {
public:
    // Every occurrence of task from its start up to tHorizon, before the
    // end rule, with the task's fields read in strZone (none: the machine's);
    // the task's own bookkeeping fields play no part.
    static std::vector<COccurrence> All(const CTaskItem& task, time_t tHorizon, const std::string& strZone = {}) {
        // The machine keeps a zoned task's times in its own fields, which
        // cannot tell the two passes of an hour its clocks repeat apart: a
        // minutely task passes over the later one, as it does its zone's.
        std::vector<std::pair<time_t, time_t>> vecMachineLater;
        if (!strZone.empty() && task.m_nRecurrence == 1) {
            const TaskDateTime& s = task.m_dtStart;
            const time_t tStart =
                InZone(strZone, [&] { return Instant(DayNumber(s.nYear, s.nMonth, s.nDay), s.nHour, s.nMinute); });
            vecMachineLater = LaterPasses(tStart - 86400, tHorizon + 86400);
        }
        return InZone(strZone, [&] { return AllHere(task, tHorizon, vecMachineLater); });
    }

private:
    // The stretches [from, to) where the current zone's clocks show, for
    // the second time, wall times they showed just before: found hour by
    // hour, each change to the second.
    static std::vector<std::pair<time_t, time_t>> LaterPasses(time_t tFrom, time_t tTo) {
        std::vector<std::pair<time_t, time_t>> vec;
        for (time_t t = tFrom; t < tTo; t += 3600) {
            const long nBefore = OffsetAt(t), nAfter = OffsetAt(t + 3600);
            if (nAfter >= nBefore) continue;
            time_t lo = t, hi = t + 3600;  // OffsetAt(lo) == nBefore, OffsetAt(hi) == nAfter
            while (hi - lo > 1) {
                const time_t mid = lo + (hi - lo) / 2;
                (OffsetAt(mid) == nBefore ? lo : hi) = mid;
            }
            vec.push_back({hi, hi + (nBefore - nAfter)});
        }
        return vec;
    }

    static std::vector<COccurrence> AllHere(const CTaskItem& task, time_t tHorizon,
                                            const std::vector<std::pair<time_t, time_t>>& vecMachineLater) {
        std::vector<COccurrence> vec;
        const TaskDateTime& s = task.m_dtStart;
        const int h = s.nHour, mi = s.nMinute;
        const int64_t nStartDay = DayNumber(s.nYear, s.nMonth, s.nDay);
        const time_t tStart = Instant(nStartDay, h, mi);
        auto add = [&](int64_t nDay) {
            const time_t tWall = Instant(nDay, h, mi);
            vec.push_back({nDay, tWall});
            return tWall <= tHorizon;
        };
        switch (task.m_nRecurrence) {
            case 0: vec.push_back({nStartDay, tStart}); break;
            case 1: {
                const time_t nStep = static_cast<time_t>(task.m_nMinuteInterval) * 60;
                // A wall time that the clocks repeat can be stored only once:
                // the later instance is passed over.
                for (time_t t = tStart;; t += nStep) {
                    const int64_t nDay = LocalDay(t);
                    const time_t nSecs = t + OffsetAt(t) - static_cast<time_t>(nDay) * 86400;
                    if (Instant(nDay, static_cast<int>(nSecs / 3600), static_cast<int>(nSecs / 60 % 60)) != t) continue;
                    if (std::any_of(vecMachineLater.begin(), vecMachineLater.end(),
                                    [&](const auto& later) { return t >= later.first && t < later.second; }))
                        continue;
                    vec.push_back({nDay, t});
                    if (t > tHorizon) break;
                }
                break;
            }
            case 2:
                if (task.m_nDailyMode == 0) {
                    for (int64_t n = nStartDay; add(n);) n += task.m_nDailyInterval;
                } else {
                    for (int64_t n = nStartDay - 1;;) {
                        int64_t k = n + 1;
                        while (!OfKind(k, std::min(task.m_nDailyDayKind, 4))) ++k;
                        if (!add(k)) break;
                        n = k;
                    }
                }
                break;
            case 3:
                for (int64_t n = nStartDay - 1;;) {
                    const int64_t k = task.m_nWeeklyMode == 0 ? NextWeekly(task, n) : NextWeekOfMonth(task, n);
                    if (!add(k)) break;
                    n = k;
                }
                break;
            case 4: {
                const bool bMode0 = task.m_nMonthlyMode == 0;
                const int M = bMode0 ? task.m_nMonthlyInterval : task.m_nMonthlyInterval2;
                auto dayIn = [&](int y, int m) {
                    return bMode0 ? task.m_nMonthlyDay
                                  : NthDayOfKind(y, m, task.m_nMonthlyOrdinal, task.m_nMonthlyDayKind);
                };
                int64_t nDay = DayNumber(s.nYear, s.nMonth, dayIn(s.nYear, s.nMonth));
                if (nDay < nStartDay) {
                    const int nMonths = s.nYear * 12 + s.nMonth - 1 + M;
                    nDay = DayNumber(nMonths / 12, nMonths % 12 + 1, dayIn(nMonths / 12, nMonths % 12 + 1));
                }
                while (add(nDay)) {
                    const CDate dt = DateOf(nDay);
                    const int nMonths = dt.y * 12 + dt.m - 1 + M;
                    nDay = DayNumber(nMonths / 12, nMonths % 12 + 1, dayIn(nMonths / 12, nMonths % 12 + 1));
                }
                break;
            }
            case 5: {
                const bool bMode0 = task.m_nYearlyMode == 0;
                const int nMonth = (bMode0 ? task.m_nYearlyMonth : task.m_nYearlyMonth2) + 1;
                auto dayIn = [&](int y) {
                    return bMode0 ? task.m_nYearlyDay
                                  : NthDayOfKind(y, nMonth, task.m_nYearlyOrdinal, task.m_nYearlyDayKind);
                };
                int y = s.nYear;
                // Compared as month and day, before any carry into the next month.
                if (nMonth < s.nMonth || (nMonth == s.nMonth && dayIn(y) < s.nDay)) ++y;
                for (;; ++y) {
                    const int64_t nDay = DayNumber(y, nMonth, dayIn(y));
                    if (!add(nDay)) break;
                }
                break;
            }
            default: break;
        }
        return vec;
    }

    static bool Ticked(const CTaskItem& task, int64_t nDay) { return task.m_bWeekDays[Weekday(nDay) - 1] == 1; }

    // Weeks run Sunday to Saturday: the rest of the week after nDay, else the
    // week N weeks on.
    static int64_t NextWeekly(const CTaskItem& task, int64_t nDay) {
        const int64_t nSunday = nDay - (Weekday(nDay) - 1);
        for (int64_t k = nDay + 1; k < nSunday + 7; ++k)
            if (Ticked(task, k)) return k;
        const int64_t nLater = nSunday + 7 * static_cast<int64_t>(task.m_nWeeklyInterval);
        for (int64_t k = nLater; k < nLater + 7; ++k)
            if (Ticked(task, k)) return k;
        return nLater + 7;  // no day ticked: never reached by valid tasks
    }

    // Week k of a month is the k-th Sunday-to-Saturday row that holds a day
    // of it; for k = 2..4 the row lies wholly inside the month.
    static int64_t NextWeekOfMonth(const CTaskItem& task, int64_t nDay) {
        const int k = task.m_nWeeklyWeekOfMonth + 2;
        CDate dt = DateOf(nDay);
        for (int nTry = 0; nTry < 2; ++nTry) {
            const int64_t nFirst = DayNumber(dt.y, dt.m, 1);
            const int64_t nSunday = nFirst - (Weekday(nFirst) - 1) + 7 * (k - 1);
            for (int64_t d = nSunday; d < nSunday + 7; ++d)
                if (d > nDay && Ticked(task, d)) return d;
            dt = DateOf(DayNumber(dt.y, dt.m + 1, 1));
        }
        return nDay + 62;
    }
};

}  // namespace RefSchedule
