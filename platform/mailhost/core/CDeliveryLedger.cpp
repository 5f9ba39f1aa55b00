#include "CDeliveryLedger.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>

#include "CFileOps.h"

namespace {

std::string OneLine(std::string str) {
    for (char& c : str) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return str;
}

}  // namespace

CResult<> CDeliveryLedger::Open() { return CFileOps::MakeDirs(m_strDir); }

CDeliveryRecord CDeliveryLedger::Get(const std::string& strId) const {
    if (auto it = m_mapUnwritten.find(strId); it != m_mapUnwritten.end()) return it->second;
    CDeliveryRecord rec;
    const std::string strPath = m_strDir + "/" + strId;
    CResult<std::string> rBytes = CFileOps::ReadFile(strPath, 1 << 20);
    if (!rBytes) {
        // A ledger folder that is not one holds no record; none can be written
        // there either, so nothing is handed over until it is a folder again.
        std::error_code ec;
        if (CFileOps::IsAbsent(strPath) || !std::filesystem::is_directory(m_strDir, ec)) return rec;
        // It may have said "handed": sent again by itself, it could arrive twice.
        rec.state = EHostEvent::InDoubt;
        rec.bUnreadable = true;
        rec.strReason = "its delivery record cannot be read (" + rBytes.Problem() +
                        "); it may have reached the server, so it is not sent again by itself";
        return rec;
    }
    std::istringstream in(*rBytes);
    std::string strLine;
    while (std::getline(in, strLine)) {
        size_t nEq = strLine.find('=');
        if (nEq == std::string::npos) continue;
        std::string strKey = strLine.substr(0, nEq), strValue = strLine.substr(nEq + 1);
        if (strKey == "state") rec.state = CDeliveryWords::FromLedger(strValue);
        else if (strKey == "reason") rec.strReason = strValue;
        else if (strKey == "refused") rec.vecRefused.push_back(strValue);
        else if (strKey == "attempts") rec.nAttempts = std::atoi(strValue.c_str());
    }
    return rec;
}

CResult<> CDeliveryLedger::Put(const std::string& strId, const CDeliveryRecord& rec) {
    if (!CDeliveryWords::Of(rec.state).pszLedger || rec.state == EHostEvent::Queued) return Erase(strId);
    m_mapUnwritten.erase(strId);
    std::string strBytes = std::string("state=") + CDeliveryWords::Of(rec.state).pszLedger +
                           "\nreason=" + OneLine(rec.strReason) + "\nattempts=" + std::to_string(rec.nAttempts) + "\n";
    for (const auto& str : rec.vecRefused) strBytes += "refused=" + OneLine(str) + "\n";
    CResult<> rWritten = CFileOps::ReplaceFile(m_strDir + "/" + strId, strBytes);
    // A retry that cannot be recorded still shows in this host, with its
    // reason; other states must not seem kept when they are not.
    if (!rWritten && rec.state == EHostEvent::RetryLater) m_mapUnwritten[strId] = rec;
    return rWritten;
}

CResult<> CDeliveryLedger::Erase(const std::string& strId) {
    m_mapUnwritten.erase(strId);
    std::string strPath = m_strDir + "/" + strId;
    if (::unlink(strPath.c_str()) != 0 && errno != ENOENT)
        return CProblem(CFileOps::ErrnoText("cannot remove delivery record", strPath));
    return {};
}

std::vector<std::string> CDeliveryLedger::StoredIds() const {
    std::vector<std::string> vec;
    DIR* pDir = ::opendir(m_strDir.c_str());
    if (!pDir) return vec;
    while (dirent* pEnt = ::readdir(pDir)) {
        if (pEnt->d_name[0] != '.') vec.emplace_back(pEnt->d_name);
    }
    ::closedir(pDir);
    return vec;
}
