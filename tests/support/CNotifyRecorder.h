#pragma once
#include <string>
#include <utility>
#include <vector>

#include "INotifier.h"

// Stands in for the desktop: keeps each notification's summary and body.
class CNotifyRecorder final : public INotifier {
public:
    void Notify(const std::string& strSummary, const std::string& strBody) override {
        m_vecShown.emplace_back(strSummary, strBody);
    }
    std::vector<std::pair<std::string, std::string>> m_vecShown;
};
