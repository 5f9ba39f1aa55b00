#pragma once
#include <string>

#include "CResult.h"

// Small POSIX file helpers. A problem names the path and what went wrong,
// in the words callers pass on.
class CFileOps {
public:
    // Creates strPath exclusively, writes the bytes and fsyncs the file.
    static CResult<> WriteNewSynced(const std::string& strPath, const std::string& strBytes, int nMode = 0600);
    // The same without the fsync: the bytes reach the disk later (SyncFile).
    static CResult<> WriteNew(const std::string& strPath, const std::string& strBytes, int nMode = 0600);
    static CResult<> SyncFile(const std::string& strPath);
    // Replaces strPath crash-safely: temporary file beside it, fsync, rename,
    // fsync of the folder. Readers see either the old or the new bytes.
    // The new file has nMode from its creation on (0600 for secrets).
    static CResult<> ReplaceFile(const std::string& strPath, const std::string& strBytes, int nMode = 0644);
    // The file's bytes; a file larger than nMaxBytes is a problem.
    static CResult<std::string> ReadFile(const std::string& strPath, size_t nMaxBytes);
    // At most the first nBytes of the file (all of a shorter one).
    static CResult<std::string> ReadHead(const std::string& strPath, size_t nBytes);
    static CResult<> SyncDir(const std::string& strDir);
    static CResult<> MakeDirs(const std::string& strDir);  // mode 0700 for what it creates
    // "cannot open /x: No such file or directory", from errno.
    static std::string ErrnoText(const std::string& strWhat, const std::string& strPath);
    static std::string DirName(const std::string& strPath);

private:
    // Opens strPath with nFlags and fsyncs it; strKind names it in a problem (" folder").
    static CResult<> SyncPath(const std::string& strPath, int nFlags, const std::string& strKind);
    static CResult<> WriteNewFile(const std::string& strPath, const std::string& strBytes, int nMode, bool bSync);
};
