#pragma once
#include <string>

// A message to the user outside any window: the desktop's notification.
// Fire and forget: a desktop that cannot show it loses it quietly.
class INotifier {
public:
    virtual ~INotifier() = default;
    virtual void Notify(const std::string& strSummary, const std::string& strBody) = 0;
};
