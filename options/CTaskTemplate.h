#pragma once
#include <string>

#include "CResult.h"
#include "MailHostOM.h"

// A task's template file, written from the message a window shows.
class CTaskTemplate {
public:
    // Writes pMail as a template at strPath: beside it first, moved over it only
    // when complete, so a failed write keeps the file that was there. The
    // problem names the host's reason when it gave one ("cannot write
    // /data/Report.oft.new: No space left on device").
    [[nodiscard]] static CResult<> Write(_MailItem* pMail, const std::string& strPath);
};
