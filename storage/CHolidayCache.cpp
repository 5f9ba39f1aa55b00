#include "CHolidayCache.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "CHolidayFile.h"
#include "CRuledSchedule.h"
#include "CSendingPreview.h"
#include "TaskTime.h"

namespace {

// Modification time (ns) and size of a file, -1 and -1 when it is not there.
std::pair<int64_t, int64_t> HolidayFileStamp(const std::string& strPath) {
    struct stat st {};
    if (::stat(strPath.c_str(), &st) != 0) return {-1, -1};
    return {static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            static_cast<int64_t>(st.st_size)};
}

}  // namespace

const CHolidayCache::CFile& CHolidayCache::Fresh(const std::string& strPath, int64_t nFromDay, int64_t nToDay) {
    CFile& file = m_mapFiles[strPath];
    const auto [nModifiedNs, nSize] = HolidayFileStamp(strPath);
    const bool bSame = file.nVersion != 0 && nModifiedNs == file.nModifiedNs && nSize == file.nSize;
    if (bSame && nFromDay >= file.nFromDay && nToDay <= file.nToDay) return file;
    // A wider span of the same file is no new version.
    if (!bSame) {
        ++file.nVersion;
        ++m_nGeneration;
    }
    // A year more than asked: the span the tick asks for moves a day at a time.
    const int64_t nReadTo = nToDay + 366;
    auto rDays = CHolidayFile::Read(strPath, nFromDay, nReadTo);
    const std::string strProblem = rDays ? std::string() : rDays.Problem();
    if (!strProblem.empty() && strProblem != file.strProblem && m_fnTell)
        m_fnTell("the holidays of " + strPath + " count as none: " + strProblem);
    file.nModifiedNs = nModifiedNs;
    file.nSize = nSize;
    file.nFromDay = nFromDay;
    file.nToDay = nReadTo;
    file.strProblem = strProblem;
    file.setDays = rDays ? std::move(*rDays) : std::set<int64_t>();
    return file;
}

CWorkingDays CHolidayCache::WorkingDaysOf(const CTaskRules& rules, int64_t nFromDay, int64_t nToDay) {
    std::set<int64_t> setHolidays;
    for (const std::string& strPath : rules.vecHolidayFiles) {
        const CFile& file = Fresh(strPath, nFromDay, nToDay);
        setHolidays.insert(file.setDays.begin(), file.setDays.end());
    }
    return CWorkingDays(rules.nWorkingDays, std::move(setHolidays));
}

CWorkingDays CHolidayCache::WorkingDaysAround(const CTaskRules& rules, time_t tAt, int nDaysBack, int nDaysAhead) {
    if (rules.eOnDayOff == CTaskRules::EOnDayOff::Send) return CWorkingDays(rules.nWorkingDays);
    const TaskDateTime dt = TaskTime::FromAbsolute(tAt);
    const int64_t nDay = TaskTime::DayNumber(dt.nYear, dt.nMonth, dt.nDay);
    return WorkingDaysOf(rules, nDay - nDaysBack, nDay + nDaysAhead);
}

CResult<std::vector<time_t>> CHolidayCache::Coming(const CTaskItem& task, int nCount, const CTaskRules& rules,
                                                   time_t tFrom) {
    // Past the stretch whose holidays were read every day would count as a
    // working day: times that run that far (a yearly task, a long count)
    // are worked out again over a stretch twice as long. A time is sure
    // once its regular day and every day a move looks at lie inside.
    std::vector<time_t> vecTimes;
    for (int nYears = kYears; nYears <= kMaxYears; nYears *= 2) {
        const CWorkingDays days = WorkingDaysAround(rules, tFrom, 40, 366 * nYears);
        QUILLORY_TRY_VALUE(vecTimes, CSendingPreview::Next(task, nCount, rules, days));
        const time_t tSure = tFrom + (static_cast<time_t>(366) * nYears - CRuledSchedule::kMaxMoveDays - 2) * 86400;
        if (rules.eOnDayOff == CTaskRules::EOnDayOff::Send || vecTimes.empty() || vecTimes.back() < tSure) break;
    }
    return vecTimes;
}

uint64_t CHolidayCache::VersionOf(const std::string& strPath, int64_t nFromDay, int64_t nToDay) {
    return Fresh(strPath, nFromDay, nToDay).nVersion;
}

bool CHolidayCache::AnyChanged() const {
    return std::any_of(m_mapFiles.begin(), m_mapFiles.end(), [](const auto& entry) {
        return HolidayFileStamp(entry.first) != std::make_pair(entry.second.nModifiedNs, entry.second.nSize);
    });
}
