#pragma once
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "CResult.h"

class CZoneFile;

// A zone's offsets from UTC, learnt once and kept, so that conversions need
// not go through the C library each time. Two kinds: the machine's zone
// (the process's TZ, its offsets the C library's; one instance per thread,
// starting over when TZ changes, which it looks up on every call to
// Current() unless a CZoneHold is in force), and a zone of its own read by
// name from the system's zone files (Named), which never looks at TZ. A wall
// time that a change repeats is its earlier instant, one that a change skips
// moves on by the gap (see WallToAbsolute); outside the kept range the C
// library decides for the machine's zone, and for a named zone nothing does.
class CZoneRules;
// The rules a CZoneHold keeps on this thread; null outside holds.
extern constinit thread_local CZoneRules* g_pHeldZone;

class CZoneRules {
public:
    static CZoneRules& Current() {
        if (g_pHeldZone && g_pHeldZone->m_bStarted) return *g_pHeldZone;
        return Looked();
    }
    // The machine's zone whatever is held: the held one when it is the
    // machine's, else the thread's rules after a look at TZ.
    static CZoneRules& Machine();
    // The rules of a zone by its name in the system's zone files, read once
    // per thread and kept; a problem names the zone ("zone \"Mars/Base\":
    // cannot open ..."). The reference lasts as long as the thread.
    static CResult<CZoneRules*> Named(const std::string& strName);
    // Forgets what was learnt, for when the system's zone file was replaced
    // under an unchanged TZ; a named zone keeps the file it read.
    void Relearn();
    // The zone's name for a named zone; empty for the machine's.
    const std::string& ZoneName() const;
    bool IsNamed() const { return m_pFile != nullptr; }
    // Changes whenever the rules start over, and differs between any two
    // instances, so that answers remembered elsewhere can tell they were
    // given under other rules or in another zone.
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

    CZoneRules() = default;
    explicit CZoneRules(std::shared_ptr<const CZoneFile> pFile);
    ~CZoneRules();
    CZoneRules(const CZoneRules&) = delete;
    CZoneRules& operator=(const CZoneRules&) = delete;

private:
    // The offset at t from the source: the zone file, else the C library.
    long SourceOffset(time_t t) const;
    // The thread's rules after a look at TZ.
    static CZoneRules& Looked();
    bool Cover(time_t t);
    void Learn(time_t tFrom, time_t tTo, std::vector<time_t>& vecAt, std::vector<long>& vecOff);
    void Reset(const std::string& strTz);
    // The stretch with one offset before change nAfter, kept for the next call.
    void Remember(size_t nAfter);

    std::string m_strTz;                       // the machine's: TZ as last looked at
    std::shared_ptr<const CZoneFile> m_pFile;  // a named zone's; null for the machine's
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
