#pragma once
// A task's rules worked out again from their words, on the reference's
// occurrences: where an occurrence on a day off goes, and what the tick
// does with a due one, in the task's own zone when it has one. It uses
// nothing of the scheduler, not its working days or zones either.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ReferenceOccurrences.h"

namespace RefSchedule {

struct CRules {
    uint8_t nWeekdays = 0b01111100;  // bit 1 << weekday, 1 = Sunday
    const std::set<int64_t>* pHolidays = nullptr;
    int nOnDayOff = 0;  // send, before, after, skip
    int nMissed = 0;    // each, latest, none
    std::optional<int64_t> nPauseDay;
    bool bSkipNext = false;
};

// What the tick does with a due occurrence.
enum class ERefVerdict { Send, SkipCounted, DayOff, Paused, Missed, SkipNext };

class CRuledOccurrences {
public:
    static constexpr int kMaxMoveDays = 31;
    static constexpr int kMaxLookAhead = 1000;

    CRuledOccurrences() = default;
    // The occurrences of a task read in strZone (none: the machine's): its
    // days, working days, holidays and pause are that zone's.
    CRuledOccurrences(std::vector<COccurrence> vec, const CRules& rules, int64_t nStartDay, int nHour, int nMinute,
                      bool bMinutely, std::string strZone = {})
        : m_vec(std::move(vec)),
          m_rules(rules),
          m_nStartDay(nStartDay),
          m_nHour(nHour),
          m_nMinute(nMinute),
          m_bMinutely(bMinutely),
          m_strZone(std::move(strZone)) {}

    bool IsWorking(int64_t nDay) const {
        return (m_rules.nWeekdays >> Weekday(nDay) & 1) && !(m_rules.pHolidays && m_rules.pHolidays->count(nDay));
    }

    // The time occurrence k is kept at: moved to its working day, or its
    // own when it is on one or when the rule skips it there.
    time_t Stored(size_t k) const { return Placed(k).value_or(m_vec[k].tWall); }
    bool IsDayOffSkip(size_t k) const { return !Placed(k).has_value(); }

    const std::optional<time_t>& Placed(size_t k) const {
        Ready(k);
        return m_vecPlaced[k].tPlaced;
    }

    // The verdict on occurrence k due at the minute tMinute; bSendOverdue is
    // the task's own option, tEndOfDay the end date's last second (or none).
    ERefVerdict Verdict(size_t k, time_t tMinute, bool bSendOverdue, std::optional<time_t> tEndOfDay) const {
        const time_t tStored = Stored(k);
        if (IsPaused(k)) return ERefVerdict::Paused;
        if (IsDayOffSkip(k)) return ERefVerdict::DayOff;
        if (tStored < tMinute) {
            if (m_rules.nMissed == 0 && !bSendOverdue) return ERefVerdict::SkipCounted;
            if (m_rules.nMissed == 2) return ERefVerdict::Missed;
            if (m_rules.nMissed == 1) {
                for (size_t j = k + 1; j < m_vec.size() && j <= k + kMaxLookAhead; ++j) {
                    if (Stored(j) > tMinute || (tEndOfDay && m_vec[j].tWall > *tEndOfDay)) break;
                    if (!IsPaused(j) && !IsDayOffSkip(j)) return ERefVerdict::Missed;
                }
            }
        }
        return m_rules.bSkipNext ? ERefVerdict::SkipNext : ERefVerdict::Send;
    }

    // The present as the scheduler reads it in the task's zone: its wall
    // time cut to the minute, at second 1, where the zone's clocks repeat it
    // the earlier instant. The zone's offsets come from a table made once,
    // as switching zones at every tick would read its file every time.
    time_t MinuteOf(time_t t) const {
        if (m_vecOffsets.empty() || t < m_vecOffsets.front().first + 3 * 86400 ||
            t > m_vecOffsets.back().first - 3 * 86400)
            InZone(m_strZone, [&] {
                m_vecOffsets.clear();
                for (time_t u = t - 8 * 86400; u < t + 500 * 86400; u += 1800) {
                    const long n = OffsetAt(u);
                    if (m_vecOffsets.empty()) m_vecOffsets.emplace_back(u, n);
                    if (m_vecOffsets.back().second == n) continue;
                    // The very second it changed, between the probes.
                    time_t nLow = u - 1800, nHigh = u;
                    while (nHigh - nLow > 1) {
                        const time_t nMid = nLow + (nHigh - nLow) / 2;
                        (OffsetAt(nMid) == n ? nHigh : nLow) = nMid;
                    }
                    m_vecOffsets.emplace_back(nHigh, n);
                }
                m_vecOffsets.emplace_back(t + 500 * 86400, m_vecOffsets.back().second);
                return 0;
            });
        const auto offset = [&](time_t u) {
            auto it = std::upper_bound(m_vecOffsets.begin(), m_vecOffsets.end(), std::make_pair(u, LONG_MAX));
            return it == m_vecOffsets.begin() ? it->second : std::prev(it)->second;
        };
        const time_t nWall = t + offset(t);
        return InstantOfWall(nWall - ((nWall % 60) + 60) % 60 + 1, offset);
    }

    CRules& Rules() { return m_rules; }
    const std::vector<COccurrence>& Occurrences() const { return m_vec; }
    const std::string& Zone() const { return m_strZone; }

private:
    struct CPlaced {
        std::optional<time_t> tPlaced;
        int64_t nStoredDay;  // the zone's day of the kept time
    };

    bool IsPaused(size_t k) const {
        Ready(k);
        return m_rules.nPauseDay && m_vecPlaced[k].nStoredDay < *m_rules.nPauseDay;
    }

    // Works out the places of the occurrences up to k and a good stretch
    // beyond, in the zone: switching zones for each would cost a reading of
    // its file every time.
    void Ready(size_t k) const {
        if (k < m_vecPlaced.size()) return;
        const size_t nUpTo = std::min(m_vec.size(), k + 4096);
        InZone(m_strZone, [&] {
            for (size_t j = m_vecPlaced.size(); j < nUpTo; ++j) {
                const std::optional<time_t> t = PlacedHere(j);
                m_vecPlaced.push_back({t, LocalDay(t.value_or(m_vec[j].tWall))});
            }
            return 0;
        });
    }

    std::optional<time_t> PlacedHere(size_t k) const {
        const time_t tRegular = m_vec[k].tWall;
        const int64_t nDay = LocalDay(tRegular);
        if (m_rules.nOnDayOff == 0 || IsWorking(nDay)) return tRegular;
        if (m_rules.nOnDayOff == 3) return std::nullopt;
        int h = m_nHour, mi = m_nMinute;
        if (m_bMinutely) {
            const time_t nSecs = tRegular + OffsetAt(tRegular) - static_cast<time_t>(nDay) * 86400;
            h = static_cast<int>(nSecs / 3600);
            mi = static_cast<int>(nSecs / 60 % 60);
        }
        if (m_rules.nOnDayOff == 1) {
            const int64_t nLow = std::max(k == 0 ? m_nStartDay : LocalDay(m_vec[k - 1].tWall) + 1, nDay - kMaxMoveDays);
            for (int64_t d = nDay - 1; d >= nLow; --d)
                if (IsWorking(d)) return Instant(d, h, mi);
            return std::nullopt;
        }
        const int64_t nHigh =
            std::min(k + 1 < m_vec.size() ? LocalDay(m_vec[k + 1].tWall) : INT64_MAX, nDay + kMaxMoveDays + 1);
        for (int64_t d = nDay + 1; d < nHigh; ++d)
            if (IsWorking(d)) return Instant(d, h, mi);
        return std::nullopt;
    }

    std::vector<COccurrence> m_vec;
    CRules m_rules;
    int64_t m_nStartDay = 0;
    int m_nHour = 0, m_nMinute = 0;
    bool m_bMinutely = false;
    std::string m_strZone;
    mutable std::vector<CPlaced> m_vecPlaced;
    // The zone's offset from each instant on where it changes.
    mutable std::vector<std::pair<time_t, long>> m_vecOffsets;  // of the occurrences from the first on, as far as asked
};

}  // namespace RefSchedule
