#pragma once
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "CResult.h"
#include "CTaskHistory.h"
#include "CTaskItem.h"

class IClock;

// What is kept of each task beside the task list, which holds only what
// its fixed records can: the task's identity, its last results and its
// settings of our own, in "tasks.json", replaced whole on each save
// through a temporary file and a rename. A task is found by its key (the
// file name of its template, see CTaskHistory::KeyOf); its identity is a
// random word given once and kept while the key moves with the task
// (Follow) and when its list is saved again, so whatever refers to a task
// from elsewhere keeps referring to the same one.
//
//   {"version": 2, "tasks": {"Report-20261207.oft": {"id": "5f0c2a9e41b7d318",
//       "history": [{"kind": "sent", "occurrence": "2026-12-07 09:00", "messageId": "...",
//                    "text": "to 1 recipient(s)", "when": 1796634000}],
//       "settings": {}}}}
//
// An entry may also hold "ahead": settings that go with a change of the
// list being saved (see CEntry::jAhead).
//
// A file that cannot be read or parsed leaves the store empty; before the
// first save replaces it, the original is kept beside it as CDamagedCopy
// names it, and when that copy cannot be made the file is not replaced at
// all. An earlier "history.json" (version 1: the results alone) is read
// when there is no "tasks.json" yet, and removed once its content is saved
// in the new file.
class CTaskHistoryFile {
public:
    static constexpr const char* kFileName = "tasks.json";
    static constexpr const char* kEarlierFileName = "history.json";

    // What the store holds of one task besides its results.
    struct CEntry {
        std::string strId;
        nlohmann::json jSettings = nlohmann::json::object();
        // Settings written ahead of a task list save, with the task's record
        // as that save gives it ({"settings": {...}, "record": {...}}): they
        // hold once the list holds the record. Null when there are none.
        nlohmann::json jAhead = nullptr;
        bool operator==(const CEntry&) const = default;
    };
    struct CContent {
        CTaskHistory history;
        std::map<std::string, CEntry> mapEntries;  // by key
        bool operator==(const CContent&) const = default;
    };

    // strPath: the store's file, kFileName in the task list's folder.
    CTaskHistoryFile(std::string strPath, const IClock& clock) : m_strPath(std::move(strPath)), m_clock(clock) {}

    // Reads the file (or the earlier one); none yet is an empty store. The
    // problem, for a file that is there but unusable, says why ("tasks.json: ...").
    CResult<> Load();
    // Drops the tasks no longer in list, gives every task of it an identity,
    // and replaces the file. strAlsoKey keeps one more task's entry: that of
    // a task whose key changes in the list about to be saved, so that either
    // list finds its task's entry after a stop between the two files.
    CResult<> Save(const CTaskList& list, const std::string& strAlsoKey = {});

    CTaskHistory& History() { return m_content.history; }
    const CTaskHistory& History() const { return m_content.history; }
    const std::string& Path() const { return m_strPath; }
    // What is held in memory, for a writer that undoes a change it followed.
    const CContent& Content() const { return m_content; }
    void SetContent(CContent content) { m_content = std::move(content); }
    // Whether the file may hold settings ahead of the list that memory does
    // not (they were written, and no save of memory has replaced them since):
    // the next change writes the store before the list.
    bool AheadOnDisk() const { return m_bAheadOnDisk; }
    void NoteAheadOnDisk() { m_bAheadOnDisk = true; }

    // The identity of the task with this key, given now if it has none.
    const std::string& IdOf(const std::string& strKey);
    // The task's settings of our own: an object, empty when it has none.
    const nlohmann::json& SettingsOf(const std::string& strKey) const;
    void SetSettings(const std::string& strKey, nlohmann::json jSettings);
    // The task known as strFrom now has the template strTo names: its
    // identity, results and settings go with it.
    void Follow(const std::string& strFrom, const std::string& strTo);
    // strTo is a new copy of strFrom: the copy has its own identity and no
    // results, and starts with the original's settings.
    void CopySettings(const std::string& strFrom, const std::string& strTo);
    // Forgets all that is kept under strKey: a task found by it starts
    // afresh, as a new one would.
    void Forget(const std::string& strKey) {
        m_content.history.Forget(strKey);
        m_content.mapEntries.erase(strKey);
    }
    // All the store keeps of one task, taken before the task is removed so
    // that bringing it back (Undo Remove) brings back the same task.
    struct CKept {
        CEntry entry;
        std::deque<CTaskOutcome> results;
    };
    CKept Kept(const std::string& strKey) const;
    // Puts kept back under strKey, unless the store keeps something under
    // it already (the removal was never saved, or another task has the key).
    void PutBack(const std::string& strKey, const CKept& kept);

    static std::string ToJsonText(const CContent& content);
    // Any text that is not a valid store, wrongly typed members included,
    // is a problem: {"version":"2","tasks":{}} or a record with "kind":5.
    // Version 1 (results alone, by key) is read as well.
    static CResult<CContent> FromJsonText(const std::string& strText);
    // The store beside the task list strTaskFile, read only (a damaged one
    // is named, not kept aside), for readers beside a running add-in; the
    // problem says why it is not known ("no tasks.json", "...: not JSON").
    static CResult<CContent> ReadBeside(const std::string& strTaskFile);
    // Whether there is a store (or the earlier file) beside the task list
    // at all: where there is none, nothing is kept for any task.
    static bool IsBeside(const std::string& strTaskFile);
    // Its results alone, for the readers that show them.
    static CResult<CTaskHistory> HistoryBeside(const std::string& strTaskFile);
    // A store larger than this is damaged (it keeps a few results per task).
    static constexpr size_t kMaxBytes = 64u << 20;

private:
    static CResult<CContent> FromJson(const nlohmann::json& json);
    static CResult<CTaskHistory> HistoryFromJson(const nlohmann::json& json, int nVersion);
    static std::string NewId();
    static std::string EarlierPath(const std::string& strPath);

    std::string m_strPath;
    const IClock& m_clock;
    CContent m_content;
    bool m_bKeepOriginal = false;  // the file on disk did not load and is not replaced blindly
    bool m_bEarlierRead = false;   // the content came from the earlier file, removed after the first save
    bool m_bAheadOnDisk = false;   // see AheadOnDisk
};

// The add-in's store while connected, null otherwise; the add-in owns it.
extern CTaskHistoryFile* g_pTaskHistory;
