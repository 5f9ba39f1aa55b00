#include "CMailReceiver.h"

#include <algorithm>
#include <mutex>
#include <sstream>

#include <curl/curl.h>

#include "CCurlAccount.h"
#include "CFileOps.h"
#include "CMimeWriter.h"
#include "Digits.h"

namespace {

size_t OnWrite(char* pData, size_t nSize, size_t nItems, void* pUser) {
    static_cast<std::string*>(pUser)->append(pData, nSize * nItems);
    return nSize * nItems;
}

struct CCurlHandle {
    CURL* p = curl_easy_init();
    ~CCurlHandle() {
        if (p) curl_easy_cleanup(p);
    }
};

bool IsImap(const std::string& strUrl) { return strUrl.rfind("imap", 0) == 0; }

std::vector<std::string> Lines(const std::string& str) {
    std::vector<std::string> vec;
    std::istringstream in(str);
    std::string strLine;
    while (std::getline(in, strLine)) {
        if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
        vec.push_back(strLine);
    }
    return vec;
}

}  // namespace

CMailReceiver::CMailReceiver(CAccount account, CMailStore& store)
    : m_account(std::move(account)), m_store(store), m_strStatePath(store.ProfileDir() + "/.receive/state") {
    static std::once_flag s_once;
    std::call_once(s_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string CMailReceiver::BaseUrl() const {
    const std::string& str = m_account.strReceiveUrl;
    size_t nSlash = str.find('/', str.find("://") + 3);
    std::string strBase = str.substr(0, nSlash);
    std::transform(strBase.begin(), strBase.begin() + static_cast<long>(strBase.find("://")), strBase.begin(),
                   ::tolower);
    return strBase;
}

CResult<> CMailReceiver::LoadState() {
    m_setSeen.clear();
    m_strUidValidity.clear();
    CResult<std::string> rBytes = CFileOps::ReadFile(m_strStatePath, 64u << 20);
    if (!rBytes && CFileOps::IsAbsent(m_strStatePath)) return {};
    // Read as empty, every message on the server would be fetched again.
    const std::string strKeep =
        "; nothing is fetched while it stays (removed, everything on the server is fetched again)";
    if (!rBytes) return CProblem(m_strStatePath + ": cannot be read: " + rBytes.Problem() + strKeep);
    std::vector<std::string> vecLines = Lines(*rBytes);
    if (vecLines.empty() || vecLines[0].rfind("account=", 0) != 0)
        return CProblem(m_strStatePath + ": damaged (no account line)" + strKeep);
    // Another server or user: what was seen there means nothing here.
    if (vecLines[0] != "account=" + BaseUrl() + " " + m_account.strUser) return {};
    for (size_t i = 1; i < vecLines.size(); ++i) {
        const std::string& strLine = vecLines[i];
        bool bRight = true;
        if (strLine.rfind("uidvalidity=", 0) == 0) {
            m_strUidValidity = strLine.substr(12);
            bRight = m_strUidValidity.empty() || IsDigits(m_strUidValidity, 19);
        } else if (strLine.rfind("seen=", 0) == 0) {
            m_setSeen.insert(strLine.substr(5));
            bRight = strLine.size() > 5 && (!IsImap(BaseUrl()) || IsDigits(strLine.substr(5), 19));
        } else {
            bRight = strLine.empty();
        }
        if (!bRight) {
            m_setSeen.clear();
            m_strUidValidity.clear();
            return CProblem(m_strStatePath + ": damaged (line " + std::to_string(i + 1) + ")" + strKeep);
        }
    }
    return {};
}

CResult<> CMailReceiver::SaveState() {
    std::string strBytes =
        "account=" + BaseUrl() + " " + m_account.strUser + "\nuidvalidity=" + m_strUidValidity + "\n";
    for (const auto& str : m_setSeen) strBytes += "seen=" + str + "\n";
    QUILLORY_TRY(CFileOps::MakeDirs(CFileOps::DirName(m_strStatePath)));
    return CFileOps::ReplaceFile(m_strStatePath, strBytes);
}

CResult<> CMailReceiver::Keep(const std::string& strMessage, const std::string& strSeen,
                              std::vector<std::string>& vecNewIds) {
    CResult<std::string> rId = m_store.AddRaw(EMailFolder::Inbox, CMimeWriter::CrlfToLf(strMessage), true);
    if (!rId) return rId.TakeProblem();
    vecNewIds.push_back(*rId);
    m_setSeen.insert(strSeen);
    return SaveState();
}

CResult<std::string> CMailReceiver::Perform(const std::string& strUrl, const std::string& strCustom) {
    CCurlHandle h;
    if (!h.p) return CProblem("cannot start the mail transfer library");
    char szError[CURL_ERROR_SIZE] = "";
    std::string strOut;
    curl_easy_setopt(h.p, CURLOPT_URL, strUrl.c_str());
    CCurlAccount::Apply(h.p, m_account);
    if (!strCustom.empty()) curl_easy_setopt(h.p, CURLOPT_CUSTOMREQUEST, strCustom.c_str());
    curl_easy_setopt(h.p, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(h.p, CURLOPT_WRITEDATA, &strOut);
    curl_easy_setopt(h.p, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(h.p, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h.p, CURLOPT_LOW_SPEED_TIME, 120L);
    curl_easy_setopt(h.p, CURLOPT_ERRORBUFFER, szError);
    CURLcode rc = curl_easy_perform(h.p);
    if (rc == CURLE_OK) return strOut;
    return CProblem(m_account.strReceiveUrl + ": " + (*szError ? szError : curl_easy_strerror(rc)));
}

CResult<> CMailReceiver::FetchNew(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort) {
    QUILLORY_TRY(LoadState());
    return IsImap(BaseUrl()) ? FetchImap(vecNewIds, bAbort) : FetchPop3(vecNewIds, bAbort);
}

CResult<> CMailReceiver::FetchImap(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort) {
    std::string strBase = BaseUrl();
    CResult<std::string> rStatus = Perform(strBase + "/", "STATUS INBOX (UIDVALIDITY)");
    if (!rStatus) return rStatus.TakeProblem();
    const std::string& strStatus = *rStatus;
    size_t nPos = strStatus.find("UIDVALIDITY ");
    if (nPos == std::string::npos) return CProblem(strBase + ": the server gave no UIDVALIDITY for INBOX");
    std::string strValidity =
        strStatus.substr(nPos + 12, strStatus.find_first_not_of("0123456789", nPos + 12) - nPos - 12);
    if (strValidity != m_strUidValidity) {
        // The server renumbered INBOX; the old UIDs mean nothing now.
        m_setSeen.clear();
        m_strUidValidity = strValidity;
    }
    unsigned long long nMax = 0;
    for (const auto& str : m_setSeen) nMax = std::max(nMax, std::stoull(str));
    CResult<std::string> rSearch = Perform(strBase + "/INBOX", "UID SEARCH UID " + std::to_string(nMax + 1) + ":*");
    if (!rSearch) return rSearch.TakeProblem();
    std::vector<unsigned long long> vecUids;
    for (const auto& strLine : Lines(*rSearch)) {
        if (strLine.rfind("* SEARCH", 0) != 0) continue;
        std::istringstream in(strLine.substr(8));
        unsigned long long n;
        while (in >> n) {
            if (n > nMax) vecUids.push_back(n);  // "n:*" always names the last message
        }
    }
    std::sort(vecUids.begin(), vecUids.end());
    for (unsigned long long nUid : vecUids) {
        if (bAbort) return {};
        std::string strUrl = strBase + "/INBOX;UIDVALIDITY=" + m_strUidValidity + "/;UID=" + std::to_string(nUid);
        CResult<std::string> rMessage = Perform(strUrl, "");
        if (!rMessage) return rMessage.TakeProblem();
        QUILLORY_TRY(Keep(*rMessage, std::to_string(nUid), vecNewIds));
    }
    return SaveState();
}

CResult<> CMailReceiver::FetchPop3(std::vector<std::string>& vecNewIds, const std::atomic<bool>& bAbort) {
    std::string strBase = BaseUrl();
    CResult<std::string> rList = Perform(strBase + "/", "UIDL");
    if (!rList) return rList.TakeProblem();
    std::set<std::string> setListed;
    for (const auto& strLine : Lines(*rList)) {
        std::istringstream in(strLine);
        std::string strNumber, strUidl;
        if (!(in >> strNumber >> strUidl) || !IsDigits(strNumber, 19)) continue;
        setListed.insert(strUidl);
        if (m_setSeen.count(strUidl) || bAbort) continue;
        CResult<std::string> rMessage = Perform(strBase + "/" + strNumber, "");
        if (!rMessage) return rMessage.TakeProblem();
        QUILLORY_TRY(Keep(*rMessage, strUidl, vecNewIds));
    }
    // Forget what the server no longer has, so the record stays small.
    std::erase_if(m_setSeen, [&](const std::string& str) { return !setListed.count(str); });
    return SaveState();
}
