#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CResult.h"
#include "CTaskItem.h"
#include "CTaskRules.h"
#include "CWorkingDays.h"

// The holiday files of tasks' rules, read once and kept: a file is read
// again only when its modification time or size changes, or when a span it
// was not read for is asked. A file that is missing or damaged counts as
// naming no holiday; its problem is told once (through fnTell), and again
// only after it was read well in between or the problem changed.
//
// Each reading of a file after it changed on disk has a new version, so that
// a reader can tell which stored times were placed with holidays that are
// no longer those of the file.
//
// Example: two tasks name /home/u/holidays.ics; the tick asks for both on
// every due occurrence and the file is parsed once, until it is saved anew.
class CHolidayCache {
public:
    explicit CHolidayCache(std::function<void(const std::string&)> fnTell) : m_fnTell(std::move(fnTell)) {}

    // The rules' weekdays less the holidays of their files from nFromDay to
    // nToDay (days as TaskTime::DayNumber counts them).
    CWorkingDays WorkingDaysOf(const CTaskRules& rules, int64_t nFromDay, int64_t nToDay);
    // The working days the rules place occurrences on around tAt: from
    // nDaysBack before its day to nDaysAhead after. Rules that send on any
    // day need no holiday file read, and get their weekdays alone.
    CWorkingDays WorkingDaysAround(const CTaskRules& rules, time_t tAt, int nDaysBack = 40,
                                   int nDaysAhead = 366 * kYears);
    // CSendingPreview::Next of task under rules, its first time at tFrom,
    // with the holidays of as many years as the times reach (up to
    // kMaxYears): a yearly holiday keeps counting however far they go.
    CResult<std::vector<time_t>> Coming(const CTaskItem& task, int nCount, const CTaskRules& rules, time_t tFrom);

    // How far the holidays are read ahead of the first time asked for.
    static constexpr int kYears = 3;
    // How far they are read at most: where the times reach further, the
    // days beyond count as working days.
    static constexpr int kMaxYears = 96;

    // The version of strPath's holidays, read as WorkingDaysOf reads it:
    // 1 for its first reading, one more for each reading after a change.
    uint64_t VersionOf(const std::string& strPath, int64_t nFromDay, int64_t nToDay);
    // Whether any file read so far differs on disk from what was read (one
    // stat each), without reading it.
    bool AnyChanged() const;
    // One more whenever any file gets a new version.
    uint64_t Generation() const { return m_nGeneration; }

private:
    struct CFile {
        int64_t nModifiedNs = -1;
        int64_t nSize = -1;
        int64_t nFromDay = 0, nToDay = -1;  // the span read
        std::set<int64_t> setDays;
        std::string strProblem;  // "" when it was read well
        uint64_t nVersion = 0;   // 0: never read
    };
    const CFile& Fresh(const std::string& strPath, int64_t nFromDay, int64_t nToDay);

    std::function<void(const std::string&)> m_fnTell;
    std::map<std::string, CFile> m_mapFiles;
    uint64_t m_nGeneration = 0;
};
