#pragma once
#include <string>

#include "CMailMessage.h"

// A message template: a standard MIME message file at a path the caller
// chooses. Loading gives a new, unsent message.
class CTemplateFile {
public:
    static std::string Save(const std::string& strPath, const CMailMessage& msg);
    static std::string Load(const std::string& strPath, CMailMessage& msg);
};
