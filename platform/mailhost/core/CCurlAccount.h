#pragma once
#include <optional>
#include <string>

#include <curl/curl.h>

#include "CAccount.h"

// How every connection to an account's servers is made: encryption as the
// account says (required unless it says none), the certificates it checks
// the server against, its login. The account must outlive the transfer.
class CCurlAccount {
public:
    // The certificate authorities beyond the built-in default, and where the
    // choice came from. In this order:
    //   the account's CA file ("CaFile", `account set --ca-file`): on top of
    //     the system's, so a private CA adds to the public ones;
    //   $CURL_CA_BUNDLE, else $SSL_CERT_FILE: instead of the system's bundle,
    //     as other programs on the system read them;
    //   $SSL_CERT_DIR: a hashed folder instead of /etc/ssl/certs.
    // E.g. SSL_CERT_FILE=/srv/ca.pem and no CaFile: {"/srv/ca.pem", "",
    // Environment, "$SSL_CERT_FILE"}.
    enum class ESource {
        Account,      // the account's CaFile, added to the system's CAs
        Environment,  // a variable of the environment, instead of the system's
    };
    struct CTrust {
        std::string strCaFile;  // CURLOPT_CAINFO, or empty for the default
        std::string strCaDir;   // CURLOPT_CAPATH, or empty for the default
        ESource source = ESource::Account;
        std::string strVariable;  // for Environment: "$CURL_CA_BUNDLE", "$SSL_CERT_FILE" or "$SSL_CERT_DIR"
    };
    // Nothing when the built-in default applies.
    static std::optional<CTrust> Trust(const CAccount& account);
    static void Apply(CURL* pCurl, const CAccount& account);
};
