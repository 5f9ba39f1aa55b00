#include "CCurlAccount.h"

#include <cstdlib>

namespace {

constexpr const char* kSystemCaDir = "/etc/ssl/certs";

std::string Env(const char* pszName) {
    const char* psz = std::getenv(pszName);
    return psz ? psz : "";
}

}  // namespace

std::optional<CCurlAccount::CTrust> CCurlAccount::Trust(const CAccount& acc) {
    const std::string strEnvDir = Env("SSL_CERT_DIR");
    if (!acc.strCaFile.empty())
        return CTrust{acc.strCaFile, strEnvDir.empty() ? kSystemCaDir : strEnvDir, ESource::Account, ""};
    for (const char* pszName : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"})
        if (std::string str = Env(pszName); !str.empty())
            return CTrust{str, strEnvDir, ESource::Environment, std::string("$") + pszName};
    if (!strEnvDir.empty()) return CTrust{"", strEnvDir, ESource::Environment, "$SSL_CERT_DIR"};
    return std::nullopt;
}

void CCurlAccount::Apply(CURL* c, const CAccount& acc) {
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(
        c, CURLOPT_USE_SSL,
        acc.security == ESecurity::None ? static_cast<long>(CURLUSESSL_NONE) : static_cast<long>(CURLUSESSL_ALL));
    if (const std::optional<CTrust> trust = Trust(acc)) {
        if (!trust->strCaFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, trust->strCaFile.c_str());
        if (!trust->strCaDir.empty()) curl_easy_setopt(c, CURLOPT_CAPATH, trust->strCaDir.c_str());
    }
    if (!acc.strUser.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, acc.strUser.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, acc.strPassword.c_str());
    }
}
