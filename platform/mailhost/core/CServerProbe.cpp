#include "CServerProbe.h"

#include <algorithm>
#include <mutex>

#include <curl/curl.h>

#include "CCurlAccount.h"
#include "CReplyLines.h"

namespace {

struct CTrace {
    CReplyLines replyLines;
    std::vector<std::string> vecLines;
};

int OnDebug(CURL*, curl_infotype type, char* pData, size_t nSize, void* pUser) {
    if (type != CURLINFO_HEADER_IN) return 0;
    auto* t = static_cast<CTrace*>(pUser);
    t->replyLines.Feed(pData, nSize, [t](const std::string& strLine) {
        if (!strLine.empty()) t->vecLines.push_back(strLine);
    });
    return 0;
}

size_t OnWrite(char*, size_t nSize, size_t nItems, void*) { return nSize * nItems; }

// A refusal in the server's words: SMTP 4xx/5xx, IMAP "NO"/"BAD", POP3 "-ERR".
bool IsRefusal(const std::string& str) {
    if (str.size() >= 3 && (str[0] == '4' || str[0] == '5') && isdigit(static_cast<unsigned char>(str[1]))) return true;
    if (str.rfind("-ERR", 0) == 0) return true;
    size_t nSp = str.find(' ');
    return nSp != std::string::npos && (str.compare(nSp + 1, 3, "NO ") == 0 || str.compare(nSp + 1, 4, "BAD ") == 0);
}

CServerProbe::CReport Probe(const CAccount& acc, const std::string& strUrl, long nTimeout) {
    static std::once_flag s_once;
    std::call_once(s_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CServerProbe::CReport result;
    CURL* c = curl_easy_init();
    if (!c) {
        result.strSummary = "cannot start the mail transfer library";
        return result;
    }
    CTrace trace;
    char szError[CURL_ERROR_SIZE] = "";
    // The path of an IMAP URL would select a mailbox; the probe needs none.
    size_t nAuthority = strUrl.find("://");
    size_t nPath = nAuthority == std::string::npos ? std::string::npos : strUrl.find('/', nAuthority + 3);
    std::string strBase = strUrl.substr(0, nPath) + "/";
    curl_easy_setopt(c, CURLOPT_URL, strBase.c_str());
    CCurlAccount::Apply(c, acc);
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "NOOP");
    // POP3 reads a custom command's answer as a list unless told it has no body.
    bool bPop3 = strBase.size() > 4 && std::equal(strBase.begin(), strBase.begin() + 4, "pop3", [](char a, char b) {
                     return std::tolower(static_cast<unsigned char>(a)) == b;
                 });
    curl_easy_setopt(c, CURLOPT_NOBODY, bPop3 ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &trace);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, nTimeout);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, nTimeout);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, szError);
    CURLcode rc = curl_easy_perform(c);
    curl_easy_cleanup(c);

    result.vecReplies = std::move(trace.vecLines);
    std::string strGreeting = result.vecReplies.empty() ? std::string() : result.vecReplies.front();
    if (rc == CURLE_OK) {
        result.bOk = true;
        result.strSummary =
            "Connected to " + strBase + (strGreeting.empty() ? "" : "; the server says: " + strGreeting);
        return result;
    }
    std::string strRefusal;
    for (const auto& s : result.vecReplies)
        if (IsRefusal(s)) {
            strRefusal = s;
            break;
        }
    result.strSummary = strBase + ": " + (*szError ? szError : curl_easy_strerror(rc));
    if (!strRefusal.empty()) result.strSummary += "; the server says: " + strRefusal;
    return result;
}

}  // namespace

CServerProbe::CReport CServerProbe::Smtp(const CAccount& account, long nTimeoutSeconds) {
    if (account.strSmtpUrl.empty()) return {false, "no SMTP server is given", {}};
    return Probe(account, account.strSmtpUrl, nTimeoutSeconds);
}

CServerProbe::CReport CServerProbe::Receive(const CAccount& account, long nTimeoutSeconds) {
    if (account.strReceiveUrl.empty()) return {false, "no receiving server is given", {}};
    return Probe(account, account.strReceiveUrl, nTimeoutSeconds);
}
