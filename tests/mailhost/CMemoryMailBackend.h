#pragma once
// Test-only mail backend: folders and templates in memory, submissions and
// send/receive requests recorded, failures injectable.
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "IMailBackend.h"

class CMemoryMailBackend : public IMailBackend {
public:
    CResult<> SaveTemplate(const std::string& strPath, const CMailMessage& msg) override {
        if (m_bFailTemplates) return CProblem("template refused");
        std::ofstream out(strPath, std::ios::binary);
        if (!out) return CProblem("cannot write " + strPath);
        out << "Subject: " << msg.strSubject << "\n\n" << msg.strBody << "\n";
        out.close();
        m_mapTemplates[FileOf(strPath)] = msg;
        return {};
    }
    CResult<> LoadTemplate(const std::string& strPath, CMailMessage& msg) override {
        auto it = m_mapTemplates.find(FileOf(strPath));
        if (it == m_mapTemplates.end() || !std::ifstream(strPath)) return CProblem("no template " + strPath);
        msg = it->second;
        return {};
    }
    CResult<> SaveToFolder(EMailFolder folder, const CMailMessage& msg, std::string& strId) override {
        if (m_bFailSaves) return CProblem("store refused");
        auto& vec = m_mapFolders[folder];
        if (strId.empty()) {
            strId = "id" + std::to_string(++m_nNextId);
            vec.emplace_back(strId, msg);
            return {};
        }
        for (auto& [id, m] : vec)
            if (id == strId) {
                m = msg;
                return {};
            }
        return CProblem("no message " + strId);
    }
    std::vector<std::string> ListFolder(EMailFolder folder) override {
        std::vector<std::string> ids;
        for (auto& [id, m] : m_mapFolders[folder]) ids.push_back(id);
        return ids;
    }
    CResult<> LoadFromFolder(EMailFolder folder, const std::string& strId, CMailMessage& msg) override {
        for (auto& [id, m] : m_mapFolders[folder])
            if (id == strId) {
                if (m.strSubject == "unreadable") return CProblem("damaged");
                msg = m;
                return {};
            }
        return CProblem("no message " + strId);
    }
    CResult<> MoveMessage(EMailFolder from, const std::string& strId, EMailFolder to, std::string& strNewId) override {
        auto& vec = m_mapFolders[from];
        auto it = std::find_if(vec.begin(), vec.end(), [&](const auto& e) { return e.first == strId; });
        if (it == vec.end()) return CProblem("no message " + strId);
        CMailMessage msg = it->second;
        vec.erase(it);
        strNewId = "id" + std::to_string(++m_nNextId);
        m_mapFolders[to].emplace_back(strNewId, msg);
        return {};
    }
    CResult<> DeleteMessage(EMailFolder folder, const std::string& strId) override {
        auto& vec = m_mapFolders[folder];
        auto it = std::find_if(vec.begin(), vec.end(), [&](const auto& e) { return e.first == strId; });
        if (it == vec.end()) return CProblem("no message " + strId);
        vec.erase(it);
        return {};
    }
    CSubmission Submit(const CMailMessage& msg) override {
        if (m_bFailSubmit) return {CSubmission::EKind::Refused, "", "outbox refused"};
        if (!m_strNotStored.empty()) return {CSubmission::EKind::NotStored, "", m_strNotStored};
        m_vecSubmitted.push_back(msg);
        if (m_vecSubmitted.back().strMessageId.empty())
            m_vecSubmitted.back().strMessageId = "queued-" + std::to_string(m_vecSubmitted.size()) + "@example.org";
        return {CSubmission::EKind::Queued, m_vecSubmitted.back().strMessageId, ""};
    }
    void SendReceiveNow() override { ++m_nSendReceive; }

    std::vector<CMailMessage> Folder(EMailFolder f) {
        std::vector<CMailMessage> vec;
        for (auto& [id, m] : m_mapFolders[f]) vec.push_back(m);
        return vec;
    }
    void Put(EMailFolder f, CMailMessage msg) {
        std::string strId;
        (void)SaveToFolder(f, msg, strId);  // only m_bFailSaves fails it; tests fill first
    }

    std::map<EMailFolder, std::vector<std::pair<std::string, CMailMessage>>> m_mapFolders;
    // By the file written, as a real template follows its file through a rename.
    static std::pair<dev_t, ino_t> FileOf(const std::string& strPath) {
        struct stat st {};
        if (::stat(strPath.c_str(), &st) != 0) return {0, 0};
        return {st.st_dev, st.st_ino};
    }
    std::map<std::pair<dev_t, ino_t>, CMailMessage> m_mapTemplates;
    std::vector<CMailMessage> m_vecSubmitted;
    int m_nSendReceive = 0;
    int m_nNextId = 0;
    bool m_bFailSaves = false, m_bFailTemplates = false, m_bFailSubmit = false;
    std::string m_strNotStored;  // not empty: Submit answers NotStored with these words
};
