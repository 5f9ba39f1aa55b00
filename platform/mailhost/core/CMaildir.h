#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "CResult.h"

// One Maildir folder (tmp/, new/, cur/). An id is a file's base name, the
// part before the ":2," info, so flag changes and moves keep it. Files are
// written in tmp/, fsynced and renamed into place, as other Maildir readers
// expect. Not thread-safe: the store serialises access.
//
// Where each id's file is (new/ or cur/, and its flags) is remembered, so a
// lookup costs one access() rather than a listing of the folder, which grows
// with every message kept. Another program may move, flag or drop files
// meanwhile: a remembered file that is gone, or an id not known, makes the
// lookup read the folder again.
class CMaildir {
public:
    explicit CMaildir(std::string strRoot) : m_strRoot(std::move(strRoot)) {}

    const std::string& Root() const { return m_strRoot; }
    CResult<> Create() const;

    // A new entry; into new/ (unseen) or cur/ with the given flags (e.g. "S").
    // Gives the new entry's id.
    CResult<std::string> Add(const std::string& strBytes, bool bIntoNew, const std::string& strFlags) const;
    // The same into cur/, without waiting for the disk: Sync makes it
    // durable later (one gone meanwhile is no problem), unless Discard
    // removes it first.
    CResult<std::string> AddUnsynced(const std::string& strBytes, const std::string& strFlags) const;
    CResult<> Sync(const std::string& strId) const;
    CResult<> Replace(const std::string& strId, const std::string& strBytes) const;
    CResult<std::string> Read(const std::string& strId) const;
    // The first nBytes of the entry: enough for its header fields.
    CResult<std::string> ReadHead(const std::string& strId, size_t nBytes) const;
    CResult<> Remove(const std::string& strId) const;
    // Removes without waiting for the disk: only for a copy whose return
    // after a power cut does no harm (a draft of a message already queued).
    CResult<> Discard(const std::string& strId) const;
    // Moves the file into target keeping its id where free; cur/ there.
    // Gives its id in target.
    CResult<std::string> MoveTo(const std::string& strId, const CMaildir& target, const std::string& strFlags) const;

    std::vector<std::string> List() const;  // oldest first, stable
    bool Exists(const std::string& strId) const { return !FindPath(strId).empty(); }
    // Whether this process has seen or made a file with the id here, without
    // reading the folder again (after the first time).
    bool IsKnown(const std::string& strId) const;
    std::string Flags(const std::string& strId) const;
    std::string FindPath(const std::string& strId) const;  // empty if absent

    static bool IsValidId(const std::string& strId);
    static std::string NewUniqueName();
    static constexpr size_t kMaxMessageBytes = 64u << 20;

private:
    CProblem NoMessage(const std::string& strId) const;
    CResult<> Unlink(const std::string& strId, bool bDurable) const;
    CResult<std::string> AddFile(const std::string& strBytes, bool bIntoNew, const std::string& strFlags,
                                 bool bDurable) const;
    // (sub-folder, file name) for each entry of new/ then cur/; remembers
    // where each id is.
    std::vector<std::pair<const char*, std::string>> Scan() const;

    std::string m_strRoot;
    mutable std::map<std::string, std::string> m_mapPaths;  // id -> path of its file
    mutable bool m_bScanned = false;
};
