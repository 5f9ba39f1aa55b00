#pragma once
#include <string>

#include "CResult.h"

// The host's own paths given in the environment (MAILHOST_PROFILE,
// MAILHOST_ACCOUNTS, MAILHOST_REGISTRY). Relative ones are made absolute
// against the directory the host started in, once, before anything reads
// them: an add-in may change the process's current directory later (one
// moves into its install folder when it connects), and the profile, the
// accounts and the registry must not follow it.
namespace CHostPaths {
// The problem lists every variable that could not be made absolute; each
// of those is left as it was.
CResult<> MakeAbsolute();
// strPath against the current directory, lexically normal; a link stays a
// link. E.g. "certs/../ca.pem" in /srv -> "/srv/ca.pem".
std::string Absolute(const std::string& strPath);
// Whether two paths name one file, links followed as far as they exist.
bool SamePath(const std::string& strA, const std::string& strB);
}  // namespace CHostPaths
