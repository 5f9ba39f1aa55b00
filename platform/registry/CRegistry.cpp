// Text form of the registry, one section per key in tree order:
//
//   ; mailhost registry
//   [HKEY_CLASSES_ROOT\CLSID\{1C0E03BF-A359-4ADF-96EB-E0D4D6816143}]
//   @="Addin Class"
//   "AppID"="{2ED2A63A-8F49-441E-BE56-E25EC2C23AD8}"
//   "LoadBehavior"=dword:00000003
//
// Strings are in double quotes with \\, \", \n, \r and \t escaped; @ is the
// default value. Blank lines and lines starting with ';' are ignored.
#include "CRegistry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "CFileOps.h"

namespace {

constexpr ERegRoot kRoots[] = {ERegRoot::ClassesRoot, ERegRoot::CurrentUser, ERegRoot::LocalMachine};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::vector<std::string_view> SplitPath(std::string_view sv) {
    std::vector<std::string_view> parts;
    if (sv.empty()) return parts;
    size_t start = 0;
    for (;;) {
        size_t pos = sv.find('\\', start);
        parts.push_back(sv.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
        if (pos == std::string_view::npos) break;
        start = pos + 1;
    }
    return parts;
}

std::string Quote(std::string_view sv) {
    std::string out = "\"";
    for (char c : sv) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

// Reads a quoted string at sv[pos] ('"'); pos moves past it.
std::optional<std::string> Unquote(std::string_view sv, size_t& pos) {
    if (pos >= sv.size() || sv[pos] != '"') return std::nullopt;
    std::string out;
    for (++pos; pos < sv.size(); ++pos) {
        char c = sv[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (++pos >= sv.size()) return std::nullopt;
            switch (sv[pos]) {
                case '\\': out += '\\'; break;
                case '"': out += '"'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                default: return std::nullopt;
            }
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

void WriteKey(std::string& out, const std::string& strPath, const CRegKey& key, bool bIsRoot) {
    if (!bIsRoot || !key.mapValues.empty()) {
        out += "[" + strPath + "]\n";
        for (const auto& [strName, value] : key.mapValues) {
            out += strName.empty() ? std::string("@") : Quote(strName);
            out += "=";
            if (value.eType == CRegValue::EType::Dword) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", value.dwData);
                out += buf;
            } else {
                out += Quote(value.strData);
            }
            out += "\n";
        }
        out += "\n";
    }
    for (const auto& [strName, sub] : key.mapSubkeys) WriteKey(out, strPath + "\\" + strName, sub, false);
}

std::string Errno(const std::string& strWhat) { return strWhat + ": " + std::strerror(errno); }

// Holds an flock on a lock file for its lifetime.
class CFileLock {
public:
    CFileLock(const std::string& strPath, int nOp) {
        // Never through a link: another user must not steer what is opened.
        auto rFd = CFileOps::OpenPrivate(strPath);
        if (!rFd) {
            m_held = CProblem("lock file: " + rFd.Problem());
            return;
        }
        m_fd = std::move(rFd).Value();
        while (::flock(m_fd.Get(), nOp) != 0) {
            if (errno == EINTR) continue;
            m_held = CProblem(Errno("cannot lock " + strPath));
            return;
        }
    }
    // Done when the lock is held.
    const CResult<>& Held() const { return m_held; }

private:
    COwnedFd m_fd;  // closing drops the lock
    CResult<> m_held;
};

// The file's text, or nothing when there is no file.
CResult<std::optional<std::string>> ReadWhole(const std::string& strPath) {
    CResult<std::string> rText = CFileOps::ReadFile(strPath, CRegistryStore::kMaxFileBytes);
    if (!rText && CFileOps::IsAbsent(strPath)) return std::optional<std::string>();
    if (!rText) return rText.TakeProblem();
    return std::optional<std::string>(std::move(*rText));
}

}  // namespace

const char* RegRootName(ERegRoot root) {
    switch (root) {
        case ERegRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
        case ERegRoot::CurrentUser: return "HKEY_CURRENT_USER";
        case ERegRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
    }
    return "";
}

std::optional<ERegRoot> ParseRegRoot(std::string_view sv) {
    if (CNoCaseLess::Equal(sv, "HKCR") || CNoCaseLess::Equal(sv, "HKEY_CLASSES_ROOT")) return ERegRoot::ClassesRoot;
    if (CNoCaseLess::Equal(sv, "HKCU") || CNoCaseLess::Equal(sv, "HKEY_CURRENT_USER")) return ERegRoot::CurrentUser;
    if (CNoCaseLess::Equal(sv, "HKLM") || CNoCaseLess::Equal(sv, "HKEY_LOCAL_MACHINE")) return ERegRoot::LocalMachine;
    return std::nullopt;
}

bool CNoCaseLess::Equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool CNoCaseLess::operator()(const std::string& a, const std::string& b) const {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char x = Lower(a[i]), y = Lower(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
}

bool CRegistryStore::IsValidKeyName(std::string_view sv) {
    if (sv.empty() || sv.size() > 255) return false;
    for (char c : sv)
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    return true;
}

const CRegKey* CRegistryStore::FindKey(ERegRoot root, std::string_view svPath) const {
    return const_cast<CRegistryStore*>(this)->FindKey(root, svPath);
}

CRegKey* CRegistryStore::FindKey(ERegRoot root, std::string_view svPath) {
    CRegKey* pKey = &m_roots[static_cast<int>(root)];
    for (auto part : SplitPath(svPath)) {
        auto it = pKey->mapSubkeys.find(std::string(part));
        if (it == pKey->mapSubkeys.end()) return nullptr;
        pKey = &it->second;
    }
    return pKey;
}

CResult<> CRegistryStore::CreateKey(ERegRoot root, std::string_view svPath) {
    auto parts = SplitPath(svPath);
    if (parts.size() > kMaxKeyDepth)
        return CProblem("key nested " + std::to_string(parts.size()) + " levels deep, more than " +
                        std::to_string(kMaxKeyDepth));
    for (auto part : parts)
        if (!IsValidKeyName(part))
            return CProblem("invalid key path \"" + std::string(svPath.substr(0, 200)) +
                            (svPath.size() > 200 ? "...\"" : "\""));
    CRegKey* pKey = &m_roots[static_cast<int>(root)];
    for (auto part : parts) pKey = &pKey->mapSubkeys[std::string(part)];
    return {};
}

bool CRegistryStore::DeleteKey(ERegRoot root, std::string_view svPath) {
    auto parts = SplitPath(svPath);
    if (parts.empty()) return false;
    std::string_view svLast = parts.back();
    std::string_view svParent = svPath.substr(0, svPath.size() - svLast.size());
    if (!svParent.empty()) svParent.remove_suffix(1);
    CRegKey* pParent = FindKey(root, svParent);
    if (!pParent) return false;
    return pParent->mapSubkeys.erase(std::string(svLast)) > 0;
}

CResult<> CRegistryStore::SetValue(ERegRoot root, std::string_view svPath, const std::string& strName,
                                   CRegValue value) {
    QUILLORY_TRY(CreateKey(root, svPath));
    CRegKey* pKey = FindKey(root, svPath);
    auto it = pKey->mapValues.find(strName);
    if (it != pKey->mapValues.end()) it->second = std::move(value);
    else pKey->mapValues.emplace(strName, std::move(value));
    return {};
}

std::optional<CRegValue> CRegistryStore::GetValue(ERegRoot root, std::string_view svPath,
                                                  const std::string& strName) const {
    const CRegKey* pKey = FindKey(root, svPath);
    if (!pKey) return std::nullopt;
    auto it = pKey->mapValues.find(strName);
    if (it == pKey->mapValues.end()) return std::nullopt;
    return it->second;
}

bool CRegistryStore::DeleteValue(ERegRoot root, std::string_view svPath, const std::string& strName) {
    CRegKey* pKey = FindKey(root, svPath);
    return pKey && pKey->mapValues.erase(strName) > 0;
}

std::vector<std::string> CRegistryStore::SubkeyNames(ERegRoot root, std::string_view svPath) const {
    std::vector<std::string> names;
    if (const CRegKey* pKey = FindKey(root, svPath))
        for (const auto& entry : pKey->mapSubkeys) names.push_back(entry.first);
    return names;
}

std::vector<std::string> CRegistryStore::ValueNames(ERegRoot root, std::string_view svPath) const {
    std::vector<std::string> names;
    if (const CRegKey* pKey = FindKey(root, svPath))
        for (const auto& entry : pKey->mapValues) names.push_back(entry.first);
    return names;
}

std::string CRegistryStore::ToText() const {
    std::string out = "; mailhost registry\n\n";
    for (ERegRoot root : kRoots) WriteKey(out, RegRootName(root), m_roots[static_cast<int>(root)], true);
    return out;
}

CResult<> CRegistryStore::FromText(std::string_view svText) {
    CRegistryStore store;
    std::optional<ERegRoot> curRoot;
    std::string strCurPath;
    int nLine = 0;
    auto fail = [&](const std::string& s) { return CProblem("line " + std::to_string(nLine) + ": " + s); };
    while (!svText.empty()) {
        size_t eol = svText.find('\n');
        std::string_view line = svText.substr(0, eol);
        svText.remove_prefix(eol == std::string_view::npos ? svText.size() : eol + 1);
        ++nLine;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == 0 || close == std::string_view::npos || close != line.size() - 1)
                return fail("malformed key line");
            std::string_view svFull = line.substr(1, close - 1);
            size_t slash = svFull.find('\\');
            auto root = ParseRegRoot(svFull.substr(0, slash));
            if (!root) return fail("unknown root key");
            curRoot = root;
            strCurPath = slash == std::string_view::npos ? std::string() : std::string(svFull.substr(slash + 1));
            if (CResult<> r = store.CreateKey(*root, strCurPath); !r) return fail(r.Problem());
            continue;
        }
        if (!curRoot) return fail("value outside of a key");
        size_t pos = 0;
        std::string strName;
        if (line[0] == '@') {
            pos = 1;
        } else {
            auto name = Unquote(line, pos);
            if (!name) return fail("malformed value name");
            if (name->empty()) return fail("empty value name (the default value is written @)");
            strName = *name;
        }
        if (pos >= line.size() || line[pos] != '=') return fail("'=' expected");
        ++pos;
        CRegValue value;
        if (line.substr(pos, 6) == "dword:") {
            std::string_view svHex = line.substr(pos + 6);
            if (svHex.size() != 8) return fail("a dword is written with 8 hex digits");
            uint32_t dw = 0;
            for (char c : svHex) {
                int d = (c >= '0' && c <= '9')                 ? c - '0'
                        : (Lower(c) >= 'a' && Lower(c) <= 'f') ? Lower(c) - 'a' + 10
                                                               : -1;
                if (d < 0) return fail("malformed dword");
                dw = (dw << 4) | static_cast<uint32_t>(d);
            }
            value = CRegValue::Dword(dw);
        } else {
            auto data = Unquote(line, pos);
            if (!data || pos != line.size()) return fail("malformed string value");
            value = CRegValue::String(*data);
        }
        if (store.GetValue(*curRoot, strCurPath, strName)) return fail("value given twice");
        if (CResult<> r = store.SetValue(*curRoot, strCurPath, strName, std::move(value)); !r) return fail(r.Problem());
    }
    *this = std::move(store);
    return {};
}

std::string CRegistryFile::DefaultPath() {
    if (const char* psz = std::getenv("MAILHOST_REGISTRY"); psz && *psz) return psz;
    std::string strBase;
    if (const char* psz = std::getenv("XDG_CONFIG_HOME"); psz && *psz == '/') {
        strBase = psz;
    } else {
        const char* pszHome = std::getenv("HOME");
        if (!pszHome || !*pszHome) {
            if (const passwd* pw = ::getpwuid(::getuid())) pszHome = pw->pw_dir;
        }
        strBase = std::string(pszHome ? pszHome : ".") + "/.config";
    }
    return strBase + "/mailhost/registry.reg";
}

CResult<> CRegistryFile::Load(CRegistryStore& store) const {
    // Readers need no lock where the folder is not writable: the file is
    // only ever replaced whole.
    CResult<std::optional<std::string>> rText = ReadWhole(m_strPath);
    if (!rText) return rText.TakeProblem();
    if (!rText->has_value()) {
        store = CRegistryStore();
        return {};
    }
    if (CResult<> r = store.FromText(**rText); !r) return CProblem(m_strPath + ": " + r.Problem());
    return {};
}

CResult<> CRegistryFile::Update(const std::function<CResult<>(CRegistryStore&)>& fn) const {
    // The folder is private: the registry says which module the host loads.
    QUILLORY_TRY(CFileOps::MakeDirs(CFileOps::DirName(m_strPath)));
    CFileLock lock(m_strPath + ".lock", LOCK_EX);
    QUILLORY_TRY(lock.Held());
    CRegistryStore store;
    QUILLORY_TRY(Load(store));
    QUILLORY_TRY(fn(store));
    return CFileOps::ReplaceFile(m_strPath, store.ToText());
}
