#pragma once
#include <optional>
#include <string>

#include "CResult.h"

// Where an account's login password is kept: the private file beside
// accounts.ini, or the desktop keyring. Entries are named by a key the
// caller chooses (a store with room for one password may ignore it).
// A problem means the store could not be asked or refused; a missing entry
// is not a problem.
class IPasswordStore {
public:
    virtual ~IPasswordStore() = default;
    // The password, or nullopt when the store has none under the key.
    virtual CResult<std::optional<std::string>> Read(const std::string& strKey) = 0;
    virtual CResult<> Write(const std::string& strKey, const std::string& strPassword) = 0;
    // Done as well when there was nothing to remove.
    virtual CResult<> Remove(const std::string& strKey) = 0;
};
