#pragma once
#include <string>

#include "IPasswordStore.h"

// The password as the first line of one file that only the user may read:
// a file others can read is refused rather than used, and a new one is
// 0600 from its creation on. The file holds one password, so the key is
// not used.
class CFilePasswordStore : public IPasswordStore {
public:
    explicit CFilePasswordStore(std::string strPath) : m_strPath(std::move(strPath)) {}

    const std::string& Path() const { return m_strPath; }
    CResult<std::optional<std::string>> Read(const std::string& strKey) override;
    CResult<> Write(const std::string& strKey, const std::string& strPassword) override;
    CResult<> Remove(const std::string& strKey) override;

private:
    std::string m_strPath;
};
