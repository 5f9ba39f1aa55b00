#include "CDeliveryLedger.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "CFileOps.h"

namespace {

std::string OneLine(std::string str) {
    for (char& c : str) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return str;
}

EDeliveryState StateFromName(const std::string& str) {
    for (EDeliveryState s : {EDeliveryState::Retrying, EDeliveryState::Handed, EDeliveryState::SentNotMoved,
                             EDeliveryState::Failed, EDeliveryState::InDoubt, EDeliveryState::Refused}) {
        if (str == CDeliveryLedger::StateName(s)) return s;
    }
    return EDeliveryState::None;
}

}  // namespace

const char* CDeliveryLedger::StateName(EDeliveryState state) {
    switch (state) {
        case EDeliveryState::None: return "queued";
        case EDeliveryState::Retrying: return "retrying";
        case EDeliveryState::Handed: return "handed";
        case EDeliveryState::SentNotMoved: return "sent";
        case EDeliveryState::Failed: return "failed";
        case EDeliveryState::InDoubt: return "in-doubt";
        case EDeliveryState::Refused: return "refused";
    }
    return "queued";
}

CResult<> CDeliveryLedger::Open() { return CFileOps::MakeDirs(m_strDir); }

CDeliveryRecord CDeliveryLedger::Get(const std::string& strId) const {
    if (auto it = m_mapUnwritten.find(strId); it != m_mapUnwritten.end()) return it->second;
    CDeliveryRecord rec;
    CResult<std::string> rBytes = CFileOps::ReadFile(m_strDir + "/" + strId, 1 << 20);
    if (!rBytes) return rec;
    std::istringstream in(*rBytes);
    std::string strLine;
    while (std::getline(in, strLine)) {
        size_t nEq = strLine.find('=');
        if (nEq == std::string::npos) continue;
        std::string strKey = strLine.substr(0, nEq), strValue = strLine.substr(nEq + 1);
        if (strKey == "state") rec.state = StateFromName(strValue);
        else if (strKey == "reason") rec.strReason = strValue;
        else if (strKey == "refused") rec.vecRefused.push_back(strValue);
        else if (strKey == "attempts") rec.nAttempts = std::atoi(strValue.c_str());
    }
    return rec;
}

CResult<> CDeliveryLedger::Put(const std::string& strId, const CDeliveryRecord& rec) {
    if (rec.state == EDeliveryState::None) return Erase(strId);
    m_mapUnwritten.erase(strId);
    std::string strBytes = std::string("state=") + StateName(rec.state) + "\nreason=" + OneLine(rec.strReason) +
                           "\nattempts=" + std::to_string(rec.nAttempts) + "\n";
    for (const auto& str : rec.vecRefused) strBytes += "refused=" + OneLine(str) + "\n";
    CResult<> rWritten = CFileOps::ReplaceFile(m_strDir + "/" + strId, strBytes);
    // A retry that cannot be recorded still shows in this host, with its
    // reason; other states must not seem kept when they are not.
    if (!rWritten && rec.state == EDeliveryState::Retrying) m_mapUnwritten[strId] = rec;
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
