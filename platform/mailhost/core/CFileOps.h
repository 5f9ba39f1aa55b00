#pragma once
#include <string>

// Small POSIX file helpers with the error text callers pass on. Every
// function returns an empty string on success, otherwise the problem.
class CFileOps {
public:
    // Creates strPath exclusively, writes the bytes and fsyncs the file.
    static std::string WriteNewSynced(const std::string& strPath, const std::string& strBytes, int nMode = 0600);
    // Replaces strPath crash-safely: temporary file beside it, fsync, rename,
    // fsync of the folder. Readers see either the old or the new bytes.
    // The new file has nMode from its creation on (0600 for secrets).
    static std::string ReplaceFile(const std::string& strPath, const std::string& strBytes, int nMode = 0644);
    static std::string ReadFile(const std::string& strPath, std::string& strBytes, size_t nMaxBytes);
    static std::string SyncDir(const std::string& strDir);
    static std::string MakeDirs(const std::string& strDir);  // mode 0700 for what it creates
    static std::string ErrnoText(const std::string& strWhat, const std::string& strPath);
    static std::string DirName(const std::string& strPath);
};
