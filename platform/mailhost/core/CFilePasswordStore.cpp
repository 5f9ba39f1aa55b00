#include "CFilePasswordStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "CFileOps.h"

namespace {

std::string OctalMode(mode_t mode) {
    char sz[8];
    std::snprintf(sz, sizeof sz, "%04o", static_cast<unsigned>(mode & 07777));
    return sz;
}

}  // namespace

CResult<std::optional<std::string>> CFilePasswordStore::Read(const std::string&) {
    struct stat st {};
    if (::stat(m_strPath.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::optional<std::string>();
        return CProblem(CFileOps::ErrnoText("password file", m_strPath));
    }
    if ((st.st_mode & 0077) != 0)
        return CProblem("password file " + m_strPath + " has mode " + OctalMode(st.st_mode) +
                        "; others can read it. Make it 0600 (chmod 600 \"" + m_strPath + "\")");
    QUILLORY_TRY_VALUE(const std::string strText, CFileOps::ReadFile(m_strPath, 4096));
    return std::optional<std::string>(strText.substr(0, strText.find_first_of("\r\n")));
}

CResult<> CFilePasswordStore::Write(const std::string&, const std::string& strPassword) {
    QUILLORY_TRY(CFileOps::MakeDirs(CFileOps::DirName(m_strPath)));
    return CFileOps::ReplaceFile(m_strPath, strPassword + "\n", 0600, CFileOps::EMode::Always);
}

CResult<> CFilePasswordStore::Remove(const std::string&) {
    if (::unlink(m_strPath.c_str()) != 0 && errno != ENOENT)
        return CProblem(CFileOps::ErrnoText("cannot remove", m_strPath));
    return {};
}
