#pragma once

class CZoneRules;

// Makes one zone the current one (CZoneRules::Current()) for the span of a
// computation on this thread. Without an argument it keeps the machine's zone
// as found when the hold began (or the zone an enclosing hold keeps): the
// many conversions then skip the look at TZ that each would make on its own,
// so a computation must not change TZ while holding. With a zone, every
// conversion inside is in that zone, whatever TZ says. Holds nest: the end
// of an inner one brings back what the outer one held.
// Example: inside CZoneHold(*CZoneRules::Named("America/New_York")),
// TaskTime::ToAbsolute(2027, 3, 15, 9, 0) is 13:00:01 UTC.
class CZoneHold {
public:
    CZoneHold();
    explicit CZoneHold(CZoneRules& rules);
    ~CZoneHold();
    CZoneHold(const CZoneHold&) = delete;
    CZoneHold& operator=(const CZoneHold&) = delete;

private:
    CZoneRules* m_pOuter;  // what was held before: null outside holds
};
