#pragma once
#include <memory>
#include <string>

class QSettings;

// The add-in's own settings, in "settings.ini" beside the task list file:
// the Email Manager's size and column widths, and the notices the user
// asked not to see again. Without a data directory there is no file: every
// notice is shown and nothing is kept.
class CAddinSettings {
public:
    // Empty without a data directory.
    static std::string Path();
    // The settings, or null without a data directory or when something
    // other than a regular file has the name (a FIFO would stall the
    // window that reads it; a link could point anywhere): said on stderr.
    static std::unique_ptr<QSettings> Open();
    // Writes what was set and keeps the file private to the user; false,
    // said on stderr with strLost, when it cannot be written.
    static bool Save(QSettings& settings, const std::string& strLost);
    // Whether the user ticked "Do not show again" on the notice named strKey
    // ("scheduledNotice").
    static bool IsNoticeOff(const std::string& strKey);
    // Keeps that choice; one that cannot be written is said on stderr (the
    // notice then comes again, nothing else is lost).
    static void TurnNoticeOff(const std::string& strKey);
};
