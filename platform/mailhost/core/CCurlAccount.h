#pragma once
#include <curl/curl.h>

#include "CAccount.h"

// How every connection to an account's servers is made: encryption as the
// account says (required unless it says none), its extra CA on top of the
// system's, its login. The account must outlive the transfer.
class CCurlAccount {
public:
    static void Apply(CURL* pCurl, const CAccount& account);
};
