#include "CDamagedCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "CFileOps.h"

namespace {

// Copies everything from fdFrom to fdTo; false on a read or write error.
bool CopyAll(int fdFrom, int fdTo) {
    char buf[65536];
    for (;;) {
        ssize_t r = ::read(fdFrom, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) return true;
        for (ssize_t nDone = 0; nDone < r;) {
            ssize_t w = ::write(fdTo, buf + nDone, static_cast<size_t>(r - nDone));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return false;
            nDone += w;
        }
    }
}

}  // namespace

std::string CDamagedCopy::CopyName(const std::string& strPath, const TaskDateTime& stamp, int nCounter) {
    char sz[64];
    std::snprintf(sz, sizeof sz, ".damaged-%04d%02d%02d-%02d%02d%02d", stamp.nYear, stamp.nMonth, stamp.nDay,
                  stamp.nHour, stamp.nMinute, stamp.nSecond);
    std::string str = strPath + sz;
    if (nCounter > 1) str += "-" + std::to_string(nCounter);
    return str;
}

CResult<std::string> CDamagedCopy::Keep(const std::string& strPath, const TaskDateTime& stamp) {
    auto rFrom = CFileOps::OpenRegular(strPath);
    if (!rFrom) {
        if (CFileOps::IsAbsent(strPath)) return std::string();
        return CProblem("cannot keep a copy: " + rFrom.Problem());
    }
    const COwnedFd& fdFrom = *rFrom;
    // O_EXCL: an earlier copy is never written over, not even by a second
    // host saving in the same second.
    COwnedFd fdTo;
    std::string strCopy;
    for (int n = 1; n <= kMaxCounter && !fdTo; ++n) {
        strCopy = CopyName(strPath, stamp, n);
        // The user's data: private.
        fdTo.Reset(::open(strCopy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fdTo && errno != EEXIST) break;
    }
    if (!fdTo) return ErrnoProblem("cannot create " + strCopy);
    CResult<std::string> res = strCopy;
    const bool bCopied = CopyAll(fdFrom.Get(), fdTo.Get()) && ::fsync(fdTo.Get()) == 0;
    if (!bCopied) res = ErrnoProblem("cannot copy " + strPath + " to " + strCopy);
    if (fdTo.Close() != 0 && bCopied) res = ErrnoProblem("cannot write " + strCopy);
    if (!res) ::unlink(strCopy.c_str());
    return res;
}
