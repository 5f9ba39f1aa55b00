#pragma once

// Keeps the local zone as it was found when the hold began, for the span of
// one computation: its many conversions then skip the look at TZ that each
// would make on its own. A change of TZ is seen again once the hold ends, so
// a computation must not change TZ while holding. Holds nest.
class CZoneHold {
public:
    CZoneHold();
    ~CZoneHold();
    CZoneHold(const CZoneHold&) = delete;
    CZoneHold& operator=(const CZoneHold&) = delete;
};
