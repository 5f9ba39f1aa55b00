#include "CZoneFile.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "CFileOps.h"

namespace {

// The counts a zone file's header gives, in the order it gives them.
struct CZoneCounts {
    uint64_t nIsUt = 0, nIsStd = 0, nLeap = 0, nTime = 0, nType = 0, nChar = 0;
};

// Big-endian fields read off the front of the bytes; every read is checked
// against what is left, so a short or hostile file is a problem, never a
// read past its end.
class CZoneBytes {
public:
    explicit CZoneBytes(std::string_view sv) : m_sv(sv) {}
    size_t Left() const { return m_sv.size(); }
    bool Skip(uint64_t n) {
        if (n > m_sv.size()) return false;
        m_sv.remove_prefix(static_cast<size_t>(n));
        return true;
    }
    std::string_view Rest() const { return m_sv; }
    // An unsigned big-endian number of nBytes (at most 8) at nAt bytes from the front.
    uint64_t At(size_t nAt, size_t nBytes) const {
        uint64_t n = 0;
        for (size_t i = 0; i < nBytes; ++i) n = n << 8 | static_cast<unsigned char>(m_sv[nAt + i]);
        return n;
    }
    // The 44-byte header: "TZif", the version, fifteen bytes unused and six counts.
    bool Header(char& cVersion, CZoneCounts& counts) {
        if (Left() < 44 || m_sv.substr(0, 4) != "TZif") return false;
        cVersion = m_sv[4];
        uint64_t* const pCounts[] = {&counts.nIsUt, &counts.nIsStd, &counts.nLeap,
                                     &counts.nTime, &counts.nType,  &counts.nChar};
        for (size_t i = 0; i < 6; ++i) *pCounts[i] = At(20 + 4 * i, 4);
        return Skip(44);
    }

private:
    std::string_view m_sv;
};

// The bytes of a data block with times of nTimeBytes each.
uint64_t ZoneBlockBytes(const CZoneCounts& c, uint64_t nTimeBytes) {
    return c.nTime * nTimeBytes + c.nTime + c.nType * 6 + c.nChar + c.nLeap * (nTimeBytes + 4) + c.nIsStd + c.nIsUt;
}

// No zone is as much as a day and two hours from UTC.
constexpr long kZoneMaxOffset = 26 * 3600;

}  // namespace

CResult<> CZoneFile::CheckName(const std::string& strName) {
    const auto problem = [&](const std::string& strWhy) {
        // The name as typed, but never a control character into a message.
        std::string strShown = strName.substr(0, 80);
        for (char& c : strShown)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
        return CProblem("zone \"" + strShown + "\": " + strWhy);
    };
    if (strName.empty() || strName.size() > 255) return problem("not a zone name");
    if (strName.front() == '/') return problem("a zone is named within the zone folder, not by a path");
    size_t nFrom = 0;
    for (;;) {
        const size_t nSlash = std::min(strName.find('/', nFrom), strName.size());
        const std::string_view svPart = std::string_view(strName).substr(nFrom, nSlash - nFrom);
        if (svPart.empty() || svPart.front() == '.') return problem("not a zone name");
        for (const char c : svPart)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '+' && c != '-' && c != '.')
                return problem("not a zone name");
        if (nSlash == strName.size()) return {};
        nFrom = nSlash + 1;
    }
}

std::string CZoneFile::Folder() {
    const char* pszDir = std::getenv("TZDIR");
    return pszDir && *pszDir ? pszDir : "/usr/share/zoneinfo";
}

CResult<CZoneFile> CZoneFile::Read(const std::string& strName) {
    QUILLORY_TRY(CheckName(strName));
    auto bytes = CFileOps::ReadFile(Folder() + "/" + strName, kMaxBytes);
    if (!bytes) return CProblem("zone \"" + strName + "\": " + bytes.Problem());
    return Parse(strName, *bytes);
}

CResult<CZoneFile> CZoneFile::Parse(const std::string& strName, std::string_view svBytes) {
    const auto problem = [&](const std::string& strWhy) { return CProblem("zone \"" + strName + "\": " + strWhy); };
    if (svBytes.size() > kMaxBytes) return problem("file larger than " + std::to_string(kMaxBytes) + " bytes");
    CZoneBytes bytes(svBytes);
    char cVersion = 0;
    CZoneCounts counts;
    if (!bytes.Header(cVersion, counts)) return problem("not a zone file");
    // A file of version 2 on repeats its data with 64-bit times, then the rule.
    const bool bWide = cVersion != '\0';
    if (bWide && (!bytes.Skip(ZoneBlockBytes(counts, 4)) || !bytes.Header(cVersion, counts)))
        return problem("zone file cut short");
    const uint64_t nTimeBytes = bWide ? 8 : 4;
    if (counts.nType == 0 || counts.nType > 256)
        return problem("zone file with " + std::to_string(counts.nType) + " kinds of time");
    if (ZoneBlockBytes(counts, nTimeBytes) > bytes.Left()) return problem("zone file cut short");

    CZoneFile zone;
    zone.m_strName = strName;
    const size_t nTimes = static_cast<size_t>(counts.nTime), nTypes = static_cast<size_t>(counts.nType);
    const size_t nTypesAt = nTimes * nTimeBytes + nTimes;  // after the times and their kinds
    std::vector<long> vecTypeOff(nTypes);
    for (size_t i = 0; i < nTypes; ++i) {
        const auto nOff = static_cast<int32_t>(static_cast<uint32_t>(bytes.At(nTypesAt + 6 * i, 4)));
        if (nOff < -kZoneMaxOffset || nOff > kZoneMaxOffset)
            return problem("offset " + std::to_string(nOff) + " s out of range");
        vecTypeOff[i] = nOff;
    }
    zone.m_nOffFirst = vecTypeOff[0];
    zone.m_vecAt.reserve(nTimes);
    zone.m_vecOff.reserve(nTimes);
    for (size_t i = 0; i < nTimes; ++i) {
        const uint64_t nRaw = bytes.At(i * nTimeBytes, static_cast<size_t>(nTimeBytes));
        const int64_t nAt = bWide ? static_cast<int64_t>(nRaw) : static_cast<int32_t>(static_cast<uint32_t>(nRaw));
        const size_t nType = static_cast<unsigned char>(bytes.At(nTimes * nTimeBytes + i, 1));
        if (nType >= nTypes) return problem("change " + std::to_string(i + 1) + " to a kind of time not listed");
        if (!zone.m_vecAt.empty() && nAt <= zone.m_vecAt.back()) return problem("changes out of order");
        zone.m_vecAt.push_back(nAt);
        zone.m_vecOff.push_back(vecTypeOff[nType]);
    }
    if (!bWide) return zone;
    (void)bytes.Skip(ZoneBlockBytes(counts, nTimeBytes));  // checked against what is left above
    // The rule between two newlines; an empty one leaves the last change in force.
    const std::string_view svRest = bytes.Rest();
    const size_t nEnd = svRest.size() < 2 || svRest[0] != '\n' ? std::string_view::npos : svRest.find('\n', 1);
    if (nEnd == std::string_view::npos) return problem("no rule at the end of the zone file");
    if (nEnd > 1) {
        auto rule = CPosixZoneRule::Parse(svRest.substr(1, nEnd - 1));
        if (!rule) return problem(rule.Problem());
        zone.m_rule = *rule;
    }
    return zone;
}

long CZoneFile::OffsetAt(time_t t) const {
    if (m_vecAt.empty()) return m_rule ? m_rule->OffsetAt(t) : m_nOffFirst;
    if (t < m_vecAt.front()) return m_nOffFirst;
    if (t >= m_vecAt.back() && m_rule) return m_rule->OffsetAt(t);
    const size_t nAfter = static_cast<size_t>(std::upper_bound(m_vecAt.begin(), m_vecAt.end(), t) - m_vecAt.begin());
    return m_vecOff[nAfter - 1];
}
