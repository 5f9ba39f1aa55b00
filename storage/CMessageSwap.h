#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "CResult.h"

// A template given a new message under its own file name (a set keeps the
// name the task's history goes by) while the change waits for the task
// list to be saved. The old message waits aside, and a note beside it
// names the list file as it was: a save replaces that file (a new inode),
// so the file itself says afterwards whether the change was made. Whoever
// takes the list's lock next settles the notes a stopped writer left: the
// list saved since, the old message goes; not saved, it comes back. The
// message then always agrees with the values the list holds.
//
// Example: a set of "Report" writes ".quillory-swap-<stamp>-<pid>" naming
// "Report 20261207090000.oft", its aside ".quillory-aside-<stamp>-<pid>.oft"
// and "emails.dat" as inode 1234. Killed before the save, the next start
// finds emails.dat still inode 1234 and puts the old message back.
class CMessageSwap {
public:
    struct CNote {
        std::string strTemplate;  // file names in the data folder
        std::string strAside;     // empty: the template had no file to set aside
        std::string strNew;       // where the new message came from
        std::string strList;
        std::string strListId;  // "<dev>:<ino>" of the list before the change; "none" when there was none
        bool operator==(const CNote&) const = default;
    };
    // What one swap leaves until it is saved or undone.
    struct CSwap {
        std::string strNote, strTemplate, strAside, strNew;  // paths
    };

    // Notes the swap, sets the template's message aside and moves strNew
    // into its place. The problem leaves every file as it was.
    static CResult<CSwap> Begin(const std::string& strDataDir, const std::string& strListFile,
                                const std::string& strTemplate, const std::string& strNew);
    // The list holding the change is saved: the old message and the note go.
    static void Finish(const CSwap& swap);
    // The list was not saved and is put back: the new message returns to
    // strNew and the old one to its place.
    static void Undo(const CSwap& swap);
    // Settles every note in strDataDir, newest first (a later swap of the
    // same template set aside what an earlier one put in place). fnTell
    // hears what was done, and a note that cannot be settled, which stays.
    // The temporary files of replaces a stopped writer left go first.
    static void Settle(const std::string& strDataDir, const std::function<void(const std::string&)>& fnTell);

    // A note's bytes: a word and five fields, each ended by a NUL, which no
    // file name holds. The problem says what is wrong with them.
    static std::string Format(const CNote& note);
    static CResult<CNote> Parse(std::string_view bytes);
    // "<dev>:<ino>" of the file at strPath, "none" when nothing is there.
    static CResult<std::string> IdOf(const std::string& strPath);

    static constexpr const char* kNotePrefix = ".quillory-swap-";
    static constexpr const char* kAsidePrefix = ".quillory-aside-";
};
