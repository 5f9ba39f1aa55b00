#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

// A fresh folder under /tmp, removed with everything in it at the end.
class CTempDir {
public:
    CTempDir() {
        char szTemplate[] = "/tmp/mailhost-test-XXXXXX";
        if (!mkdtemp(szTemplate)) throw std::runtime_error("mkdtemp failed");
        m_strPath = szTemplate;
    }
    ~CTempDir() {
        std::error_code ec;
        if (!std::getenv("MAILHOST_KEEP_TEST_DIRS")) std::filesystem::remove_all(m_strPath, ec);
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
