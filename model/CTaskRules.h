#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CWorkingDays.h"
#include "TaskCalendarFields.h"

// What a task keeps beside its schedule: rules its fixed record has no room
// for, kept in the task's entry beside the list. A task without rules (all
// members at their defaults) is sent exactly as its schedule says.
//
// Example: Monday to Friday, holidays from /home/u/holidays.ics, moved to
// the working day before; in words "Working days, before a holiday".
struct CTaskRules {
    // An occurrence on a day that is not a working day.
    enum class EOnDayOff { Send, Before, After, Skip };
    // An attachment entry that matches no file at sending.
    enum class ENothingAttached { Send, Skip, Wait };
    // Occurrences whose time passed while nothing ran.
    enum class EMissed { Each, Latest, None };

    uint8_t nWorkingDays = CWorkingDays::kMondayToFriday;
    std::vector<std::string> vecHolidayFiles;
    EOnDayOff eOnDayOff = EOnDayOff::Send;
    std::string strZone;  // empty: the machine's zone
    ENothingAttached eNothingAttached = ENothingAttached::Send;
    int nWaitMinutes = 0;          // Wait: how often it is tried again
    int nWaitDeadlineMinutes = 0;  // Wait: how long after the occurrence, at most
    // Wait: what becomes of the occurrence when the deadline passes with
    // an entry still matching nothing (Send or Skip; never Wait).
    ENothingAttached eWaitThen = ENothingAttached::Skip;
    EMissed eMissed = EMissed::Each;
    TaskDate pauseUntil;     // not set: no pause; set: nothing goes out before this day
    bool bSkipNext = false;  // the next occurrence is used up unsent, once

    bool IsEmpty() const { return *this == CTaskRules{}; }
    // Whether other puts occurrences at the same times: the same working
    // days, holidays, day-off handling and zone. The other rules only judge
    // an occurrence once it is due (missed, pause, skip the next, waiting
    // for attachments).
    bool PlacesAlike(const CTaskRules& other) const {
        return nWorkingDays == other.nWorkingDays && vecHolidayFiles == other.vecHolidayFiles &&
               eOnDayOff == other.eOnDayOff && strZone == other.strZone;
    }
    bool operator==(const CTaskRules&) const = default;

    // The words of each choice, for files, the tool's options and its
    // output; the index is the enum's value. Named() is the inverse.
    static constexpr std::array<const char*, 4> kOnDayOffWords = {"send", "before", "after", "skip"};
    static constexpr std::array<const char*, 3> kNothingAttachedWords = {"send", "skip", "wait"};
    static constexpr std::array<const char*, 3> kMissedWords = {"each", "latest", "none"};
    template <class E, size_t N>
    static std::optional<E> Named(const std::string& str, const std::array<const char*, N>& arrWords) {
        for (size_t i = 0; i < N; ++i)
            if (str == arrWords[i]) return static_cast<E>(i);
        return std::nullopt;
    }
    template <class E, size_t N>
    static const char* Word(E e, const std::array<const char*, N>& arrWords) {
        return arrWords[static_cast<size_t>(e)];
    }

    // The rules in the Schedule column's words, empty without rules:
    // "Working days, before a holiday", "09:00 America/New_York",
    // "Only the latest missed", "Paused until 2027-01-11", "Skips the next".
    std::string Summary() const;
};
