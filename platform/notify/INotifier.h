#pragma once
#include <string>

// A message to the user outside any window: the desktop's notification.
// Fire and forget: a desktop that cannot show it loses it quietly.
class INotifier {
public:
    enum class EUrgency {
        Normal,    // news: shown a while, then gone
        Critical,  // a failure the user must act on: stays until dismissed
    };
    virtual ~INotifier() = default;
    virtual void Notify(const std::string& strSummary, const std::string& strBody,
                        EUrgency eUrgency = EUrgency::Normal) = 0;
};
