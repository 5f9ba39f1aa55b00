#pragma once
#include <string>

#include "CResult.h"

// Where the add-in keeps its task list, templates and history: the folders
// "Tarnwick Software", "Mail Host" and "Quillory", one inside the other,
// under the per-user application-data folder.
class CDataFolder {
public:
    static constexpr const char* kVendor = "Tarnwick Software";
    static constexpr const char* kHost = "Mail Host";
    static constexpr const char* kAddin = "Quillory";

    // strAppData + "Tarnwick Software/Mail Host/Quillory/" (strAppData ends with '/').
    static std::string PathUnder(const std::string& strAppData);
    // Earlier builds kept the folder under another host folder beside
    // "Mail Host". When "Mail Host/Quillory" is not there yet and exactly
    // one such folder holds a task list, the path of that "Quillory"
    // folder (with '/'), else empty.
    static std::string Earlier(const std::string& strAppData);
    // Moves strEarlier, as Earlier() found it, into place (one rename,
    // nothing copied): what was moved, or the problem why it could not be.
    static CResult<std::string> MoveEarlier(const std::string& strAppData, const std::string& strEarlier);
};
