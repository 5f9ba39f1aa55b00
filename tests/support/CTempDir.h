#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

// A fresh folder under /tmp, removed with everything in it at the end, even
// where a test took away its own permissions (MAILHOST_KEEP_TEST_DIRS=1
// keeps it for a look).
class CTempDir {
public:
    CTempDir() {
        char szTemplate[] = "/tmp/quillory-test-XXXXXX";
        if (!mkdtemp(szTemplate)) throw std::runtime_error("mkdtemp failed");
        m_strPath = szTemplate;
    }
    ~CTempDir() {
        if (std::getenv("MAILHOST_KEEP_TEST_DIRS")) return;
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::permissions(m_strPath, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(m_strPath, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(m_strPath, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string operator/(const std::string& strName) const { return m_strPath + "/" + strName; }

    static void WriteFile(const std::string& strPath, const std::string& strBytes) {
        std::ofstream out(strPath, std::ios::binary);
        out << strBytes;
        if (!out) throw std::runtime_error("cannot write " + strPath);
    }
    static std::string ReadFile(const std::string& strPath) {
        std::ifstream in(strPath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string m_strPath;
};
