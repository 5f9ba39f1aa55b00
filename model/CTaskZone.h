#pragma once
#include <ctime>
#include <string>
#include <utility>

#include "CResult.h"
#include "CTaskItem.h"
#include "CZoneHold.h"
#include "CZoneRules.h"

// A task whose rule is read in a zone of its own ("09:00 in
// America/New_York"), wherever the machine is. The task list keeps the next
// and the last sending time as the machine's local time, which every other
// reader of the list understands; the start, the time of day and the end
// date are the zone's. Run converts the two kept times into the zone's wall
// time, runs the schedule's computation with the zone current, and converts
// them back. A kept time the computation did not change comes back exactly
// as it was, also one the machine's clocks skip or repeat.
// Example: daily at 09:00 from 2027-03-01 in America/New_York, on a machine
// in Europe/Berlin: the next sending times kept are 15:00 on most days and
// 14:00 from 14 to 27 March, when New York has moved its clocks and Berlin
// not yet; each is 09:00 in New York.
class CTaskZone {
public:
    // fnCompute(task) in strZone's time, or as it is when strZone is empty
    // (the machine's zone). A zone that cannot be read is the problem, and
    // the task is not touched. On a problem of fnCompute the kept times
    // are still brought back to the machine's time.
    template <class F>
    static auto Run(const std::string& strZone, CTaskItem& task, F&& fnCompute) -> decltype(fnCompute(task)) {
        if (strZone.empty()) return fnCompute(task);
        QUILLORY_TRY_VALUE(CZoneRules* const pZone, CZoneRules::Named(strZone));
        CZoneRules& machine = CZoneRules::Machine();
        QUILLORY_TRY_VALUE(const CKept kept, IntoZone(machine, *pZone, task));
        auto result = [&] {
            const CZoneHold hold(*pZone);
            return fnCompute(task);
        }();
        QUILLORY_TRY(BackToMachine(machine, *pZone, task, kept));
        return result;
    }

    // The wall time in strZone of the instant t: with t 15:00 in Berlin on
    // 2027-03-15, 10:00 in America/New_York.
    static CResult<TaskDateTime> WallTime(const std::string& strZone, time_t t);
    // The instant of a wall time in strZone, read as the schedule reads its
    // own (a repeated wall time is its earlier instant, a skipped one moves
    // on by the gap). With TaskTime::FromAbsolute, "09:00 New York = 15:00 here".
    static CResult<time_t> Absolute(const std::string& strZone, const TaskDateTime& dt);
    // An occurrence kept in the machine's time as strZone reads it, for the
    // text that names it: 19:00 on the 3rd in New York is 09:00 on the 4th
    // in Asia/Tokyo. Without a zone, the machine's time as it is; a zone
    // that cannot be read fails the task's schedule first and is told there.
    static TaskDateTime OccurrenceInZone(const std::string& strZone, const TaskDateTime& dtHere);

private:
    // The kept times as found (machine's time) and as handed to the
    // computation (the zone's), to tell what it changed.
    struct CKept {
        TaskDateTime dtNextMachine, dtLastMachine;
        TaskDateTime dtNextZone, dtLastZone;
    };
    static CResult<CKept> IntoZone(CZoneRules& machine, CZoneRules& zone, CTaskItem& task);
    static CResult<> BackToMachine(CZoneRules& machine, CZoneRules& zone, CTaskItem& task, const CKept& kept);
    // The instant of a kept time: where the machine's clocks repeat it, the
    // one of its instants that is the rule's time of day in the zone.
    static CResult<time_t> MachineInstant(CZoneRules& machine, CZoneRules& zone, const CTaskItem& task,
                                          const TaskDateTime& dt);
};
