#pragma once
#include <string>

// The add-in's own settings, in "settings.ini" beside the task list file:
// the Email Manager's size and column widths, and the notices the user
// asked not to see again. Without a data directory there is no file: every
// notice is shown and nothing is kept.
class CAddinSettings {
public:
    // Empty without a data directory.
    static std::string Path();
    // Whether the user ticked "Do not show again" on the notice named strKey
    // ("scheduledNotice").
    static bool IsNoticeOff(const std::string& strKey);
    // Keeps that choice; one that cannot be written is said on stderr (the
    // notice then comes again, nothing else is lost).
    static void TurnNoticeOff(const std::string& strKey);
};
