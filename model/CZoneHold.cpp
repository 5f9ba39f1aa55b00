#include "CZoneHold.h"

#include "CZoneRules.h"

// Holding looks at TZ once, so the hold keeps the zone of now.
CZoneHold::CZoneHold() { CZoneRules::Hold(); }

CZoneHold::~CZoneHold() { CZoneRules::Release(); }
