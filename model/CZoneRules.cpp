#include "CZoneRules.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>

#include "CZoneFile.h"

namespace {

constexpr time_t kWeek = 7 * 86400;
constexpr time_t kYear = 366 * 86400;
// Wall times this close to a change may be ambiguous or missing; the C
// library decides those.
constexpr time_t kMargin = 6 * 3600;
// No zone is further from UTC: every instant a wall time can name is this close to it.
constexpr time_t kReach = 26 * 3600;

// The last generation given to any rules; each start takes the next, so no
// two instances, on any thread, ever share one.
std::atomic<uint64_t> g_nLastGeneration{0};

long LibcOffset(time_t t) {
    std::tm tmLocal{};
    if (localtime_r(&t, &tmLocal) == nullptr) return 0;
    return tmLocal.tm_gmtoff;
}

}  // namespace

// A plain pointer, so reading it needs no check that the thread's rules were made.
constinit thread_local CZoneRules* g_pHeldZone = nullptr;

CZoneRules& CZoneRules::Looked() {
    thread_local CZoneRules rules;
    const char* psz = std::getenv("TZ");
    // "\x01" stands for an unset TZ, which no real value can equal.
    const char* pszKey = psz ? psz : "\x01";
    if (!rules.m_bStarted || rules.m_strTz != pszKey) rules.Reset(pszKey);
    return rules;
}

CZoneRules::CZoneRules(std::shared_ptr<const CZoneFile> pFile) : m_pFile(std::move(pFile)) { Reset({}); }

CZoneRules::~CZoneRules() = default;

CZoneRules& CZoneRules::Machine() {
    if (g_pHeldZone && !g_pHeldZone->IsNamed() && g_pHeldZone->m_bStarted) return *g_pHeldZone;
    return Looked();
}

CResult<CZoneRules*> CZoneRules::Named(const std::string& strName) {
    // A few hundred zones exist; each thread keeps those it was asked for.
    thread_local std::map<std::string, std::unique_ptr<CZoneRules>> mapZones;
    if (auto it = mapZones.find(strName); it != mapZones.end()) return it->second.get();
    QUILLORY_TRY_VALUE(CZoneFile file, CZoneFile::Read(strName));
    auto pRules = std::make_unique<CZoneRules>(std::make_shared<const CZoneFile>(std::move(file)));
    CZoneRules* const p = pRules.get();
    mapZones.emplace(strName, std::move(pRules));
    return p;
}

void CZoneRules::Relearn() {
    if (IsNamed()) Reset({});
    else m_bStarted = false;
}

const std::string& CZoneRules::ZoneName() const {
    static const std::string s_strMachine;
    return m_pFile ? m_pFile->Name() : s_strMachine;
}

long CZoneRules::SourceOffset(time_t t) const { return m_pFile ? m_pFile->OffsetAt(t) : LibcOffset(t); }

void CZoneRules::Reset(const std::string& strTz) {
    if (!m_pFile) tzset();
    m_strTz = strTz;
    m_bStarted = true;
    m_nGeneration = ++g_nLastGeneration;
    m_tLo = m_tHi = 0;
    m_tSteadyFrom = m_tSteadyTo = 0;
    m_vecAt.clear();
    m_vecOff.clear();
}

// Probes the offset a week apart and bisects to the second wherever it
// changed. Changes that undo each other within one week are not seen; no
// zone has had such.
void CZoneRules::Learn(time_t tFrom, time_t tTo, std::vector<time_t>& vecAt, std::vector<long>& vecOff) {
    long nPrev = SourceOffset(tFrom);
    for (time_t a = tFrom; a < tTo;) {
        const time_t b = std::min(a + kWeek, tTo);
        const long nB = SourceOffset(b);
        if (nB == nPrev) {
            a = b;
            continue;
        }
        time_t lo = a, hi = b;  // offset(lo) == nPrev, offset(hi) != nPrev
        while (hi - lo > 1) {
            const time_t mid = lo + (hi - lo) / 2;
            (SourceOffset(mid) == nPrev ? lo : hi) = mid;
        }
        nPrev = SourceOffset(hi);
        vecAt.push_back(hi);
        vecOff.push_back(nPrev);
        a = hi;
    }
}

bool CZoneRules::Cover(time_t t) {
    if (t < kLow || t >= kHigh) return false;
    if (t >= m_tLo && t < m_tHi) return true;
    m_tSteadyFrom = m_tSteadyTo = 0;  // the stretches are about to be learnt anew
    if (m_tLo == m_tHi) {
        m_tLo = std::max(kLow, t - kYear);
        m_tHi = std::min(kHigh, t + kYear);
        m_nOffLo = SourceOffset(m_tLo);
        Learn(m_tLo, m_tHi, m_vecAt, m_vecOff);
        return true;
    }
    while (t >= m_tHi) {
        const time_t tTo = std::min(kHigh, m_tHi + 4 * kYear);
        Learn(m_tHi, tTo, m_vecAt, m_vecOff);
        m_tHi = tTo;
    }
    while (t < m_tLo) {
        const time_t tFrom = std::max(kLow, m_tLo - 4 * kYear);
        std::vector<time_t> vecAt;
        std::vector<long> vecOff;
        Learn(tFrom, m_tLo, vecAt, vecOff);
        vecAt.insert(vecAt.end(), m_vecAt.begin(), m_vecAt.end());
        vecOff.insert(vecOff.end(), m_vecOff.begin(), m_vecOff.end());
        m_vecAt.swap(vecAt);
        m_vecOff.swap(vecOff);
        m_tLo = tFrom;
        m_nOffLo = SourceOffset(m_tLo);
    }
    return true;
}

bool CZoneRules::OffsetAt(time_t t, long& nOffset) {
    if (t >= m_tSteadyFrom && t < m_tSteadyTo) {
        nOffset = m_nSteadyOff;
        return true;
    }
    if (t < m_tLo || t >= m_tHi) {
        if (!Cover(t)) return false;
    }
    const size_t nAfter = static_cast<size_t>(std::upper_bound(m_vecAt.begin(), m_vecAt.end(), t) - m_vecAt.begin());
    Remember(nAfter);
    nOffset = m_nSteadyOff;
    return true;
}

// nAfter is the index of the first change after the instant looked up.
void CZoneRules::Remember(size_t nAfter) {
    m_tSteadyFrom = nAfter == 0 ? m_tLo : m_vecAt[nAfter - 1];
    m_tSteadyTo = nAfter == m_vecAt.size() ? m_tHi : m_vecAt[nAfter];
    m_nSteadyOff = nAfter == 0 ? m_nOffLo : m_vecOff[nAfter - 1];
}

bool CZoneRules::InRepeat(time_t t) {
    if (!Cover(t - kMargin) || !Cover(t + kMargin)) return true;  // unknown: assume the worst
    auto it = std::upper_bound(m_vecAt.begin(), m_vecAt.end(), t - kMargin);
    for (; it != m_vecAt.end() && *it <= t + kMargin; ++it) {
        const size_t i = static_cast<size_t>(it - m_vecAt.begin());
        const long nBefore = i == 0 ? m_nOffLo : m_vecOff[i - 1];
        const long nShift = nBefore - m_vecOff[i];
        if (nShift > 0 && *it - nShift <= t && t < *it + nShift) return true;
    }
    return false;
}

time_t CZoneRules::NextRepeat(time_t t, time_t tLimit) {
    if (!Cover(t) || !Cover(std::min(tLimit, kHigh - 1) + kMargin)) return std::min(t + 1, tLimit);
    auto it = std::upper_bound(m_vecAt.begin(), m_vecAt.end(), t);
    for (; it != m_vecAt.end() && *it - kMargin <= tLimit; ++it) {
        const size_t i = static_cast<size_t>(it - m_vecAt.begin());
        const long nBefore = i == 0 ? m_nOffLo : m_vecOff[i - 1];
        const long nShift = nBefore - m_vecOff[i];
        if (nShift > 0 && *it - nShift > t) return std::min(*it - nShift, tLimit);
    }
    return tLimit;
}

// A wall time that a change repeats is taken at its earlier instance; one
// that a change skips is read with the offset from before the change, which
// moves it forward by the size of the gap. The C library's own choice in
// both cases depends on what it converted before, so it is not used.
bool CZoneRules::WallToAbsolute(int64_t nWall, time_t& t) {
    long nGuess = 0, nOff = 0;
    if (!OffsetAt(nWall, nGuess) || !OffsetAt(nWall - nGuess, nOff)) return false;
    const time_t x = nWall - nOff;
    // With no change within the margin on either side of x, the one offset
    // around it decides: whether or not x itself has it, the search below
    // would find nothing else.
    if (x - kMargin >= m_tSteadyFrom && x + kMargin < m_tSteadyTo) {
        t = nWall - m_nSteadyOff;
        return true;
    }
    // Every instant these wall fields could name lies within the largest
    // offset of them; the offsets in force there, before the first change
    // and after each, are the candidates. A skipped day is as far as it gets.
    if (!Cover(nWall - kReach) || !Cover(nWall + kReach)) return false;
    long nOffsets[8];
    time_t tChanges[8] = {};  // where each offset begins; none for the first
    int nCount = 0;
    OffsetAt(nWall - kReach, nOffsets[nCount++]);
    auto it = std::upper_bound(m_vecAt.begin(), m_vecAt.end(), nWall - kReach);
    for (; it != m_vecAt.end() && *it <= nWall + kReach && nCount < 8; ++it) {
        tChanges[nCount] = *it;
        nOffsets[nCount++] = m_vecOff[static_cast<size_t>(it - m_vecAt.begin())];
    }
    bool bFound = false;
    long nMinOff = nOffsets[0];
    for (int i = 0; i < nCount; ++i) {
        nMinOff = std::min(nMinOff, nOffsets[i]);
        const time_t u = nWall - nOffsets[i];
        long nAt = 0;
        if (OffsetAt(u, nAt) && nAt == nOffsets[i] && (!bFound || u < t)) {
            t = u;
            bFound = true;
        }
    }
    if (bFound) return true;
    // In a gap: the offset from before the change that skipped these fields.
    for (int i = 1; i < nCount; ++i) {
        if (nOffsets[i] > nOffsets[i - 1] && tChanges[i] + nOffsets[i - 1] <= nWall &&
            nWall < tChanges[i] + nOffsets[i]) {
            t = nWall - nOffsets[i - 1];
            return true;
        }
    }
    t = nWall - nMinOff;
    return true;
}
