#pragma once
#include <string>
#include <vector>

#include "CResult.h"

// What a user types into a To, Cc or Bcc field: mailboxes separated by ";"
// or "," (a comma inside a quoted name or <...> belongs to the mailbox).
class CAddressList {
public:
    static std::vector<std::string> Split(const std::string& strField);
    // Done when every mailbox is valid, otherwise a sentence for the user
    // naming the field and the first bad entry.
    static CResult<> Check(const std::string& strField, const std::string& strFieldName);
    // The form the object model's recipient properties take.
    static std::string Join(const std::vector<std::string>& vec);
};
