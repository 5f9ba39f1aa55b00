#pragma once
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "CResult.h"
#include "CTaskHistory.h"
#include "CTaskItem.h"

class IClock;

// The task history kept as "history.json" beside the task list (which it
// leaves alone), replaced whole on each save through a temporary file and
// a rename. A file that cannot be read or parsed leaves the history empty;
// before the first save replaces it, the original is kept beside it as
// CDamagedCopy names it, and when that copy cannot be made the file is not
// replaced at all.
//
//   {"version": 1, "tasks": {"Report-20261207.oft": [
//       {"kind": "sent", "occurrence": "2026-12-07 09:00", "messageId": "...",
//        "text": "to 1 recipient(s)", "when": 1796634000}]}}
class CTaskHistoryFile {
public:
    static constexpr const char* kFileName = "history.json";

    CTaskHistoryFile(std::string strPath, const IClock& clock) : m_strPath(std::move(strPath)), m_clock(clock) {}

    // Reads the file; none yet is an empty history. The problem, for a
    // file that is there but unusable, says why ("history.json: ...").
    CResult<> Load();
    // Drops the tasks no longer in list and replaces the file.
    CResult<> Save(const CTaskList& list);

    CTaskHistory& History() { return m_history; }
    const CTaskHistory& History() const { return m_history; }
    const std::string& Path() const { return m_strPath; }

    static std::string ToJsonText(const CTaskHistory& history);
    // Any text that is not a valid history, wrongly typed members included,
    // is a problem: {"version":"1","tasks":{}} or a record with "kind":5.
    static CResult<CTaskHistory> FromJsonText(const std::string& strText);
    // The history beside the task list strTaskFile, read only (a damaged one
    // is named, not kept aside), for readers beside a running add-in; the
    // problem says why it is not known ("no history.json", "...: not JSON").
    static CResult<CTaskHistory> ReadBeside(const std::string& strTaskFile);
    // A history larger than this is damaged (it keeps a few results per task).
    static constexpr size_t kMaxBytes = 64u << 20;

private:
    static CResult<CTaskHistory> FromJson(const nlohmann::json& json);

    std::string m_strPath;
    const IClock& m_clock;
    CTaskHistory m_history;
    bool m_bKeepOriginal = false;  // the file on disk did not load and is not replaced blindly
};

// The add-in's history while connected, null otherwise; the add-in owns it.
extern CTaskHistoryFile* g_pTaskHistory;
