#include "CZoneHold.h"

#include "CZoneRules.h"

CZoneHold::CZoneHold() {
    // Looks at TZ once before holding, so the hold keeps the zone of now.
    CZoneRules::Current();
    CZoneRules::Hold();
}

CZoneHold::~CZoneHold() { CZoneRules::Release(); }
