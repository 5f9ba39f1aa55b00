#include "TemplateAccess.h"

#include <sys/file.h>

#include "CFileOps.h"

// The template must exist and be readable, and no other program may hold
// it locked for itself. A FIFO or a device is no template and never
// blocks the caller.
bool CanOpenTemplate(const std::string& strPath) {
    if (strPath.size() >= kMaxPath) return false;
    const auto rFd = CFileOps::OpenRegular(strPath);
    return rFd && ::flock(rFd->Get(), LOCK_SH | LOCK_NB) == 0;
}
