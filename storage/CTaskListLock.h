#pragma once
#include <string>

#include "COwnedFd.h"
#include "CResult.h"

// Who may write a task list file. A connected add-in holds an exclusive
// flock on "<task list>.lock" beside the file and serves every change on a
// Unix socket named for the file; a command-line change that finds no add-in
// answering takes the same lock for the length of its write. The kernel
// drops the lock when its holder ends in any way, so a killed holder never
// blocks the next one.
//
// Example: with the task list /home/ana/.local/share/.../emails.dat the lock
// file is .../emails.dat.lock, and the socket is
// $XDG_RUNTIME_DIR/quillory-<16 hex digits>.sock, the digits a hash of the
// file's canonical path, so two data directories never share a socket.
class CTaskListLock {
public:
    enum class EState {
        kHeld,  // this object holds the lock
        kBusy,  // another process holds it; HolderPid() names it when known
    };

    CTaskListLock() = default;
    ~CTaskListLock() { Release(); }
    CTaskListLock(const CTaskListLock&) = delete;
    CTaskListLock& operator=(const CTaskListLock&) = delete;

    // One attempt, without waiting. A holder writes its pid into the lock
    // file, for the messages of whoever finds it busy. The problem is a lock
    // file that cannot be opened or locked ("cannot open /d/emails.dat.lock:
    // Permission denied").
    CResult<EState> TryAcquire(const std::string& strTaskFile);
    // Attempts until nWaitMs have passed; a holder that only writes the file
    // (the command-line tool) lets go within that time.
    CResult<EState> Acquire(const std::string& strTaskFile, int nWaitMs);
    void Release();
    // Records where the holder serves changes, beside its pid, so that a
    // tool run with another environment (cron has no $XDG_RUNTIME_DIR)
    // still finds it.
    void RecordSocket(const std::string& strSocketPath);

    bool IsHeld() const { return static_cast<bool>(m_fd); }
    // What the holder that made the last attempt fail recorded: its pid (0
    // when unknown) and its socket (empty when none).
    long HolderPid() const { return m_nHolderPid; }
    const std::string& HolderSocket() const { return m_strHolderSocket; }

    static std::string LockPathOf(const std::string& strTaskFile) { return strTaskFile + ".lock"; }

    // Where the add-in serving strTaskFile listens: in $XDG_RUNTIME_DIR when
    // it is a folder of this user that nobody else may enter, else in
    // /tmp/quillory-<uid>, made with mode 0700 and checked the same way,
    // else (another user made that one) in $XDG_CACHE_HOME/quillory (else
    // ~/.cache/quillory), made and checked alike; *pstrNotice then says why
    // ("/tmp/quillory-1000: belongs to another user; the quillory tool's
    // socket is in /home/ana/.cache/quillory instead").
    static CResult<std::string> SocketPathOf(const std::string& strTaskFile, std::string* pstrNotice = nullptr);

private:
    COwnedFd m_fd;
    long m_nHolderPid = 0;
    std::string m_strHolderSocket;
};
