#include "CTaskRules.h"

#include "TaskTime.h"

std::string CTaskRules::Summary() const {
    std::vector<std::string> vecParts;
    switch (eOnDayOff) {
        case EOnDayOff::Send: break;
        case EOnDayOff::Before: vecParts.push_back("Working days, before a holiday"); break;
        case EOnDayOff::After: vecParts.push_back("Working days, after a holiday"); break;
        case EOnDayOff::Skip: vecParts.push_back("Working days, skipping holidays"); break;
    }
    if (!strZone.empty()) vecParts.push_back("In " + strZone);
    switch (eNothingAttached) {
        case ENothingAttached::Send: break;
        case ENothingAttached::Skip: vecParts.push_back("Not without its attachments"); break;
        case ENothingAttached::Wait:
            vecParts.push_back(eWaitThen == ENothingAttached::Send ? "Waits for its attachments, then sends without"
                                                                   : "Waits for its attachments");
            break;
    }
    switch (eMissed) {
        case EMissed::Each: break;
        case EMissed::Latest: vecParts.push_back("Only the latest missed"); break;
        case EMissed::None: vecParts.push_back("None missed"); break;
    }
    if (pauseUntil.IsSet()) {
        TaskDateTime dt{pauseUntil.nYear, pauseUntil.nMonth, pauseUntil.nDay, pauseUntil.nDayOfWeek, 0, 0, 0};
        vecParts.push_back("Paused until " + TaskTime::Format(dt).substr(0, 10));
    }
    if (bSkipNext) vecParts.push_back("Skips the next");
    std::string strText;
    for (const auto& str : vecParts) {
        if (!strText.empty()) strText += "; ";
        strText += strText.empty() ? str : std::string(1, static_cast<char>(std::tolower(str[0]))) + str.substr(1);
    }
    return strText;
}
