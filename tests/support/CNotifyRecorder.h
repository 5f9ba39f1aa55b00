#pragma once
#include <string>
#include <utility>
#include <vector>

#include "INotifier.h"

// Stands in for the desktop: keeps each notification's summary and body.
class CNotifyRecorder final : public INotifier {
public:
    void Notify(const std::string& strSummary, const std::string& strBody,
                EUrgency eUrgency = EUrgency::Normal) override {
        m_vecShown.emplace_back(strSummary, strBody);
        m_vecUrgency.push_back(eUrgency);
    }
    std::vector<std::pair<std::string, std::string>> m_vecShown;
    std::vector<EUrgency> m_vecUrgency;  // beside each of m_vecShown
};
