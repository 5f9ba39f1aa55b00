#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The local zone's offsets from UTC, learnt from the C library once and
// kept, so that conversions need not go through mktime and localtime each
// time; the offsets are the C library's. A wall time that a change repeats
// is its earlier instant, one that a change skips moves on by the gap (see
// WallToAbsolute); outside the kept range the C library decides.
// One instance per thread; it starts over when TZ changes, which it looks
// up on every call to Current() unless a CZoneHold is in force.
class CZoneRules;
// The rules a CZoneHold keeps on this thread; null outside holds.
extern constinit thread_local CZoneRules* g_pHeldZone;

class CZoneRules {
public:
    static CZoneRules& Current() {
        if (g_pHeldZone && g_pHeldZone->m_bStarted) return *g_pHeldZone;
        return Looked();
    }
    // While held (CZoneHold), Current() trusts the zone it last checked.
    static void Hold();
    static void Release();
    // Forgets what was learnt, for when the system's zone file was replaced
    // under an unchanged TZ.
    void Relearn() { m_bStarted = false; }
    // Changes whenever the rules start over, so that answers remembered
    // elsewhere can tell they were given under other rules.
    uint64_t Generation() const { return m_nGeneration; }

    // Seconds east of UTC at t; false outside the range the rules are kept for.
    bool OffsetAt(time_t t, long& nOffset);
    // Where the clocks go back by s at a change c, the instants in
    // [c - s, c + s) share their wall times with others. Is t in such a
    // stretch, and where does the next one after t begin (tLimit if none)?
    bool InRepeat(time_t t);
    time_t NextRepeat(time_t t, time_t tLimit);
    // Wall-clock seconds (the fields counted as if they were UTC) to an
    // absolute time; false where the C library has to decide.
    bool WallToAbsolute(int64_t nWall, time_t& t);

    static constexpr time_t kLow = -2208988800;   // 1900-01-01 UTC
    static constexpr time_t kHigh = 16725225600;  // 2500-01-01 UTC

private:
    // The thread's rules after a look at TZ.
    static CZoneRules& Looked();
    bool Cover(time_t t);
    void Learn(time_t tFrom, time_t tTo, std::vector<time_t>& vecAt, std::vector<long>& vecOff);
    void Reset(const std::string& strTz);
    // The stretch with one offset before change nAfter, kept for the next call.
    void Remember(size_t nAfter);

    std::string m_strTz;
    bool m_bStarted = false;
    uint64_t m_nGeneration = 0;
    time_t m_tLo = 0, m_tHi = 0;  // the learnt range [m_tLo, m_tHi)
    long m_nOffLo = 0;            // offset at m_tLo
    std::vector<time_t> m_vecAt;  // changes, ascending
    std::vector<long> m_vecOff;   // offset from each change on
    // The stretch [m_tSteadyFrom, m_tSteadyTo) with the one offset
    // m_nSteadyOff that the last lookup met; empty when from == to.
    // Conversions come in runs near each other, so most hit it.
    time_t m_tSteadyFrom = 0, m_tSteadyTo = 0;
    long m_nSteadyOff = 0;
};
