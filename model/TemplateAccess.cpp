#include "TemplateAccess.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// The template must exist and be readable, and no other program may hold
// it locked for itself.
bool CanOpenTemplate(const std::string& strPath) {
    if (strPath.size() >= kMaxPath) return false;
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool bFree = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    ::close(fd);
    return bFree;
}
