#pragma once
// A hierarchical key/value store standing in for the system registry, and
// the text file that keeps it between runs.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CResult.h"

enum class ERegRoot { ClassesRoot, CurrentUser, LocalMachine };

// "HKEY_CLASSES_ROOT", ...
const char* RegRootName(ERegRoot root);
// Accepts the long names and HKCR, HKCU, HKLM, in any letter case.
std::optional<ERegRoot> ParseRegRoot(std::string_view sv);

struct CRegValue {
    enum class EType { String, Dword };
    EType eType = EType::String;
    std::string strData;
    uint32_t dwData = 0;

    static CRegValue String(std::string str) { return {EType::String, std::move(str), 0}; }
    static CRegValue Dword(uint32_t dw) { return {EType::Dword, {}, dw}; }
    friend bool operator==(const CRegValue&, const CRegValue&) = default;
};

// Key and value names compare without regard to ASCII letter case, as the
// system registry does; the case first written is kept.
struct CNoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
    static bool Equal(std::string_view a, std::string_view b);
};

struct CRegKey {
    std::map<std::string, CRegKey, CNoCaseLess> mapSubkeys;
    std::map<std::string, CRegValue, CNoCaseLess> mapValues;  // "" is the key's default value
    bool IsEmpty() const { return mapSubkeys.empty() && mapValues.empty(); }
    friend bool operator==(const CRegKey&, const CRegKey&) = default;
};

// Paths are below a root, their parts separated by backslashes ("" is the
// root itself). A part is non-empty and holds no control characters; a path
// has at most kMaxKeyDepth parts, so that the tree, which is walked and freed
// recursively, stays shallow whatever a file says.
class CRegistryStore {
public:
    static constexpr size_t kMaxKeyDepth = 512;
    // A registry file larger than this is refused; it holds a few add-ins.
    static constexpr size_t kMaxFileBytes = 16u << 20;
    static bool IsValidKeyName(std::string_view svName);

    bool KeyExists(ERegRoot root, std::string_view svPath) const { return FindKey(root, svPath) != nullptr; }
    const CRegKey* FindKey(ERegRoot root, std::string_view svPath) const;
    // Creates the key and its missing parents.
    CResult<> CreateKey(ERegRoot root, std::string_view svPath);
    // Deletes the key with everything below it; false when there was none.
    // A root itself cannot be deleted.
    bool DeleteKey(ERegRoot root, std::string_view svPath);
    // Sets a value, creating the key when missing.
    CResult<> SetValue(ERegRoot root, std::string_view svPath, const std::string& strName, CRegValue value);
    std::optional<CRegValue> GetValue(ERegRoot root, std::string_view svPath, const std::string& strName) const;
    bool DeleteValue(ERegRoot root, std::string_view svPath, const std::string& strName);
    std::vector<std::string> SubkeyNames(ERegRoot root, std::string_view svPath) const;
    std::vector<std::string> ValueNames(ERegRoot root, std::string_view svPath) const;

    // The readable text form (see CRegistry.cpp) and back. FromText's
    // problem is "line N: problem", and it leaves *this alone then.
    std::string ToText() const;
    CResult<> FromText(std::string_view svText);

    friend bool operator==(const CRegistryStore&, const CRegistryStore&) = default;

    CRegKey* FindKey(ERegRoot root, std::string_view svPath);

private:
    CRegKey m_roots[3];
};

// The registry file. Its path: $MAILHOST_REGISTRY when set, otherwise
// $XDG_CONFIG_HOME/mailhost/registry.reg (~/.config when that is unset).
// Replaced crash-safely (temporary file, fsync, rename, fsync of the folder);
// writers hold an exclusive flock on "<path>.lock" for the whole
// read-modify-write, readers a shared one.
class CRegistryFile {
public:
    explicit CRegistryFile(std::string strPath = DefaultPath()) : m_strPath(std::move(strPath)) {}
    static std::string DefaultPath();
    const std::string& Path() const { return m_strPath; }

    // Reads the file into store (a missing file is an empty registry).
    CResult<> Load(CRegistryStore& store) const;
    // Under the lock: reads the file, lets fn change the store, and writes it
    // back when fn is done (fn's problem is returned as is, and the file is
    // not touched then).
    CResult<> Update(const std::function<CResult<>(CRegistryStore&)>& fn) const;

private:
    std::string m_strPath;
};
