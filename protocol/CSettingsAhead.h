#pragma once
#include <nlohmann/json.hpp>

#include "CResult.h"
#include "CTaskHistoryFile.h"
#include "CTaskItem.h"

class CTextCodec;

// Settings a task is given under the key it keeps (rules changed with its
// values) as one change with the list, though they live in another file.
// Before the list is saved, the store is written with the old settings and
// the new ones "ahead", together with the task's record as the list is
// about to hold it. Whichever file a stop leaves behind, a task then goes
// by the settings that belong to its record: the new ones once the list
// holds the record, the old ones while it holds the one before.
//
// Example: a weekly task set to Tuesday with rules "skip on holidays"; a
// stop after the store but before the list leaves Monday with no rules; a
// stop after the list, Tuesday with the holiday rule.
class CSettingsAhead {
public:
    // task as the list file will give it back, through codec, in the form
    // an entry keeps it.
    static nlohmann::json RecordOf(const CTaskItem& task, const CTextCodec& codec);

    // Writes the store with strKey's settings as jBefore and the store's
    // present ones ahead for record (from RecordOf); the store in memory is
    // left as it was.
    static CResult<> WriteAhead(CTaskHistoryFile& store, const CTaskList& list, const std::string& strKey,
                                const nlohmann::json& jBefore, const nlohmann::json& jRecord);

    // The settings that hold for task, of its entry: those ahead where
    // task is their record, else the entry's own.
    static const nlohmann::json& For(const CTaskHistoryFile::CEntry& entry, const CTaskItem& task);

    // Every entry of store with settings ahead takes them where a task of
    // list is their record, and drops them either way: the store then
    // agrees with list without them, and is saved when an entry changed,
    // before list can change again. The problem is that save's; the store
    // in memory is settled all the same.
    static CResult<> Settle(CTaskHistoryFile& store, const CTaskList& list);
};
