#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "COwnedFd.h"
#include "CResult.h"

// The one small file layer every part of the system reads and writes its
// files through. A problem names the path and what went wrong, in the words
// callers pass on. A file named by a user, a request or another file may be
// anything: it is opened without blocking and read only when it is a regular
// file, so a FIFO or a device is a problem ("not a regular file (a FIFO): ..."),
// never a hang. What holds the user's mail or schedule is private: new files
// 0600, new folders 0700, whatever the umask.
class CFileOps {
public:
    // Whether the last component of a path may be a symbolic link.
    enum class ELinks {
        Follow,  // a link is followed to what it names (files the user points at)
        Refuse   // a link is a problem (the system's own state, locks)
    };
    // The mode a replaced file gets.
    enum class EMode {
        KeepExisting,  // an existing file keeps its mode (a chmod 640 survives); a new one gets nMode
        Always         // always nMode (secrets)
    };

    // strPath opened for reading, a regular file, without blocking on a FIFO.
    static CResult<COwnedFd> OpenRegular(const std::string& strPath, ELinks links = ELinks::Follow);
    // strPath opened for reading and writing, created 0600 when missing, never
    // through a symbolic link and only when it is a regular file (lock files).
    static CResult<COwnedFd> OpenPrivate(const std::string& strPath);
    // Creates strPath exclusively, writes the bytes and fsyncs the file.
    static CResult<> WriteNewSynced(const std::string& strPath, const std::string& strBytes, int nMode = 0600);
    // The same without the fsync: the bytes reach the disk later (SyncFile).
    static CResult<> WriteNew(const std::string& strPath, const std::string& strBytes, int nMode = 0600);
    static CResult<> SyncFile(const std::string& strPath);
    // Replaces strPath crash-safely: temporary file beside it, fsync, rename,
    // fsync of the folder. Readers see either the old or the new bytes. The
    // temporary file has its final mode from its creation on, so a secret is
    // never readable by others, not even for a moment.
    static CResult<> ReplaceFile(const std::string& strPath, const std::string& strBytes, int nMode = 0600,
                                 EMode mode = EMode::KeepExisting);
    // The same for a writer that streams a large file in slices: fnWrite
    // writes to the temporary file's descriptor; its problem (or a failed
    // write) leaves strPath as it was.
    using CWriter = std::function<CResult<>(int fd, const std::string& strTemp)>;
    static CResult<> ReplaceWith(const std::string& strPath, const CWriter& fnWrite, int nMode = 0600,
                                 EMode mode = EMode::KeepExisting);
    // The temporary files a replace leaves in strDir when its process is
    // killed before the rename (".emails.dat.tmp-4711-0"), of the files
    // fnOurs names (by file name) and of processes no longer running,
    // removed; their paths, for whoever tells the user. One of a running
    // process may still become its file, and is left.
    // Whether process nPid may still write: there, not exiting (a killed one
    // lets go of its locks before it is a zombie) and not a zombie its parent
    // has yet to collect. Another user's process answers EPERM: running.
    static bool IsRunning(pid_t nPid);
    static std::vector<std::string> RemoveStrayTemporaries(const std::string& strDir,
                                                           const std::function<bool(const std::string&)>& fnOurs);
    // Writes all of sv, again after an interruption; false when it cannot (errno says why).
    static bool WriteAll(int fd, std::string_view sv);
    // The mode a file replacing strPath gets: strPath's own when it is a
    // regular file and mode keeps it, else nNewMode. Writers that stream a
    // temporary file of their own set it with fchmod.
    static int ModeForReplacing(const std::string& strPath, int nNewMode, EMode mode = EMode::KeepExisting);
    // The file's bytes; a file larger than nMaxBytes, or not a regular file, is a problem.
    static CResult<std::string> ReadFile(const std::string& strPath, size_t nMaxBytes, ELinks links = ELinks::Follow);
    // At most the first nBytes of the file (all of a shorter one); like
    // ReadFile, only a regular file is read.
    static CResult<std::string> ReadHead(const std::string& strPath, size_t nBytes);
    // The rest of an open file's bytes; strPath names it in a problem.
    static CResult<std::string> ReadAll(int fd, const std::string& strPath, size_t nMaxBytes);
    // Whether nothing is at strPath. Readers that take "no file yet" as empty
    // ask this after a failed read, so a file that is there but cannot be read
    // (no permission, a FIFO, a dangling link, an I/O error) stays a problem,
    // and so does a path through something that is not a folder: the folder
    // was replaced, and what was kept in it is not known to be none.
    static bool IsAbsent(const std::string& strPath);
    static CResult<> SyncDir(const std::string& strDir);
    // Creates the folder and every missing one above it, 0700 whatever the umask.
    static CResult<> MakeDirs(const std::string& strDir);
    // "cannot open /x: No such file or directory", from errno.
    static std::string ErrnoText(const std::string& strWhat, const std::string& strPath);
    static std::string DirName(const std::string& strPath);

private:
    // A problem unless fd is a regular file, naming what it is instead.
    static CResult<> CheckRegular(int fd, const std::string& strPath);
    // Opens strPath with nFlags and fsyncs it; strKind names it in a problem (" folder").
    static CResult<> SyncPath(const std::string& strPath, int nFlags, const std::string& strKind);
    static CResult<> WriteNewFile(const std::string& strPath, const std::string& strBytes, int nMode, bool bSync);
};
