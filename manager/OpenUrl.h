#pragma once
#include <string>

// Opens a web or mailto link (a bare host name counts as a web address) with
// the desktop's handler: 1 on success, 0 on failure.
int OpenUrl(const std::string& strLink);
