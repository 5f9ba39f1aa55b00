#pragma once
#include <ctime>
#include <string>

// The zone sending times are read in, for a person:
// "Europe/Berlin, CET, UTC+01:00" in winter, "Europe/Berlin, CEST, UTC+02:00"
// in summer. The name comes from TZ, else from the system's zone link.
class CLocalZone {
public:
    static std::string Describe(time_t t);
    // "Europe/Berlin"; "local time" when no name can be found.
    static std::string Name();
};
