#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CPosixZoneRule.h"
#include "CResult.h"

// One time zone read by its name from the system's zone folder ($TZDIR, else
// /usr/share/zoneinfo), without touching TZ, so that one process can work in
// many zones at once. The file's changes of offset are used up to the last
// one listed; after it the rule at the file's end decides (the system's files
// list changes only up to 2037). A name that could leave the folder, or a
// file that is not a zone, is a problem naming the zone.
// Example: Read("America/New_York")->OffsetAt(1805965200) (2027-03-25
// 09:00 UTC) is -14400, summer time in New York.
class CZoneFile {
public:
    // The most a zone file may weigh; the largest the system has is a few kilobytes.
    static constexpr size_t kMaxBytes = 256 * 1024;

    static CResult<CZoneFile> Read(const std::string& strName);
    // Where zones are read from: $TZDIR, else /usr/share/zoneinfo.
    static std::string Folder();
    // The zone in bytes as a zone file holds them; strName names it in a problem.
    static CResult<CZoneFile> Parse(const std::string& strName, std::string_view svBytes);
    // Done for a name of the form "Area/Place" that stays inside the zone
    // folder: letters, digits and "_+-." in components not starting with a dot.
    static CResult<> CheckName(const std::string& strName);

    const std::string& Name() const { return m_strName; }
    // Seconds east of UTC at t, for any t.
    long OffsetAt(time_t t) const;

private:
    std::string m_strName;
    std::vector<int64_t> m_vecAt;  // the listed changes, ascending
    std::vector<long> m_vecOff;    // the offset from each change on
    long m_nOffFirst = 0;          // before the first change
    std::optional<CPosixZoneRule> m_rule;
};
