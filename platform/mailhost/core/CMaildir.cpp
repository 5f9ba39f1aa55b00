#include "CMaildir.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "CFileOps.h"

namespace {

std::atomic<unsigned> g_nUniqueCounter{0};

std::string BaseOf(const std::string& strName) { return strName.substr(0, strName.find(':')); }

struct CEntry {
    long long nSeconds;
    std::string strId;
};

// Delivery second from a conventional name ("1700000000.M..."), else mtime,
// so foreign files sort sensibly too.
long long SortSeconds(const std::string& strName, const std::string& strPath) {
    size_t n = 0;
    while (n < strName.size() && n < 18 && strName[n] >= '0' && strName[n] <= '9') ++n;
    if (n > 0 && n < strName.size() && strName[n] == '.') return std::stoll(strName.substr(0, n));
    struct stat st {};
    return ::stat(strPath.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtime) : 0;
}

}  // namespace

CProblem CMaildir::NoMessage(const std::string& strId) const {
    return CProblem("no message " + strId + " in " + m_strRoot);
}

bool CMaildir::IsValidId(const std::string& strId) {
    if (strId.empty() || strId.size() > 255 || strId[0] == '.') return false;
    return strId.find_first_of(std::string("/:\0", 3)) == std::string::npos;
}

std::string CMaildir::NewUniqueName() {
    using namespace std::chrono;
    auto tNow = system_clock::now().time_since_epoch();
    long long nSec = duration_cast<seconds>(tNow).count();
    long long nUsec = duration_cast<microseconds>(tNow).count() % 1000000;
    char szHost[256] = "localhost";
    ::gethostname(szHost, sizeof szHost - 1);
    std::string strHost;
    for (const char* p = szHost; *p; ++p) {
        if (*p == '/') strHost += "\\057";
        else if (*p == ':') strHost += "\\072";
        else strHost += *p;
    }
    char szName[128];
    std::snprintf(szName, sizeof szName, "%lld.M%06lldP%dQ%06u.", nSec, nUsec, static_cast<int>(::getpid()),
                  g_nUniqueCounter.fetch_add(1) % 1000000u);
    return szName + strHost;
}

CResult<> CMaildir::Create() const {
    for (const char* szSub : {"", "/tmp", "/new", "/cur"}) QUILLORY_TRY(CFileOps::MakeDirs(m_strRoot + szSub));
    return {};
}

std::vector<std::pair<const char*, std::string>> CMaildir::Scan() const {
    std::vector<std::pair<const char*, std::string>> vecNames;
    std::map<std::string, std::string> mapPaths;
    for (const char* szSub : {"/new", "/cur"}) {
        std::string strDir = m_strRoot + szSub;
        DIR* pDir = ::opendir(strDir.c_str());
        if (!pDir) continue;
        while (dirent* pEnt = ::readdir(pDir)) {
            std::string strName = pEnt->d_name;
            if (strName.empty() || strName[0] == '.') continue;
            // new/ first: where an id is in both, new/ is the one found.
            mapPaths.emplace(BaseOf(strName), strDir + "/" + strName);
            vecNames.emplace_back(szSub, std::move(strName));
        }
        ::closedir(pDir);
    }
    m_mapPaths = std::move(mapPaths);
    m_bScanned = true;
    return vecNames;
}

std::string CMaildir::FindPath(const std::string& strId) const {
    if (!IsValidId(strId)) return {};
    if (auto it = m_mapPaths.find(strId); it != m_mapPaths.end() && ::access(it->second.c_str(), F_OK) == 0)
        return it->second;
    (void)Scan();  // only where each id is matters here
    auto it = m_mapPaths.find(strId);
    return it == m_mapPaths.end() ? std::string() : it->second;
}

bool CMaildir::IsKnown(const std::string& strId) const {
    if (!m_bScanned) (void)Scan();  // the names are remembered; the list is not needed
    return m_mapPaths.count(strId) != 0;
}

std::string CMaildir::Flags(const std::string& strId) const {
    std::string strPath = FindPath(strId);
    size_t nInfo = strPath.find(":2,", strPath.find_last_of('/'));
    return nInfo == std::string::npos ? std::string() : strPath.substr(nInfo + 3);
}

CResult<std::string> CMaildir::Add(const std::string& strBytes, bool bIntoNew, const std::string& strFlags) const {
    return AddFile(strBytes, bIntoNew, strFlags, true);
}

CResult<std::string> CMaildir::AddUnsynced(const std::string& strBytes, const std::string& strFlags) const {
    return AddFile(strBytes, false, strFlags, false);
}

CResult<> CMaildir::Sync(const std::string& strId) const {
    std::string strPath = FindPath(strId);
    if (strPath.empty()) return {};  // gone meanwhile: nothing to keep
    // The bytes before the name, as Add does.
    QUILLORY_TRY(CFileOps::SyncFile(strPath));
    return CFileOps::SyncDir(CFileOps::DirName(strPath));
}

CResult<std::string> CMaildir::AddFile(const std::string& strBytes, bool bIntoNew, const std::string& strFlags,
                                       bool bDurable) const {
    std::string strName = NewUniqueName();
    std::string strTemp = m_strRoot + "/tmp/" + strName;
    QUILLORY_TRY(bDurable ? CFileOps::WriteNewSynced(strTemp, strBytes) : CFileOps::WriteNew(strTemp, strBytes));
    std::string strFinal = bIntoNew ? m_strRoot + "/new/" + strName : m_strRoot + "/cur/" + strName + ":2," + strFlags;
    // link() refuses to overwrite, so a clash can never replace another message.
    if (::link(strTemp.c_str(), strFinal.c_str()) != 0) {
        CProblem problem(CFileOps::ErrnoText("cannot store message as", strFinal));
        ::unlink(strTemp.c_str());
        return problem;
    }
    ::unlink(strTemp.c_str());
    if (bDurable) QUILLORY_TRY(CFileOps::SyncDir(CFileOps::DirName(strFinal)));
    m_mapPaths[strName] = strFinal;
    return strName;
}

CResult<> CMaildir::Replace(const std::string& strId, const std::string& strBytes) const {
    std::string strPath = FindPath(strId);
    if (strPath.empty()) return NoMessage(strId);
    std::string strTemp = m_strRoot + "/tmp/" + NewUniqueName();
    QUILLORY_TRY(CFileOps::WriteNewSynced(strTemp, strBytes));
    if (::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        CProblem problem(CFileOps::ErrnoText("cannot replace", strPath));
        ::unlink(strTemp.c_str());
        return problem;
    }
    return CFileOps::SyncDir(CFileOps::DirName(strPath));
}

CResult<std::string> CMaildir::Read(const std::string& strId) const {
    std::string strPath = FindPath(strId);
    if (strPath.empty()) return NoMessage(strId);
    return CFileOps::ReadFile(strPath, kMaxMessageBytes);
}

CResult<std::string> CMaildir::ReadHead(const std::string& strId, size_t nBytes) const {
    std::string strPath = FindPath(strId);
    if (strPath.empty()) return NoMessage(strId);
    return CFileOps::ReadHead(strPath, nBytes);
}

CResult<> CMaildir::Remove(const std::string& strId) const { return Unlink(strId, true); }

CResult<> CMaildir::Discard(const std::string& strId) const { return Unlink(strId, false); }

CResult<> CMaildir::Unlink(const std::string& strId, bool bDurable) const {
    std::string strPath = FindPath(strId);
    if (strPath.empty()) return NoMessage(strId);
    if (::unlink(strPath.c_str()) != 0) return CProblem(CFileOps::ErrnoText("cannot delete", strPath));
    m_mapPaths.erase(strId);
    return bDurable ? CFileOps::SyncDir(CFileOps::DirName(strPath)) : CResult<>();
}

CResult<std::string> CMaildir::MoveTo(const std::string& strId, const CMaildir& target,
                                      const std::string& strFlags) const {
    std::string strPath = FindPath(strId);
    if (strPath.empty()) return NoMessage(strId);
    // Ids are unique names: one already there can only be a copy of this
    // very message, so what this process knows of the target is enough.
    std::string strName = target.IsKnown(strId) ? NewUniqueName() : strId;
    std::string strFinal = target.Root() + "/cur/" + strName + ":2," + strFlags;
    if (::link(strPath.c_str(), strFinal.c_str()) != 0)
        return CProblem(CFileOps::ErrnoText("cannot move message to", strFinal));
    target.m_mapPaths[strName] = strFinal;
    // The copy is durable before the original goes: a crash leaves two, never none.
    QUILLORY_TRY(CFileOps::SyncDir(target.Root() + "/cur"));
    if (::unlink(strPath.c_str()) != 0) return CProblem(CFileOps::ErrnoText("cannot remove moved message", strPath));
    m_mapPaths.erase(strId);
    QUILLORY_TRY(CFileOps::SyncDir(CFileOps::DirName(strPath)));
    return strName;
}

std::vector<std::string> CMaildir::List() const {
    std::vector<CEntry> vecEntries;
    for (const auto& [szSub, strName] : Scan()) {
        std::string strPath = m_strRoot + szSub + "/" + strName;
        struct stat st {};
        if (::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::string strId = BaseOf(strName);
        if (!IsValidId(strId)) continue;
        vecEntries.push_back({SortSeconds(strName, strPath), strId});
    }
    std::sort(vecEntries.begin(), vecEntries.end(), [](const CEntry& a, const CEntry& b) {
        return a.nSeconds != b.nSeconds ? a.nSeconds < b.nSeconds : a.strId < b.strId;
    });
    std::vector<std::string> vecIds;
    for (auto& e : vecEntries) {
        if (vecIds.empty() || vecIds.back() != e.strId) vecIds.push_back(std::move(e.strId));
    }
    return vecIds;
}
