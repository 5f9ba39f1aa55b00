#include "CSmtpTransport.h"

#include <cctype>
#include <cstring>
#include <mutex>

#include "CCurlAccount.h"

namespace {

// "smtp.example.org" of "smtps://smtp.example.org:465/"; the URL itself when it has no host part.
std::string ServerName(const std::string& strUrl) {
    const size_t nScheme = strUrl.find("://");
    const size_t nStart = nScheme == std::string::npos ? 0 : nScheme + 3;
    const size_t nEnd = strUrl.find_first_of(":/", nStart);
    const std::string strHost = strUrl.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart);
    return strHost.empty() ? strUrl : strHost;
}

using CTransfer = CSmtpTransport::CTransfer;

size_t OnRead(char* pBuffer, size_t nSize, size_t nItems, void* pUser) {
    auto* t = static_cast<CTransfer*>(pUser);
    size_t nLeft = t->pBytes->size() - t->nSent;
    size_t n = std::min(nLeft, nSize * nItems);
    std::memcpy(pBuffer, t->pBytes->data() + t->nSent, n);
    t->nSent += n;
    if (n == 0 && !t->bHanded) {
        // curl sends the end of the data only after this 0: aborting here
        // leaves the server without a message to take.
        if (t->pfnHanded && *t->pfnHanded && !(*t->pfnHanded)()) {
            t->bNotRecorded = true;
            return CURL_READFUNC_ABORT;
        }
        t->bHanded = true;
    }
    return n;
}

// "250-SIZE 10240000" among the capabilities; "SIZE" alone or "SIZE 0" sets no limit.
size_t AnnouncedSize(const std::string& strLine) {
    if (strLine.size() < 10 || strLine.compare(0, 3, "250") != 0) return 0;
    std::string strKeyword = strLine.substr(4, 5);
    for (char& c : strKeyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (strKeyword != "SIZE ") return 0;
    const std::string strDigits = strLine.substr(9);
    if (strDigits.empty() || strDigits.size() > 15 || strDigits.find_first_not_of("0123456789\r") != std::string::npos)
        return 0;
    return static_cast<size_t>(std::stoull(strDigits));
}

void OnReplyLine(CTransfer* t, const std::string& strLine) {
    if (strLine.size() < 3) return;
    if (const size_t nSize = AnnouncedSize(strLine); nSize > 0) t->nAnnouncedMax = nSize;
    bool bFinal = strLine.size() == 3 || strLine[3] == ' ';
    if (!bFinal) return;
    t->strLastReply = strLine;
    if (t->strFirstError.empty() && (strLine[0] == '4' || strLine[0] == '5')) t->strFirstError = strLine;
    if (t->bHanded) t->bVerdict = true;
    if (!t->strPendingRcpt.empty()) {
        if (strLine[0] == '4' || strLine[0] == '5') t->vecRefused.push_back(t->strPendingRcpt + ": " + strLine);
        t->strPendingRcpt.clear();
    }
}

// The protocol trace tells which RCPT got which reply; curl reports no
// per-recipient result of its own when it is told to go on past refusals.
int OnDebug(CURL*, curl_infotype type, char* pData, size_t nSize, void* pUser) {
    auto* t = static_cast<CTransfer*>(pUser);
    if (type == CURLINFO_HEADER_OUT) {
        std::string str(pData, nSize);
        if (str.compare(0, 8, "RCPT TO:") == 0) {
            size_t b = str.find('<'), e = str.find('>');
            t->strPendingRcpt = b != std::string::npos && e > b ? str.substr(b + 1, e - b - 1) : str.substr(8);
        }
    } else if (type == CURLINFO_HEADER_IN) {
        t->replyLines.Feed(pData, nSize, [t](const std::string& strLine) { OnReplyLine(t, strLine); });
    }
    return 0;
}

int OnProgress(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<CTransfer*>(pUser);
    // Once the message is out, wait for the verdict rather than leave it unknown.
    return t->pbAbort && t->pbAbort->load() && !t->bHanded ? 1 : 0;
}

bool IsLoginReply(long nCode) { return nCode == 530 || nCode == 534 || nCode == 535 || nCode == 538 || nCode == 454; }

}  // namespace

CSmtpTransport::CSmtpTransport(CAccount account) : m_account(std::move(account)) {
    static std::once_flag s_once;
    std::call_once(s_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_pCurl = curl_easy_init();
}

CSmtpTransport::~CSmtpTransport() {
    if (m_pCurl) curl_easy_cleanup(m_pCurl);
}

CSendResult CSmtpTransport::Send(const CWireMessage& wire, const std::function<bool()>& fnHanded,
                                 const std::atomic<bool>& bAbort) {
    CSendResult result;
    if (!m_pCurl) {
        result.strReason = "cannot start the mail transfer library";
        return result;
    }
    // Known too large: no connection, no retry, the server's limit named.
    if (const size_t nMax = m_nAnnouncedMax.load(); nMax > 0 && wire.strBytes.size() > nMax) {
        result.outcome = EHostEvent::Failed;
        result.strReason = "the message is too large to send: " + std::to_string(wire.strBytes.size()) +
                           " bytes, more than the " + std::to_string(nMax) + " bytes the server " +
                           m_account.strSmtpUrl + " takes";
        return result;
    }
    CTransfer t;
    t.pBytes = &wire.strBytes;
    t.pfnHanded = &fnHanded;
    t.pbAbort = &bAbort;
    std::string strFrom = "<" + wire.strFrom + ">";
    curl_slist* pRcpt = nullptr;
    for (const auto& str : wire.vecRcpt) pRcpt = curl_slist_append(pRcpt, ("<" + str + ">").c_str());
    char szError[CURL_ERROR_SIZE] = "";

    CURL* c = m_pCurl;
    curl_easy_setopt(c, CURLOPT_URL, m_account.strSmtpUrl.c_str());
    CCurlAccount::Apply(c, m_account);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, strFrom.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, pRcpt);
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, OnRead);
    curl_easy_setopt(c, CURLOPT_READDATA, &t);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, OnDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 120L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, szError);

    CURLcode rc = curl_easy_perform(c);
    long nCode = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &nCode);
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
    curl_slist_free_all(pRcpt);
    if (t.nAnnouncedMax > 0) m_nAnnouncedMax = t.nAnnouncedMax;

    result.bHanded = t.bHanded;
    result.bVerdict = t.bVerdict;
    result.vecRefused = std::move(t.vecRefused);
    std::string strCurl = *szError ? szError : curl_easy_strerror(rc);
    const std::string& strReply = t.strFirstError.empty() ? t.strLastReply : t.strFirstError;
    if (rc == CURLE_OK) {
        result.outcome = EHostEvent::Sent;
        if (!result.vecRefused.empty()) result.strReason = "the server refused some recipients";
        return result;
    }
    if (rc == CURLE_USE_SSL_FAILED) {
        result.strReason = "the server " + m_account.strSmtpUrl +
                           " does not offer STARTTLS; not sending unencrypted (Security = starttls)";
    } else if (rc == CURLE_COULDNT_RESOLVE_HOST) {
        result.strReason = "cannot find the server " + ServerName(m_account.strSmtpUrl) + " (its name is not known)";
    } else if (rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && nCode == 0)) {
        // The library's words name ports and milliseconds; a person needs the server.
        result.strReason = "cannot reach " + ServerName(m_account.strSmtpUrl);
    } else if (rc == CURLE_LOGIN_DENIED || IsLoginReply(nCode)) {
        result.strReason = "the server refused the login: " + (strReply.empty() ? strCurl : strReply);
    } else if (t.bNotRecorded) {
        result.strReason = "not handed over: the delivery record could not be written";
    } else if (rc == CURLE_ABORTED_BY_CALLBACK) {
        result.strReason = "interrupted by shutdown";
    } else if (nCode >= 500 && nCode <= 599) {
        result.outcome = EHostEvent::Failed;
        result.strReason = strReply.empty() ? strCurl : strReply;
        if (!result.vecRefused.empty() && result.vecRefused.size() == wire.vecRcpt.size())
            result.strReason = "every recipient was refused: " + result.vecRefused.front();
    } else {
        result.strReason = strReply.empty() || nCode < 400 ? strCurl : strReply;
    }
    return result;
}
