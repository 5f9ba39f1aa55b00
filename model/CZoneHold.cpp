#include "CZoneHold.h"

#include "CZoneRules.h"

// Holding looks at TZ once, so the hold keeps the zone of now.
CZoneHold::CZoneHold() : m_pOuter(g_pHeldZone) { g_pHeldZone = &CZoneRules::Current(); }

CZoneHold::CZoneHold(CZoneRules& rules) : m_pOuter(g_pHeldZone) { g_pHeldZone = &rules; }

CZoneHold::~CZoneHold() { g_pHeldZone = m_pOuter; }
