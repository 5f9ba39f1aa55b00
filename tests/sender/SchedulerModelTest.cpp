// The scheduler's tick on a simulated clock against the occurrences worked
// out from the rules: random task lists of every type, mode, end kind and
// rule (working days with holidays from a real calendar file, days off,
// missed occurrences, a pause, "skip the next", a zone of the task's own) in
// several zones, stepped minute by minute around changes of offset, with
// the host off, the computer asleep, the clock set back and tasks edited
// while it runs. On every tick exactly the expected occurrences are sent or
// skipped, none twice, none lost, and every saved list loads whole.
//
// QUILLORY_MODEL_RUNS and QUILLORY_MODEL_DAYS make the run longer.
#include <cstdlib>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "CRuledSchedule.h"
#include "CSchedule.h"
#include "CSeededRandom.h"
#include "CSendEmailDlg.h"
#include "CTaskJson.h"
#include "CTaskListFile.h"
#include "CTaskRules.h"
#include "CTaskZone.h"
#include "CTempDir.h"
#include "CTextCodec.h"
#include "OffsetChanges.h"
#include "RandomCases.h"
#include "ReferenceOccurrences.h"
#include "ReferenceRules.h"
#include "ReferenceTick.h"
#include "ResultValue.h"
#include "TaskTime.h"
#include "ZoneGuard.h"

namespace {

using RefSchedule::COccurrence;
using RefSchedule::ERefVerdict;
using RefSchedule::Instant;
using RefSchedule::LocalDay;

int EnvInt(const char* pszName, int nDefault) {
    const char* psz = std::getenv(pszName);
    return psz && *psz ? std::atoi(psz) : nDefault;
}

// The present as the scheduler reads it: local fields rebuilt at second 1.
time_t NowMinute(time_t t) {
    const int64_t nDay = LocalDay(t);
    const time_t nSecs = t + RefSchedule::OffsetAt(t) - static_cast<time_t>(nDay) * 86400;
    return Instant(nDay, static_cast<int>(nSecs / 3600), static_cast<int>(nSecs / 60 % 60));
}

std::string Show(time_t t) { return RefSchedule::WallText(t, "%Y-%m-%d %H:%M:%S %Z"); }

// The machine's wall time of an instant to the minute, as the task list keeps it.
std::string MachineMinute(time_t t) { return Show(t).substr(0, 16); }

// The zones a task may have of its own: both hemispheres' changes, a half
// hour offset, one that gave up its changes and skipped a day, and none.
const char* const kTaskZones[] = {"America/New_York", "Europe/Berlin", "Australia/Sydney",
                                  "Asia/Kolkata",     "Pacific/Apia",  "UTC"};

class CGenerator : public CSeededRandom {
public:
    using CSeededRandom::CSeededRandom;

    // Each field drawn from its range, in order.
    void Draw(std::initializer_list<std::tuple<int32_t*, int, int>> fields) {
        for (const auto& [p, lo, hi] : fields) *p = Int(lo, hi);
    }

    // A task as the options sheet leaves it, before its first computation.
    CTaskItem Task(int nIndex, time_t tCreated, int nDays) {
        CTaskItem t;
        t.m_bActive = 1;
        t.m_strTaskName = "task " + std::to_string(nIndex);
        t.m_strTemplateFile = "/templates/" + std::to_string(nIndex) + ".eml";
        t.m_bSendOverdue = Chance(50);
        const int nPick = Int(1, 100);
        t.m_nRecurrence = nPick <= 10 ? 0 : nPick <= 35 ? 1 : nPick <= 55 ? 2 : nPick <= 75 ? 3 : nPick <= 90 ? 4 : 5;
        const int64_t nStartDay = LocalDay(tCreated) + Int(-10, nDays / 2);
        const RefSchedule::CDate dtStart = RefSchedule::DateOf(nStartDay);
        int h = Int(0, 23), mi = Int(0, 59);
        if (Chance(40)) {
            static const int kHours[] = {0, 1, 2, 3, 23};
            h = kHours[Int(0, 4)];
            mi = Chance(50) ? Int(0, 3) * 15 : mi;
        }
        t.m_dtStart = TaskDateTime{dtStart.y, dtStart.m, dtStart.d, RefSchedule::Weekday(nStartDay), h, mi, 0};
        switch (t.m_nRecurrence) {
            case 1: t.m_nMinuteInterval = Chance(40) ? Int(61, 119) : Chance(50) ? Int(1, 60) : Int(120, 1440); break;
            case 2: Draw({{&t.m_nDailyMode, 0, 1}, {&t.m_nDailyInterval, 1, 10}, {&t.m_nDailyDayKind, 0, 4}}); break;
            case 3:
                Draw({{&t.m_nWeeklyMode, 0, 1}, {&t.m_nWeeklyInterval, 1, 4}, {&t.m_nWeeklyWeekOfMonth, 0, 2}});
                for (auto& b : t.m_bWeekDays) b = Chance(35) ? 1 : 0;
                t.m_bWeekDays[Int(0, 6)] = 1;
                break;
            case 4:
                Draw({{&t.m_nMonthlyMode, 0, 1}});
                t.m_nMonthlyDay = Chance(70) ? Int(1, 28) : Int(29, 31);
                Draw({{&t.m_nMonthlyInterval, 1, 3},
                      {&t.m_nMonthlyOrdinal, 0, 4},
                      {&t.m_nMonthlyDayKind, 0, 11},
                      {&t.m_nMonthlyInterval2, 1, 3}});
                break;
            case 5: {
                t.m_nYearlyMode = Int(0, 1);
                // Mostly a month the run passes through, so that it occurs.
                const int nMonth = Chance(70) ? (dtStart.m - 1 + Int(0, nDays / 30)) % 12 : Int(0, 11);
                t.m_nYearlyMonth = t.m_nYearlyMonth2 = nMonth;
                Draw({{&t.m_nYearlyDay, 1, RefSchedule::DaysIn(2000, nMonth + 1)},
                      {&t.m_nYearlyOrdinal, 0, 4},
                      {&t.m_nYearlyDayKind, 0, 11}});
                break;
            }
            default: break;
        }
        const int nEnd = Int(1, 100);
        t.m_nEndKind = nEnd <= 50 ? 0 : nEnd <= 75 ? 1 : 2;
        t.m_nEndAfterCount = Int(1, 30);
        const RefSchedule::CDate dtEnd = RefSchedule::DateOf(nStartDay + Int(0, nDays));
        t.m_dtEnd = TaskDate{dtEnd.y, dtEnd.m, dtEnd.d, RefSchedule::Weekday(nStartDay)};
        t.m_dtEnd.nDayOfWeek = RefSchedule::Weekday(RefSchedule::DayNumber(dtEnd.y, dtEnd.m, dtEnd.d));
        return t;
    }

    // Rules for a task made at tCreated; a third of the tasks have none but
    // maybe a zone, which is mostly strNearZone (the run's clock passes a
    // change of its offset) and never the machine's.
    CTaskRules Rules(time_t tCreated, int nDays, const std::string& strHolidays, const std::string& strNearZone,
                     const std::string& strMachine) {
        CTaskRules rules;
        if (Chance(40)) {
            rules.strZone = Chance(60) && !strNearZone.empty() ? strNearZone : kTaskZones[Int(0, 5)];
            if (rules.strZone == strMachine) rules.strZone.clear();
        }
        if (Chance(33)) return rules;
        static const uint8_t kWeekdays[] = {CWorkingDays::kMondayToFriday, 0b00111110, 0b01010100};
        rules.nWorkingDays = Chance(70) ? kWeekdays[Int(0, 2)] : static_cast<uint8_t>(Int(1, 127) << 1);
        if (Chance(70)) rules.vecHolidayFiles.push_back(strHolidays);
        rules.eOnDayOff = static_cast<CTaskRules::EOnDayOff>(Int(0, 3));
        rules.eMissed = static_cast<CTaskRules::EMissed>(Int(0, 2));
        if (Chance(20)) {
            const RefSchedule::CDate d = RefSchedule::DateOf(LocalDay(tCreated) + Int(0, nDays / 2));
            rules.pauseUntil = TaskDate{d.y, d.m, d.d, RefSchedule::Weekday(RefSchedule::DayNumber(d.y, d.m, d.d))};
        }
        rules.bSkipNext = Chance(25);
        return rules;
    }
};

// What one task must do from its creation on.
struct CExpected {
    RefSchedule::CRuledOccurrences ref;
    size_t nNext = 0;      // the occurrence due next
    int nEndAfter = 0;     // end after N: sent occurrences (and overdue skips) counted
    time_t tEndOfDay = 0;  // end date's last second, for end kind 2
    int nEndKind = 0;
    bool bActive = true;
    bool bOverdue = false;
    int nCount = 0;

    const std::vector<COccurrence>& Occurrences() const { return ref.Occurrences(); }
    // Whether the task must be completed now.
    bool MustEnd() const {
        if (nNext >= Occurrences().size() || (nEndKind == 1 && nCount >= nEndAfter)) return true;
        return nEndKind == 2 && Occurrences()[nNext].tWall > tEndOfDay;
    }
};

class CSimulation {
public:
    CSimulation(const char* pszZone, uint64_t nSeed, int nDays)
        : m_zone(pszZone), m_strMachine(pszZone), m_gen(nSeed), m_nDays(nDays) {
        m_strWhere = std::string(pszZone) + " seed " + std::to_string(nSeed);
    }

    void Run() {
        // Somewhere around a change of offset between 2010 and 2030, where
        // the zone has any: the machine's, or half the time that of the zone
        // most tasks with a zone of their own are read in.
        if (m_gen.Chance(50)) m_strNearZone = kTaskZones[m_gen.Int(0, 5)];
        const time_t tYear = Instant(RefSchedule::DayNumber(m_gen.Int(2010, 2030), 1, 1), 0, 0);
        const std::vector<time_t> vecChanges =
            RefSchedule::InZone(m_strNearZone == m_strMachine ? std::string() : m_strNearZone,
                                [&] { return OffsetChanges(tYear, tYear + 366 * 86400, 1800); });
        time_t tNow = tYear + m_gen.Int(0, 365) * 86400;
        if (!vecChanges.empty())
            tNow = vecChanges[static_cast<size_t>(m_gen.Int(0, static_cast<int>(vecChanges.size()) - 1))];
        tNow -= m_gen.Int(0, std::min(m_nDays, 20)) * 86400 + m_gen.Int(0, 86399);
        const time_t tStop = tNow + static_cast<time_t>(m_nDays) * 86400;
        m_clock.Set(tNow);
        CreateTasks(tNow, tStop);
        Save(m_list);
        if (HasFailure()) return;
        StartHost();
        while (m_clock.Now() < tStop && !HasFailure()) Step();
    }

private:
    static bool HasFailure() { return ::testing::Test::HasFailure(); }

    void Fail(const std::string& str) { ADD_FAILURE() << m_strWhere << ", at " << Show(m_clock.Now()) << ": " << str; }

    void CreateTasks(time_t tNow, time_t tStop) {
        m_tStop = tStop;
        // One calendar of holidays for every task that names one: about one day in eight.
        std::string strIcs = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//model//EN\r\n";
        for (int64_t d = LocalDay(tNow) - 60; d < LocalDay(tStop) + 420; ++d) {
            if (!m_gen.Chance(12)) continue;
            m_setHolidays.insert(d);
            const RefSchedule::CDate dt = RefSchedule::DateOf(d);
            char sz[40];
            std::snprintf(sz, sizeof sz, "%04d%02d%02d", dt.y, dt.m, dt.d);
            strIcs += "BEGIN:VEVENT\r\nUID:" + std::to_string(d) + "@model\r\nDTSTART;VALUE=DATE:" + sz +
                      "\r\nSUMMARY:Holiday\r\nEND:VEVENT\r\n";
        }
        CTempDir::WriteFile(m_strHolidays, strIcs + "END:VCALENDAR\r\n");
        const int nTasks = m_gen.Int(6, 12);
        for (int i = 0; i < nTasks; ++i) AddTask(tNow);
    }

    // A new task made and scheduled now, as the options sheet adds it.
    void AddTask(time_t tNow) {
        CSchedule schedule(m_clock);
        CTaskRules rules = m_gen.Rules(tNow, m_nDays, m_strHolidays, m_strNearZone, m_strMachine);
        // The task's fields are its zone's wall times.
        CTaskItem task = RefSchedule::InZone(rules.strZone, [&] { return m_gen.Task(++m_nMade, tNow, m_nDays); });
        m_mapRules[task.m_strTaskName] = rules;
        RefSchedule::CRules ref;
        ref.nWeekdays = rules.nWorkingDays;
        ref.pHolidays = rules.vecHolidayFiles.empty() ? nullptr : &m_setHolidays;
        ref.nOnDayOff = static_cast<int>(rules.eOnDayOff);
        ref.nMissed = static_cast<int>(rules.eMissed);
        if (rules.pauseUntil.IsSet())
            ref.nPauseDay =
                RefSchedule::DayNumber(rules.pauseUntil.nYear, rules.pauseUntil.nMonth, rules.pauseUntil.nDay);
        ref.bSkipNext = rules.bSkipNext;
        const TaskDateTime& s = task.m_dtStart;
        CExpected e;
        e.ref = RefSchedule::CRuledOccurrences(RefSchedule::CReference::All(task, m_tStop + 400 * 86400, rules.strZone),
                                               ref, RefSchedule::DayNumber(s.nYear, s.nMonth, s.nDay), s.nHour,
                                               s.nMinute, task.m_nRecurrence == 1, rules.strZone);
        e.nEndKind = task.m_nRecurrence == 0 ? 0 : task.m_nEndKind;
        e.tEndOfDay = RefSchedule::InZone(rules.strZone, [&] {
            return Instant(RefSchedule::DayNumber(task.m_dtEnd.nYear, task.m_dtEnd.nMonth, task.m_dtEnd.nDay), 23, 59) +
                   58;
        });
        e.bOverdue = task.m_bSendOverdue != 0;
        // Occurrences before the moment of scheduling, or moved to a
        // working day before it, are passed over without being counted.
        const auto& vec = e.Occurrences();
        while (e.nNext < vec.size() && vec[e.nNext].tWall < tNow) ++e.nNext;
        const time_t tTaskMinute = rules.strZone.empty() ? NowMinute(tNow) : e.ref.MinuteOf(tNow);
        while (e.nNext < vec.size() && !e.ref.IsDayOffSkip(e.nNext) && e.ref.Stored(e.nNext) < tTaskMinute) ++e.nNext;
        e.nEndAfter = task.m_nEndAfterCount;
        // As the options sheet and the tool schedule it: in its zone.
        EXPECT_EQ(
            CTaskZone::Run(rules.strZone, task, [&](CTaskItem& t) { return schedule.AdvancePastNow(t); }).Problem(),
            "");
        const CWorkingDays days(rules.nWorkingDays, ref.pHolidays ? m_setHolidays : std::set<int64_t>());
        EXPECT_EQ(CRuledSchedule(schedule, rules, days).Place(task, tNow).Problem(), "");
        m_vecExpected.push_back(e);
        m_vecDescribed.push_back(CTaskJson::ToJson(task).dump() + " rules [" + rules.Summary() + "; " +
                                 CWorkingDays::WeekdaysText(rules.nWorkingDays) +
                                 (ref.pHolidays ? " with holidays" : "") +
                                 (rules.strZone.empty() ? "" : " in " + rules.strZone) + "]");
        m_list.Add(task);
        Compare(m_list.GetSize() - 1, "when scheduled");
    }

    // The task at index i against what the rules expect of it.
    void Compare(int i, const char* pszWhen) {
        const CTaskItem& task = static_cast<const CTaskList&>(m_list).GetAt(i);
        const CExpected& e = m_vecExpected[static_cast<size_t>(i)];
        std::string strProblem;
        if (task.m_nOccurrenceCount != e.nCount) {
            strProblem = "count " + std::to_string(task.m_nOccurrenceCount) + ", expected " + std::to_string(e.nCount);
        } else if (!task.m_dtNextSending.IsSet()) {
            if (!e.MustEnd()) strProblem = "completed, expected the occurrence at " + Show(e.ref.Stored(e.nNext));
        } else {
            // Compared as the machine's wall time the list keeps: a time
            // its clocks repeat stands for either instant.
            const std::string strNext = TaskTime::Format(task.m_dtNextSending);
            const time_t tNext = ValueOf(TaskTime::ToAbsolute(task.m_dtNextSending));
            if (task.m_dtLastSent.IsSet() && tNext <= ValueOf(TaskTime::ToAbsolute(task.m_dtLastSent)) &&
                e.nCount > 0 && e.ref.Zone().empty())
                strProblem = "next " + Show(tNext) + " is not after the last occurrence";
            else if (e.MustEnd()) strProblem = "next " + strNext + ", expected completed";
            else if (MachineMinute(e.ref.Stored(e.nNext)) != strNext)
                strProblem = "next " + strNext + ", expected " + Show(e.ref.Stored(e.nNext));
        }
        if (!strProblem.empty())
            Fail(task.m_strTaskName + " (" + m_vecDescribed[static_cast<size_t>(i)] + ") " + pszWhen + ": " +
                 strProblem + "; last sent " + TaskTime::Format(task.m_dtLastSent));
    }

    void Save(const CTaskList& list) {
        ++m_nSaves;
        m_vecSaved = CTaskListFile::Encode(list, m_codec);
        CTaskList loaded;
        const auto rLoaded = CTaskListFile::LoadFromBytes(m_vecSaved, loaded, m_codec);
        if (!rLoaded.Ok() || !(loaded == list)) Fail("the saved list does not load whole: " + rLoaded.Problem());
    }

    void StartHost() {
        CSendContext ctx;
        ctx.fnTaskList = [this] { return &m_list; };
        ctx.fnSend = [this](const CTaskItem& t) {
            m_vecSent.push_back(t.m_strTaskName + " @ " + TaskTime::Format(t.m_dtNextSending));
            return true;
        };
        ctx.fnSave = [this](const CTaskList& list) { Save(list); };
        ctx.pClock = &m_clock;
        ctx.fnRulesOf = [this](const CTaskItem& t) -> CResult<CTaskRules> { return m_mapRules.at(t.m_strTaskName); };
        ctx.fnSkippedByRule = [this](const CTaskItem& t, const std::string& strReason, bool bSkipNextUsed) {
            m_vecSkipped.push_back(t.m_strTaskName + " @ " + TaskTime::Format(t.m_dtNextSending) + ": " + strReason);
            if (bSkipNextUsed) m_mapRules.at(t.m_strTaskName).bSkipNext = false;
        };
        m_pHost = std::make_unique<CSendEmailDlg>(std::move(ctx));
    }

    // The words the tick records a skip by a rule with.
    static std::string ReasonOf(ERefVerdict eVerdict, const CTaskRules& rules) {
        switch (eVerdict) {
            case ERefVerdict::DayOff: return "not a working day";
            case ERefVerdict::Paused: {
                char sz[64];
                std::snprintf(sz, sizeof sz, "paused until %04d-%02d-%02d", rules.pauseUntil.nYear,
                              rules.pauseUntil.nMonth, rules.pauseUntil.nDay);
                return sz;
            }
            case ERefVerdict::Missed:
                return rules.eMissed == CTaskRules::EMissed::Latest ? "missed, a later one is sent" : "missed";
            case ERefVerdict::SkipNext: return "the next occurrence was to be skipped";
            default: return {};
        }
    }

    // The tasks in words, with their next time and the one expected, for a failure.
    std::string Tasks() const {
        std::string str;
        for (int i = 0; i < m_list.GetSize(); ++i) {
            const CTaskItem& t = m_list[i];
            const CExpected& e = m_vecExpected[static_cast<size_t>(i)];
            str += "\n  " + t.m_strTaskName + ": " + m_vecDescribed[static_cast<size_t>(i)] + "; next " +
                   (t.m_dtNextSending.IsSet() ? TaskTime::Format(t.m_dtNextSending) : "none") + ", expected " +
                   (e.MustEnd() ? "none" : Show(e.ref.Stored(e.nNext)));
        }
        return str;
    }

    // One tick of the real scheduler beside one tick of the model.
    void Tick() {
        const time_t tMinute = NowMinute(m_clock.Now());
        std::vector<std::string> vecExpected, vecExpectedSkips;
        bool bChanged = false;
        for (int i = 0; i < m_list.GetSize(); ++i) {
            CExpected& e = m_vecExpected[static_cast<size_t>(i)];
            const CTaskItem& task = static_cast<const CTaskList&>(m_list).GetAt(i);
            if (!e.bActive || !task.m_dtNextSending.IsSet() || e.MustEnd()) continue;
            // The instant the rules give, not the list's wall time, which the
            // machine's clocks may repeat.
            const time_t tNext = e.ref.Stored(e.nNext);
            // A task of a zone of its own reads the present there.
            const time_t tTaskMinute = e.ref.Zone().empty() ? tMinute : e.ref.MinuteOf(m_clock.Now());
            if (tNext > tTaskMinute) continue;
            const ERefVerdict eVerdict = e.ref.Verdict(
                e.nNext, tTaskMinute, e.bOverdue, e.nEndKind == 2 ? std::optional<time_t>(e.tEndOfDay) : std::nullopt);
            const std::string strAt = task.m_strTaskName + " @ " + TaskTime::Format(task.m_dtNextSending);
            if (eVerdict == ERefVerdict::Send) {
                vecExpected.push_back(strAt);
                if (!m_setSent.insert(task.m_strTaskName + " " + std::to_string(tNext)).second)
                    Fail(task.m_strTaskName + " would send the occurrence at " + Show(tNext) + " twice");
            } else if (eVerdict != ERefVerdict::SkipCounted) {
                vecExpectedSkips.push_back(strAt + ": " + ReasonOf(eVerdict, m_mapRules.at(task.m_strTaskName)));
            }
            if (eVerdict == ERefVerdict::SkipNext) e.ref.Rules().bSkipNext = false;
            ++e.nNext;
            if (eVerdict == ERefVerdict::Send || eVerdict == ERefVerdict::SkipCounted) ++e.nCount;
            bChanged = true;
        }
        m_vecSent.clear();
        m_vecSkipped.clear();
        const int nSavesBefore = m_nSaves;
        // The same tick without any cache, on a copy of the list as it is now.
        CTaskList plain = m_list;
        std::vector<std::string> vecPlain;
        ReferenceTick(
            plain, CSchedule(m_clock),
            [&](const CTaskItem& t) {
                vecPlain.push_back(t.m_strTaskName + " @ " + TaskTime::Format(t.m_dtNextSending));
            },
            {},
            [&](const CTaskItem& t) {
                const CTaskRules& rules = m_mapRules.at(t.m_strTaskName);
                return std::pair{rules,
                                 CWorkingDays(rules.nWorkingDays,
                                              rules.vecHolidayFiles.empty() ? std::set<int64_t>() : m_setHolidays)};
            });
        m_pHost->OnTimer();
        if (m_vecSent != vecPlain || !(plain == m_list)) Fail("the tick differs from the plain tick");
        using ::testing::PrintToString;
        if (m_vecSent != vecExpected)
            Fail("sent " + PrintToString(m_vecSent) + ", expected " + PrintToString(vecExpected) + Tasks());
        if (m_vecSkipped != vecExpectedSkips)
            Fail("skipped by rule " + PrintToString(m_vecSkipped) + ", expected " + PrintToString(vecExpectedSkips) +
                 Tasks());
        if ((m_nSaves != nSavesBefore) != bChanged)
            Fail(std::string(bChanged ? "handled tasks but did not save" : "saved with nothing handled") + Tasks());
        for (int i = 0; i < m_list.GetSize() && !HasFailure(); ++i) Compare(i, "after a tick");
    }

    void Step() {
        const int nEvent = m_gen.Int(1, 20000);
        if (nEvent <= 4) {
            // The host is off for a while, then starts from its file.
            m_pHost.reset();
            m_clock.Set(m_clock.Now() + m_gen.Int(30, 3 * 1440) * 60);
            CTaskList loaded;
            const auto rLoaded = CTaskListFile::LoadFromBytes(m_vecSaved, loaded, m_codec);
            if (!rLoaded.Ok() || !(loaded == m_list)) Fail("the list after a restart is not the saved one");
            m_list = loaded;
            StartHost();
        } else if (nEvent <= 8) {
            // Asleep: no ticks.
            m_clock.Set(m_clock.Now() + m_gen.Int(5, 600) * 60);
        } else if (nEvent <= 10) {
            // The clock is set back.
            m_clock.Set(m_clock.Now() - m_gen.Int(1, 180) * 60);
        } else if (nEvent <= 16) {
            // Disabled or activated again from the Email Manager.
            const int i = m_gen.Int(0, m_list.GetSize() - 1);
            CTaskItem task = static_cast<const CTaskList&>(m_list).GetAt(i);
            task.m_bActive = task.m_bActive ? 0 : 1;
            m_vecExpected[static_cast<size_t>(i)].bActive = task.m_bActive != 0;
            m_list.SetAt(i, task);
            Save(m_list);
        } else if (nEvent <= 20 && m_list.GetSize() > 1) {
            // Moved up or down in the Email Manager: the expectations move along.
            const int i = m_gen.Int(0, m_list.GetSize() - 2);
            m_list.MoveDown(i);
            std::swap(m_vecExpected[static_cast<size_t>(i)], m_vecExpected[static_cast<size_t>(i) + 1]);
            std::swap(m_vecDescribed[static_cast<size_t>(i)], m_vecDescribed[static_cast<size_t>(i) + 1]);
            Save(m_list);
        } else if (nEvent <= 22) {
            // Edited without touching the schedule: another template.
            const int i = m_gen.Int(0, m_list.GetSize() - 1);
            m_list.GetAt(i).m_strTemplateFile += ".new";
            Save(m_list);
        } else if (nEvent <= 24 && m_list.GetSize() > 3) {
            // Deleted: its occurrences are no longer expected.
            const int i = m_gen.Int(0, m_list.GetSize() - 1);
            m_list.RemoveAt(i);
            m_vecExpected.erase(m_vecExpected.begin() + i);
            m_vecDescribed.erase(m_vecDescribed.begin() + i);
            Save(m_list);
        } else if (nEvent <= 26 && m_list.GetSize() < 16) {
            m_clock.Set(m_clock.Now() + m_gen.Int(0, 59));
            AddTask(m_clock.Now());
            Save(m_list);
        }
        // Most minutes get one tick; some several, at other seconds.
        const time_t tMinuteStart = m_clock.Now() - ((m_clock.Now() % 60) + 60) % 60;
        const int nTicks = m_gen.Chance(2) ? m_gen.Int(2, 4) : 1;
        for (int k = 0; k < nTicks && !HasFailure(); ++k) {
            m_clock.Set(tMinuteStart + m_gen.Int(0, 59));
            Tick();
        }
        m_clock.Set(tMinuteStart + 60);
    }

    CZoneGuard m_zone;
    std::string m_strMachine;
    std::string m_strNearZone;  // the zone whose change the run passes: the machine's when empty
    CGenerator m_gen;
    int m_nDays;
    time_t m_tStop = 0;
    int m_nMade = 0;  // tasks made so far; names stay unique
    std::string m_strWhere;
    CFixedClock m_clock{0};
    const CTextCodec m_codec = CTextCodec::Open("UTF-8").Value();
    CTaskList m_list;
    std::vector<CExpected> m_vecExpected;
    std::vector<std::string> m_vecDescribed;
    std::vector<std::string> m_vecSent, m_vecSkipped;
    std::set<std::string> m_setSent;
    CTempDir m_dir;
    const std::string m_strHolidays = m_dir / "holidays.ics";
    std::set<int64_t> m_setHolidays;
    std::map<std::string, CTaskRules> m_mapRules;  // the store's rules, by task name
    std::vector<uint8_t> m_vecSaved;
    int m_nSaves = 0;
    std::unique_ptr<CSendEmailDlg> m_pHost;
};

// Lord Howe moves its clocks by half an hour; Santiago and Havana at
// midnight; Sydney and Santiago in the southern summer.
const char* const kZones[] = {"Europe/Berlin",
                              "America/New_York",
                              "Australia/Lord_Howe",
                              "America/Santiago",
                              "Australia/Sydney",
                              "Asia/Kathmandu",
                              "UTC",
                              "America/Havana"};

}  // namespace

TEST(SchedulerModelTest, TheTickSendsAndSkipsExactlyWhatTheRulesSay) {
    const int nRuns = EnvInt("QUILLORY_MODEL_RUNS", RandomCases(14));
    const int nDays = EnvInt("QUILLORY_MODEL_DAYS", 20);
    const uint64_t nSeed = static_cast<uint64_t>(EnvInt("QUILLORY_MODEL_SEED", 20261207));
    for (int nRun = 0; nRun < nRuns && !::testing::Test::HasFailure(); ++nRun) {
        const char* pszZone = kZones[static_cast<size_t>(nRun) % std::size(kZones)];
        CSimulation(pszZone, nSeed + static_cast<uint64_t>(nRun), nDays).Run();
    }
}

// A monthly or yearly task whose start is its first occurrence, scheduled
// ahead of its start as the options sheet does, run through the real tick,
// ticking every 20 seconds. A list saved by an earlier version keeps the
// seed in the last-sent time, equal to the next time: it does not count as
// done either.
class SchedulerStartOccurrenceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SchedulerStartOccurrenceTest, AStartOnItsOwnDateGoesOutAtItsMinuteThenMovesOn) {
    const CZoneGuard zone(GetParam());
    const auto At = [](int y, int mo, int d, int h, int mi) {
        return ValueOf(TaskTime::ToAbsolute(y, mo, d, h, mi, 0));
    };
    const auto monthlyOn7 = [](CTaskItem& t) { t.m_nMonthlyDay = 7, t.m_nMonthlyInterval = 1; };
    const struct {
        const char* pszName;
        int nRecurrence;
        std::function<void(CTaskItem&)> fnSet;  // the fields the recurrence reads
        TaskDateTime dtStart;
        time_t tScheduled;  // when the options sheet computed it; 0: stored seeded by an earlier version
        std::vector<std::pair<time_t, int>> vecRuns;  // from when, for how many minutes
        std::vector<std::string> vecSent;
        std::string strNextAfter;  // "" once completed
    } cases[] = {
        // clang-format off
        {"monthly on its start day", 4, monthlyOn7, TaskDateTime{2026, 12, 7, 0, 9, 36, 0}, At(2026, 12, 7, 9, 30),
         {{At(2026, 12, 7, 9, 30), 30}}, {"2026-12-07 09:36"}, "2027-01-07 09:36"},
        {"yearly on its start date, sent overdue", 5,
         [](CTaskItem& t) { t.m_nYearlyMonth = 2, t.m_nYearlyDay = 5, t.m_bSendOverdue = 1; },
         TaskDateTime{2027, 3, 5, 0, 10, 0, 0}, At(2027, 3, 1, 8, 0), {{At(2027, 3, 5, 9, 58), 10}},
         {"2027-03-05 10:00"}, "2028-03-05 10:00"},
        {"first Wednesday, ending after three", 4,
         [](CTaskItem& t) {
             t.m_nMonthlyMode = 1, t.m_nMonthlyOrdinal = 0, t.m_nMonthlyDayKind = 8, t.m_nMonthlyInterval2 = 1;
             t.m_nEndKind = 1, t.m_nEndAfterCount = 3;
         },
         TaskDateTime{2027, 1, 6, 0, 8, 15, 0}, At(2027, 1, 6, 8, 0),
         {{At(2027, 1, 6, 8, 14), 3}, {At(2027, 2, 3, 8, 14), 3}, {At(2027, 3, 3, 8, 14), 3}, {At(2027, 4, 7, 8, 14), 3}},
         {"2027-01-06 08:15", "2027-02-03 08:15", "2027-03-03 08:15"}, ""},
        {"a stored seed", 4, monthlyOn7, TaskDateTime{2026, 12, 7, 0, 9, 36, 0}, 0, {{At(2026, 12, 7, 9, 35), 3}},
         {"2026-12-07 09:36"}, "2027-01-07 09:36"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CFixedClock clock(0);
        CTaskList list;
        std::vector<std::string> vecSent;
        CSendContext ctx;
        ctx.fnTaskList = [&] { return &list; };
        // What was sent, and when: a late send shows in its minute.
        ctx.fnSend = [&](const CTaskItem& t) {
            const std::string strAt = TaskTime::Format(TaskTime::FromAbsolute(clock.Now()));
            const std::string strDue = TaskTime::Format(t.m_dtNextSending);
            vecSent.push_back(strAt == strDue ? strDue : strDue + " sent at " + strAt);
            return true;
        };
        ctx.pClock = &clock;
        CSendEmailDlg host(std::move(ctx));
        CTaskItem t;
        t.m_bActive = 1;
        t.m_nRecurrence = c.nRecurrence;
        t.m_nEndKind = 0;
        c.fnSet(t);
        t.m_dtStart = TaskTime::FromAbsolute(ValueOf(TaskTime::ToAbsolute(c.dtStart)));
        if (c.tScheduled) {
            clock.Set(c.tScheduled);
            EXPECT_EQ(CSchedule(clock).AdvancePastNow(t).Problem(), "");
        } else {
            t.m_dtLastSent = t.m_dtNextSending = t.m_dtStart;
        }
        list.Add(t);
        for (const auto& [tFrom, nMinutes] : c.vecRuns)
            for (time_t tAt = tFrom; tAt < tFrom + nMinutes * 60; tAt += 20) {
                clock.Set(tAt);
                host.OnTimer();
            }
        EXPECT_EQ(vecSent, c.vecSent);
        EXPECT_EQ(list[0].m_nOccurrenceCount, static_cast<int>(c.vecSent.size()));
        EXPECT_EQ(list[0].m_dtNextSending.IsSet() ? TaskTime::Format(list[0].m_dtNextSending) : "", c.strNextAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, SchedulerStartOccurrenceTest,
                         ::testing::Values("UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe"),
                         [](const auto& info) { return ZoneTestName(info.param); });

// A task of a zone of its own whose kept time the machine's clocks repeat
// (the list holds only the machine's wall time) goes out at the instant its
// zone's rule gives, through the real tick: not an hour early at the first
// pass of that hour. The instants are written out by hand in UTC.
TEST(SchedulerZoneTaskTest, AKeptTimeTheMachineRepeatsGoesOutAtTheZonesInstant) {
    const auto utc = [](int y, int mo, int d, int h, int mi) {
        std::tm tm{.tm_min = mi, .tm_hour = h, .tm_mday = d, .tm_mon = mo - 1, .tm_year = y - 1900};
        return timegm(&tm);
    };
    const struct {
        const char* pszMachine;
        const char* pszZone;
        TaskDateTime dtStart;  // in the zone
        int nEveryMinutes;     // 0: daily
        time_t tScheduled, tFrom;
        std::vector<time_t> vecSent;  // the sends expected from tFrom on, for three hours
    } cases[] = {
        // clang-format off
        // 17:10 in Sydney on 6 November 2016 is 01:10 EST in New York, after the 01:10 EDT an hour before.
        {"America/New_York", "Australia/Sydney", {2016, 11, 4, 0, 17, 10, 0}, 0, utc(2016, 11, 5, 7, 0),
         utc(2016, 11, 6, 4, 0), {utc(2016, 11, 6, 6, 10)}},
        // 21:10 in New York on 30 October 2027 is 02:10 CET in Berlin, after the 02:10 CEST.
        {"Europe/Berlin", "America/New_York", {2027, 10, 28, 0, 21, 10, 0}, 0, utc(2027, 10, 30, 2, 0),
         utc(2027, 10, 30, 23, 30), {utc(2027, 10, 31, 1, 10)}},
        // Every 25 minutes in UTC: 01:20 and 01:45 UTC are 02:20 and 02:45 CET, which Berlin's fields would
        // read as the CEST hour before; they are passed over, as the machine's own such times are.
        {"Europe/Berlin", "UTC", {2027, 10, 30, 0, 22, 0, 0}, 25, utc(2027, 10, 30, 21, 0), utc(2027, 10, 30, 23, 50),
         {utc(2027, 10, 31, 0, 5), utc(2027, 10, 31, 0, 30), utc(2027, 10, 31, 0, 55), utc(2027, 10, 31, 2, 10),
          utc(2027, 10, 31, 2, 35)}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszMachine) + " with a task in " + c.pszZone);
        const CZoneGuard zone(c.pszMachine);
        CTaskRules rules;
        rules.strZone = c.pszZone;
        CTaskItem task;
        task.m_bActive = 1;
        task.m_strTaskName = c.nEveryMinutes ? "minutely" : "daily";
        task.m_nRecurrence = c.nEveryMinutes ? 1 : 2;
        task.m_nDailyInterval = 1;
        task.m_nMinuteInterval = c.nEveryMinutes;
        task.m_nEndKind = 0;
        task.m_dtStart = c.dtStart;
        CFixedClock clock(c.tScheduled);
        ASSERT_EQ(CTaskZone::Run(rules.strZone, task, [&](CTaskItem& t) { return CSchedule(clock).AdvancePastNow(t); })
                      .Problem(),
                  "");
        CTaskList list;
        list.Add(task);
        std::vector<time_t> vecSent;
        CSendContext ctx;
        ctx.fnTaskList = [&] { return &list; };
        ctx.fnSend = [&](const CTaskItem&) {
            vecSent.push_back(clock.Now() - clock.Now() % 60);
            return true;
        };
        ctx.pClock = &clock;
        ctx.fnRulesOf = [&](const CTaskItem&) -> CResult<CTaskRules> { return rules; };
        CSendEmailDlg host(std::move(ctx));
        for (time_t t = c.tFrom; t < c.tFrom + 3 * 3600; t += 20) {
            clock.Set(t);
            host.OnTimer();
        }
        EXPECT_EQ(vecSent, c.vecSent);
    }
}
