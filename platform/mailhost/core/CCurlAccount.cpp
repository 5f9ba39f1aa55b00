#include "CCurlAccount.h"

void CCurlAccount::Apply(CURL* c, const CAccount& acc) {
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(
        c, CURLOPT_USE_SSL,
        acc.security == ESecurity::None ? static_cast<long>(CURLUSESSL_NONE) : static_cast<long>(CURLUSESSL_ALL));
    if (!acc.strCaFile.empty()) {
        // An extra CA on top of the system's, not instead of it.
        curl_easy_setopt(c, CURLOPT_CAINFO, acc.strCaFile.c_str());
        curl_easy_setopt(c, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    if (!acc.strUser.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, acc.strUser.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, acc.strPassword.c_str());
    }
}
