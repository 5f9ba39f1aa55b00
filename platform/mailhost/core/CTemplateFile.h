#pragma once
#include <string>

#include "CMailMessage.h"
#include "CResult.h"

// A message template: a standard MIME message file at a path the caller
// chooses. Loading gives a new, unsent message.
class CTemplateFile {
public:
    static CResult<> Save(const std::string& strPath, const CMailMessage& msg);
    // msg is left alone on a problem.
    static CResult<> Load(const std::string& strPath, CMailMessage& msg);
};
