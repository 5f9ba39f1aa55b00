#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "CResult.h"
#include "CTaskItem.h"
#include "CTextCodec.h"

// The task list file "emails.dat": a task count, then per task a body
// length and a scrambled body. The byte layout is fixed; see Encode.
class CTaskListFile {
public:
    static constexpr int32_t kMaxLength = 1048576;
    static constexpr const char* kFileName = "emails.dat";

    // What a load found, damaged or not.
    struct CLoadCounts {
        bool bOpened = false;  // false: no file or not readable
        // The file is there but could not be read whole (EACCES, EIO, a
        // folder in its place): nothing may be written over it.
        bool bUnreadable = false;
        int32_t nDeclared = 0;  // task count in the header
        int nLoaded = 0;        // tasks appended
        // The first task with a text the code page does not read back as it
        // is ("task 2"), empty when there is none: the file was written in
        // another code page, and a save would write its names and paths back
        // changed. Whoever writes refuses then; readers may show it.
        std::string strNotInCodePage;
    };

    // Appends every task it can decode, in file order; stops at the first
    // damage and keeps what was read. The damage is the problem ("task 2:
    // record length 2000000 out of range"); a missing file is none, and
    // loads nothing. A file that is there but cannot be read is a problem
    // with bUnreadable set ("cannot read /x/emails.dat: Permission denied"),
    // never an empty list. pCounts, when given, receives the counts either way.
    static CResult<> LoadTaskList(const std::string& strPath, CTaskList& list, const CTextCodec& codec,
                                  CLoadCounts* pCounts = nullptr);
    // The problem of a writer that found counts.strNotInCodePage: none when it is empty.
    static CResult<> CheckCodePage(const CLoadCounts& counts, const CTextCodec& codec);
    static CResult<> LoadFromBytes(const std::vector<uint8_t>& vecBytes, CTaskList& list, const CTextCodec& codec,
                                   CLoadCounts* pCounts = nullptr);

    // Replaces the file crash-safely (a temporary file of its own in the same
    // folder, fsync, rename). An empty list removes the file. On a problem
    // the old file is left as it was. A task whose record would be longer
    // than kMaxLength is such a problem ("task 2 (Report): record length
    // 1048577 over the limit of 1048576 bytes"): the reader would stop there
    // and lose it and every task after it.
    static CResult<> SaveTaskList(const std::string& strPath, const CTaskList& list, const CTextCodec& codec);

    // The body length L the task's record would have in the file, its texts
    // converted to the code page; a task is storable while L <= kMaxLength.
    static size_t RecordLength(const CTaskItem& task, const CTextCodec& codec);

    // The file image of the list as given, over-long records included (tests
    // build damaged files with it).
    static std::vector<uint8_t> Encode(const CTaskList& list, const CTextCodec& codec);
    static void Scramble(uint8_t* p, size_t n);
    static void Unscramble(uint8_t* p, size_t n);
};
